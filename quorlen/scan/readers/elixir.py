"""mix.lock: an Elixir map from dependency to a tuple that says where it
comes from: ``{:hex, :name, "version", checksum, managers, deps[, repo[,
outer checksum]]}`` or ``{:git, url, revision, options}``.

The file is Elixir source; it is read by a small parser of the literal
terms it holds (maps, tuples, lists, keywords, strings, atoms, numbers) and
never evaluated.

Lines: the line of the dependency's key. A dependency whose value cannot
be read is an error of its own; the other dependencies are still read.
"""

from __future__ import annotations

import re
from dataclasses import dataclass

from quorlen.scan.model import GIT, REGISTRY, URL, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import MAX_DEPTH, each_entry, fail

FORMAT = "mix.lock"
ECOSYSTEM = "Hex"
PUBLIC_REPO = "hexpm"  # private organisations' repositories are "hexpm:org"

_TOKEN = re.compile(r"""
    (?P<space>(?:\s|\#[^\n]*)+)
  | (?P<key>"(?:[^"\\]|\\.)*":(?=\s)|[A-Za-z_][\w@]*[?!]?:(?=\s))
  | (?P<string>"(?:[^"\\]|\\.)*")
  | (?P<atom>:"(?:[^"\\]|\\.)*"|:[A-Za-z_][\w@]*[?!]?)
  | (?P<number>-?\d[\d_]*(?:\.\d[\d_]*)?(?:[eE][-+]?\d+)?)
  | (?P<word>true|false|nil)\b
  | (?P<punct>%\{|=>|[{}\[\],])
  | (?P<bad>[^\s{}\[\],]+)
""", re.VERBOSE)

_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "#": "#"}


class Atom(str):
    """An Elixir atom, told apart from a string of the same text."""


@dataclass
class Token:
    kind: str
    text: str
    line: int


Term = object  # a string, Atom, number, bool, None, tuple, list or dict of them


def _unquote(s: str) -> str:
    return re.sub(r"\\(.)", lambda m: _ESCAPES.get(m.group(1), m.group(1)), s[1:-1])


def tokenize(path: str, text: str) -> list[Token]:
    out: list[Token] = []
    pos, line = 0, 1
    while pos < len(text):
        # Text no term starts with becomes a "bad" token: the parser fails
        # the one entry that holds it.
        m = _TOKEN.match(text, pos)
        assert m is not None  # the "bad" group takes whatever else there is
        kind = m.lastgroup or ""
        if kind != "space":
            out.append(Token(kind, m.group(), line))
        line += m.group().count("\n")
        pos = m.end()
    out.append(Token("end", "", line))
    return out


