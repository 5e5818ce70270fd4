"""What the lockfile readers need beyond ``parsing``: YAML documents read
with the line of every mapping key, without recursion, and the
one-package-per-declaration collection of a file's packages."""

from __future__ import annotations

from typing import Any, NoReturn

import yaml  # type: ignore  # (no stubs installed)

from quorlen.scan.ecosystems import normalize_name
from quorlen.scan.model import REGISTRY, Package
from quorlen.scan.readers.parsing import MAX_DEPTH, fail

_Loader: Any = getattr(yaml, "CSafeLoader", yaml.SafeLoader)
_NULLS = frozenset({"", "~", "null", "Null", "NULL"})


class YamlDocument:
    """A YAML document as plain values with the line of each mapping key."""

    def __init__(self, value: Any, lines: dict[int, dict[str, int]]) -> None:
        self.value = value
        self._lines = lines

    def line(self, mapping: dict[str, Any], key: str, default: int = 1) -> int:
        """The 1-based line of a key of one of the document's mappings."""
        return self._lines.get(id(mapping), {}).get(key, default)


class _Builder:
    """Plain values built from the parser's events with an explicit stack.

    The library's own composer and constructor recurse once per level of
    nesting, and a document nested a hundred thousand deep crashes the
    interpreter in them; events arrive flat. Mappings become dicts,
    sequences lists and every scalar its text: a version such as ``1.10``
    must not become the float 1.1. An alias of a mapping or a sequence is
    refused, since such aliases are how a small text expands to an enormous
    structure and lockfiles never use them; an alias of a scalar is only
    its text.
    """

    def __init__(self, path: str, format: str) -> None:
        self.path = path
        self.format = format
        self.lines: dict[int, dict[str, int]] = {}
        self.scalars: dict[str, str | None] = {}
        self.collections: set[str] = set()
        # Open collections, each with the key waiting for its value (None
        # while a mapping waits for a key).
        self.stack: list[tuple[dict[str, Any] | list[Any], str | None]] = []
        self.documents = 0
        self.root: Any = None

    def fail(self, event: Any, message: str) -> NoReturn:
        fail(self.path, event.start_mark.line + 1, self.format, message)

    def add(self, value: Any, event: Any) -> None:
        """Places a finished value in the collection being built."""
        if not self.stack:
            self.root = value
            return
        container, key = self.stack[-1]
        if isinstance(container, list):
            container.append(value)
        elif key is None:
            if not isinstance(value, str):
                self.fail(event, "a mapping key is not text")
            self.stack[-1] = (container, value)
            self.lines[id(container)].setdefault(value, event.start_mark.line + 1)
        else:
            container[key] = value
            self.stack[-1] = (container, None)

    def open(self, container: dict[str, Any] | list[Any], event: Any) -> None:
        if len(self.stack) >= MAX_DEPTH:
            self.fail(event, f"nested deeper than {MAX_DEPTH} levels")
        if event.anchor:
            self.collections.add(event.anchor)
        if isinstance(container, dict):
            self.lines[id(container)] = {}
        self.stack.append((container, None))

    def close(self, event: Any) -> None:
        container, key = self.stack.pop()
        if key is not None:
            self.fail(event, f"the key {key!r} has no value")
        self.add(container, event)

    def feed(self, event: Any) -> None:
        if isinstance(event, yaml.ScalarEvent):
            plain = event.style in (None, "") and event.tag in (None, "tag:yaml.org,2002:null")
            value = None if plain and event.value in _NULLS else event.value
            if event.anchor:
                self.scalars[event.anchor] = value
            self.add(value, event)
        elif isinstance(event, yaml.MappingStartEvent):
            self.open({}, event)
        elif isinstance(event, yaml.SequenceStartEvent):
            self.open([], event)
        elif isinstance(event, (yaml.MappingEndEvent, yaml.SequenceEndEvent)):
            self.close(event)
        elif isinstance(event, yaml.AliasEvent):
            if event.anchor in self.collections:
                self.fail(event, "aliases of YAML mappings and lists are not allowed")
            if event.anchor not in self.scalars:
                self.fail(event, f"the alias *{event.anchor} names no anchor")
            self.add(self.scalars[event.anchor], event)
        elif isinstance(event, yaml.DocumentStartEvent):
            self.documents += 1
            if self.documents > 1:
                self.fail(event, "more than one YAML document")


def load_yaml_lines(path: str, text: str, format: str) -> YamlDocument:
    builder = _Builder(path, format)
    try:
        for event in yaml.parse(text, Loader=_Loader):
            builder.feed(event)
    except yaml.MarkedYAMLError as e:
        mark = e.problem_mark or e.context_mark
        fail(path, mark.line + 1 if mark is not None else 1, format, f"invalid YAML: {e.problem or e.context}")
    except yaml.YAMLError as e:
        fail(path, 1, format, f"invalid YAML: {e}")
    return YamlDocument(builder.root, builder.lines)


class Collector:
    """The packages of one file, one per distinct (ecosystem, name,
    version, requirement, source, location), the first declaration winning: lockfiles
    list a package once per place it is installed or per set of extras it
    is locked with, and one report of it is enough."""

    def __init__(self, path: str, ecosystem: str) -> None:
        self.path = path
        self.ecosystem = ecosystem
        self.packages: list[Package] = []
        self._seen: set[tuple[str, str, str | None, str | None, str, str | None]] = set()

    def add(self, name: str, version: str | None, line: int, *, requirement: str | None = None,
            source: str = REGISTRY, normalise: bool = True, path: str | None = None,
            ecosystem: str | None = None, location: str | None = None) -> None:
        ecosystem = self.ecosystem if ecosystem is None else ecosystem
        if normalise:
            name = normalize_name(ecosystem, name)
        key = (ecosystem, name, version, requirement, source, location)
        if key in self._seen:
            return
        self._seen.add(key)
        self.packages.append(Package(ecosystem, name, version, path or self.path, line, requirement, source,
                                     location))
