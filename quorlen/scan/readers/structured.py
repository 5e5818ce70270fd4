"""What the lockfile readers need beyond ``parsing``: YAML documents read
with the line of every mapping key, and the one-package-per-declaration
collection of a file's packages."""

from __future__ import annotations

from typing import Any

import yaml

from quorlen.scan.ecosystems import normalize_name
from quorlen.scan.model import REGISTRY, Package
from quorlen.scan.readers.parsing import MAX_DEPTH, fail

# The most nodes a YAML document may expand to. Aliases let a small file
# name one node many times over; every visit counts, so a document built to
# expand exponentially stops here instead of exhausting memory, while the
# largest real lockfiles stay far below it.
MAX_YAML_NODES = 5_000_000

_Loader: Any = getattr(yaml, "CSafeLoader", yaml.SafeLoader)
_NULLS = frozenset({"", "~", "null", "Null", "NULL"})


class _Converter:
    """YAML nodes to plain values: mappings become dicts, sequences lists,
    every scalar its text. Scalars stay text on purpose: a version such as
    ``1.10`` must not become the float 1.1."""

    def __init__(self, path: str, format: str) -> None:
        self.path = path
        self.format = format
        self.visited = 0
        self.lines: dict[int, dict[str, int]] = {}

    def convert(self, node: yaml.Node, depth: int) -> Any:
        self.visited += 1
        if self.visited > MAX_YAML_NODES or depth > MAX_DEPTH:
            fail(self.path, node.start_mark.line + 1, self.format,
                 "YAML document expands too far (aliases or nesting)")
        if isinstance(node, yaml.MappingNode):
            result: dict[str, Any] = {}
            lines: dict[str, int] = {}
            for key_node, value_node in node.value:
                key = self.convert(key_node, depth + 1)
                if not isinstance(key, str):
                    fail(self.path, key_node.start_mark.line + 1, self.format, "a mapping key is not text")
                result[key] = self.convert(value_node, depth + 1)
                lines.setdefault(key, key_node.start_mark.line + 1)
            self.lines[id(result)] = lines
            return result
        if isinstance(node, yaml.SequenceNode):
            return [self.convert(item, depth + 1) for item in node.value]
        if node.tag == "tag:yaml.org,2002:null" and node.value in _NULLS:
            return None
        return node.value


class YamlDocument:
    """A YAML document as plain values with the line of each mapping key."""

    def __init__(self, value: Any, lines: dict[int, dict[str, int]]) -> None:
        self.value = value
        self._lines = lines

    def line(self, mapping: dict[str, Any], key: str, default: int = 1) -> int:
        """The 1-based line of a key of one of the document's mappings."""
        return self._lines.get(id(mapping), {}).get(key, default)


def load_yaml_lines(path: str, text: str, format: str) -> YamlDocument:
    try:
        node = yaml.compose(text, Loader=_Loader)
    except yaml.MarkedYAMLError as e:
        mark = e.problem_mark or e.context_mark
        fail(path, mark.line + 1 if mark is not None else 1, format, f"invalid YAML: {e.problem or e.context}")
    except yaml.YAMLError as e:
        fail(path, 1, format, f"invalid YAML: {e}")
    except RecursionError:
        fail(path, 1, format, "nested too deeply")
    if node is None:
        return YamlDocument(None, {})
    converter = _Converter(path, format)
    return YamlDocument(converter.convert(node, 0), converter.lines)


class Collector:
    """The packages of one file, one per distinct (name, version,
    requirement, source), the first declaration winning: lockfiles list a
    package once per place it is installed or per set of extras it is
    locked with, and one report of it is enough."""

    def __init__(self, path: str, ecosystem: str) -> None:
        self.path = path
        self.ecosystem = ecosystem
        self.packages: list[Package] = []
        self._seen: set[tuple[str, str | None, str | None, str]] = set()

    def add(self, name: str, version: str | None, line: int, *, requirement: str | None = None,
            source: str = REGISTRY, normalise: bool = True, path: str | None = None) -> None:
        if normalise:
            name = normalize_name(self.ecosystem, name)
        key = (name, version, requirement, source)
        if key in self._seen:
            return
        self._seen.add(key)
        self.packages.append(Package(self.ecosystem, name, version, path or self.path, line, requirement, source))