class Parser:
    def __init__(self, path: str, tokens: list[Token]) -> None:
        self.path = path
        self.tokens = tokens
        self.i = 0

    def peek(self) -> Token:
        return self.tokens[self.i]

    def take(self, text: str | None = None) -> Token:
        tok = self.tokens[self.i]
        if text is not None and tok.text != text:
            found = tok.text or "the end of the file"
            fail(self.path, tok.line, FORMAT, f"expected '{text}', found '{found}'")
        self.i += 1
        return tok

    def items(self, close: str, depth: int) -> list[tuple[Term, Term, int] | Term]:
        """The comma-separated items up to ``close``; keyword items as (key, value, line)."""
        out: list[tuple[Term, Term, int] | Term] = []
        while self.peek().text != close:
            tok = self.peek()
            if tok.kind == "key":
                self.take()
                key = _unquote(tok.text[:-1]) if tok.text.startswith('"') else tok.text[:-1]
                out.append((Atom(key), self.term(depth), tok.line))
            else:
                value = self.term(depth)
                if close == "}" and self.peek().text == "=>":  # a map's "key" => value
                    self.take()
                    value = (value, self.term(depth), tok.line)
                out.append(value)
            if self.peek().text != close:
                self.take(",")
        self.take(close)
        return out

    def map_items(self, tok: Token, items: list[tuple[Term, Term, int] | Term]) -> dict[str, Term]:
        pairs = {}
        for item in items:
            if not (isinstance(item, tuple) and len(item) == 3 and isinstance(item[2], int)):
                fail(self.path, tok.line, FORMAT, "a map item without a key")
            pairs[str(item[0])] = item[1]
        return pairs

    def term(self, depth: int) -> Term:
        tok = self.take()
        if depth > MAX_DEPTH:
            fail(self.path, tok.line, FORMAT, f"nested deeper than {MAX_DEPTH} levels")
        if tok.kind == "string":
            return _unquote(tok.text)
        if tok.kind == "atom":
            return Atom(_unquote(tok.text[1:]) if tok.text[1] == '"' else tok.text[1:])
        if tok.kind == "number":
            digits = tok.text.replace("_", "")
            return float(digits) if "." in digits or "e" in digits.lower() else int(digits)
        if tok.kind == "word":
            return {"true": True, "false": False, "nil": None}[tok.text]
        if tok.text == "%{":
            return self.map_items(tok, self.items("}", depth + 1))
        if tok.text == "{":
            return tuple(self.items("}", depth + 1))
        if tok.text == "[":
            return self.items("]", depth + 1)
        if tok.kind == "bad":
            fail(self.path, tok.line, FORMAT, f"unexpected text '{tok.text[:20]}'")
        fail(self.path, tok.line, FORMAT, f"unexpected '{tok.text or 'end of file'}'")

    def skip_item(self, start: int) -> None:
        """Moves from the item that starts at token ``start`` to the next
        item of the same collection (or its closing bracket)."""
        self.i, depth = start, 0
        while self.peek().kind != "end":
            text = self.peek().text
            if depth == 0 and text in (",", "}", "]"):
                if text == ",":
                    self.i += 1
                return
            depth += 1 if text in ("%{", "{", "[") else -1 if text in ("}", "]") else 0
            self.i += 1


def _entry(parser: Parser) -> tuple[str, Term, int]:
    tok = parser.peek()
    if tok.kind == "key":
        parser.take()
        key = _unquote(tok.text[:-1]) if tok.text.startswith('"') else tok.text[:-1]
    else:
        term = parser.term(1)
        if not isinstance(term, str) or parser.peek().text != "=>":
            fail(parser.path, tok.line, FORMAT, "the lockfile map holds an item without a key")
        parser.take("=>")
        key = term
    value = parser.term(1)
    if parser.peek().text != "}":
        parser.take(",")
    return str(key), value, tok.line


def entries(path: str, text: str) -> list[tuple[str, Term, int]]:
    """The (dependency, value, line) of the lockfile's map."""
    parser = Parser(path, tokenize(path, text))
    parser.take("%{")
    out = []
    while parser.peek().text != "}" and parser.peek().kind != "end":
        start = parser.i
        with each_entry():
            out.append(_entry(parser))
            continue
        parser.skip_item(start)
        if parser.i == start:
            parser.i += 1  # a stray closing bracket: it starts no item
    parser.take("}")
    end = parser.peek()
    if end.kind != "end":
        fail(path, end.line, FORMAT, f"unexpected '{end.text}' after the lockfile map")
    return out


def package(path: str, key: str, value: Term, line: int) -> Package:
    if not isinstance(value, tuple) or not value or not isinstance(value[0], Atom):
        fail(path, line, FORMAT, f"the entry of {key} is not a tuple starting with its source")
    scm = value[0]
    if scm == "hex":
        if len(value) < 3 or not isinstance(value[1], Atom) or not isinstance(value[2], str) or \
                isinstance(value[2], Atom):
            fail(path, line, FORMAT, f"the :hex entry of {key} needs a package name and a version")
        repo = value[6] if len(value) > 6 else PUBLIC_REPO
        return Package(ECOSYSTEM, str(value[1]), str(value[2]), path, line,
                       source=REGISTRY if repo == PUBLIC_REPO else URL)
    where = value[1] if len(value) > 1 and isinstance(value[1], str) and not isinstance(value[1], Atom) else None
    return Package(ECOSYSTEM, key, None, path, line, source=GIT if scm == "git" else URL, location=where)


def read(path: str, text: str) -> list[Package]:
    packages = []
    for key, value, line in entries(path, text):
        with each_entry():
            packages.append(package(path, key, value, line))
    return packages


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("mix.lock", "*__mix.lock"), read),)
