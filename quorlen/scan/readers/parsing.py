"""What the readers share: loading JSON, TOML and YAML into a one-line
LockfileError on failure, type checks that fail the same way, and a cursor
that finds the line of each entry by searching the text in document order."""

from __future__ import annotations

import contextlib
import contextvars
import json
import re
import tomllib
from collections.abc import Iterator
from typing import Any, NoReturn, TypeVar

import yaml  # type: ignore  # (no stubs installed)

from quorlen.scan.model import LockfileError

T = TypeVar("T")

# Deeper nesting than any real lockfile has: the depth reported when a
# parser's recursion gives out, and the limit of the readers' own parsers.
MAX_DEPTH = 200

_TOML_LINE = re.compile(r"\(at line (\d+), column \d+\)")
_JSON_TOKEN = re.compile(r'"(?:[^"\\]|\\.)*"|[\[\]{}]')
_SafeLoader: Any = getattr(yaml, "CSafeLoader", yaml.SafeLoader)


class Cursor:
    """Searches a text forward from where the last search ended and tells
    the line of what it finds, so entries met in document order get their
    own lines even when the same text occurs many times."""

    def __init__(self, text: str) -> None:
        self.text = text
        self.pos = 0
        self._line = 1
        self._line_pos = 0

    def line_at(self, offset: int) -> int:
        if offset < self._line_pos:
            self._line, self._line_pos = 1, 0
        self._line += self.text.count("\n", self._line_pos, offset)
        self._line_pos = offset
        return self._line

    def find(self, pattern: re.Pattern[str]) -> int:
        """The line of the next match, moving past it; the line of the
        current position when there is none."""
        m = pattern.search(self.text, self.pos)
        if m is None:
            return self.line_at(self.pos)
        self.pos = m.end()
        return self.line_at(m.start())

    def find_json_key(self, key: str, opening: str = "") -> int:
        """The line of the next ``"key":`` (followed by ``opening``, if given)."""
        return self.find(re.compile(re.escape(json.dumps(key)) + r"\s*:\s*" + re.escape(opening)))

    def find_json_string(self, value: str) -> int:
        return self.find(re.compile(re.escape(json.dumps(value))))


def fail(path: str, line: int, format: str, message: str) -> NoReturn:
    raise LockfileError(path, line, format, message)


_ENTRY_ERRORS: contextvars.ContextVar[list[LockfileError] | None] = contextvars.ContextVar("entry_errors",
                                                                                         default=None)


def entry_error(path: str, line: int, format: str, message: str) -> None:
    """Record one bad entry of a file and let the reader go on with the next;
    outside ``collect_entry_errors`` the error fails the file as ``fail`` does."""
    errors = _ENTRY_ERRORS.get()
    if errors is None:
        raise LockfileError(path, line, format, message)
    errors.append(LockfileError(path, line, format, message))


@contextlib.contextmanager
def collect_entry_errors() -> Iterator[list[LockfileError]]:
    """The bad entries recorded by ``entry_error`` while the block runs."""
    errors: list[LockfileError] = []
    token = _ENTRY_ERRORS.set(errors)
    try:
        yield errors
    finally:
        _ENTRY_ERRORS.reset(token)


def expect(value: object, kind: type[T], what: str, path: str, line: int, format: str) -> T:
    """``value`` when it is of ``kind``; a LockfileError naming ``what`` otherwise."""
    if isinstance(value, kind) and not (kind is int and isinstance(value, bool)):
        return value
    fail(path, line, format, f"{what} must be {_KIND_NAMES.get(kind, kind.__name__)}, not {_json_kind(value)}")


_KIND_NAMES = {dict: "an object", list: "a list", str: "a string", int: "a number"}


def _json_kind(value: object) -> str:
    if value is None:
        return "null"
    for kind, name in _KIND_NAMES.items():
        if isinstance(value, kind):
            return name
    return type(value).__name__


def _too_deep_line(text: str) -> int | None:
    """The line where bracket nesting first passes MAX_DEPTH (strings
    skipped), or None when it never does."""
    depth = 0
    for m in _JSON_TOKEN.finditer(text):
        tok = m.group()
        if tok in "[{":
            depth += 1
            if depth > MAX_DEPTH:
                return text.count("\n", 0, m.start()) + 1
        elif tok in "]}":
            depth -= 1
    return None


def load_json(path: str, text: str, format: str) -> Any:
    try:
        return json.loads(text)
    except json.JSONDecodeError as e:
        fail(path, e.lineno, format, f"invalid JSON: {e.msg}")
    except RecursionError:
        fail(path, _too_deep_line(text) or 1, format, f"nested deeper than {MAX_DEPTH} levels")


def load_toml(path: str, text: str, format: str) -> dict[str, Any]:
    try:
        return tomllib.loads(text)
    except tomllib.TOMLDecodeError as e:
        m = _TOML_LINE.search(str(e))
        line = int(m.group(1)) if m else text.count("\n") + 1
        message = _TOML_LINE.sub("", str(e)).strip()
        fail(path, line, format, f"invalid TOML: {message}")
    except RecursionError:
        fail(path, 1, format, "nested too deeply")


def load_yaml(path: str, text: str, format: str) -> Any:
    """A YAML document through the safe loader, after a look at its events:
    aliases are refused (lockfiles never use them, and they are how a small
    YAML text becomes an enormous structure), and so is nesting deeper than
    MAX_DEPTH, which the loader would recurse into until it crashed."""
    try:
        depth = 0
        for event in yaml.parse(text, Loader=_SafeLoader):
            if isinstance(event, yaml.AliasEvent):
                fail(path, event.start_mark.line + 1, format, "YAML aliases are not allowed")
            if isinstance(event, yaml.CollectionStartEvent):
                depth += 1
                if depth > MAX_DEPTH:
                    fail(path, event.start_mark.line + 1, format, f"nested deeper than {MAX_DEPTH} levels")
            elif isinstance(event, yaml.CollectionEndEvent):
                depth -= 1
        return yaml.load(text, Loader=_SafeLoader)
    except yaml.MarkedYAMLError as e:
        mark = e.problem_mark or e.context_mark
        line = mark.line + 1 if mark is not None else 1
        fail(path, line, format, f"invalid YAML: {e.problem or e.context}")
    except yaml.YAMLError as e:
        fail(path, 1, format, f"invalid YAML: {e}")
