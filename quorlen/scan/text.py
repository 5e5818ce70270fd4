"""Text from advisory records and scanned files, made safe to show.

A record or a file name is data from anyone: shown raw on a terminal, an
escape sequence in it could set the title, clear the screen or reorder the
line. Everything such text holds that a terminal would act on instead of
print is written as the escape a reader knows from Python source.
"""

from __future__ import annotations

import re

# C0 controls (newline and tab too: one message is one line), DEL, C1
# controls, the bidirectional marks, embeddings, overrides and isolates, and
# lone surrogates (a non-UTF-8 byte of a file name arrives as U+DC80-U+DCFF).
_HIDDEN = re.compile("[\x00-\x1f\x7f-\x9f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069\ud800-\udfff]")
_ESCAPED_BYTE = re.compile("[\udc80-\udcff]")
_LONE_SURROGATE = re.compile("[\ud800-\udfff]")


_SHORT = {"\n": "\\n", "\r": "\\r", "\t": "\\t"}


def _escape(match: re.Match[str]) -> str:
    char = match.group()
    if char in _SHORT:
        return _SHORT[char]
    code = ord(char)
    if 0xDC80 <= code <= 0xDCFF:
        return f"\\x{code - 0xDC00:02x}"
    return f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}"


def visible(text: str) -> str:
    """text with its control and bidirectional characters written as
    ``\\x1b``, ``\\u202e`` and the like, and the bytes of a file name that
    were not UTF-8 as ``\\xff``."""
    return _HIDDEN.sub(_escape, text)


def utf8_json(document: str) -> str:
    """JSON text that encodes as UTF-8: a file name's non-UTF-8 byte becomes
    the text ``\\xff`` (as ``visible`` shows it); any other lone surrogate, which
    only a JSON escape in a record can make, keeps its JSON escape."""
    def escape(match: re.Match[str]) -> str:
        code = ord(match.group())
        if _ESCAPED_BYTE.fullmatch(match.group()):
            return f"\\\\x{code - 0xDC00:02x}"
        return f"\\u{code:04x}"
    return _LONE_SURROGATE.sub(escape, document)
