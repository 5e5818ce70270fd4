"""Loading JSON, TOML and YAML lockfiles into plain values, with the line of
each failure, and finding the lines that declare packages.

Every failure becomes a LockfileError naming the file, the line and the
format, so a reader never lets a decoder's own exception escape.
"""

from __future__ import annotations

import json
import re
import tomllib
from collections.abc import Mapping
from typing import Any, NoReturn

import yaml

from quorlen.scan.ecosystems import normalize_name
from quorlen.scan.model import REGISTRY, LockfileError, Package

# The most nodes a YAML document may expand to. Aliases let a small file
# name the same node many times over; every visit counts, so a document
# built to expand exponentially stops here instead of exhausting memory.
MAX_YAML_NODES = 5_000_000

_TOML_POSITION = re.compile(r"\(at line (\d+), column \d+\)")

_YamlLoader: Any = getattr(yaml, "CSafeLoader", yaml.SafeLoader)


def fail(path: str, line: int, format: str, message: str) -> NoReturn:
    raise LockfileError(path, line, format, message)


def load_json(path: str, text: str, format: str) -> Any:
    try:
        return json.loads(text)
    except json.JSONDecodeError as e:
        fail(path, e.lineno, format, f"invalid JSON: {e.msg}")
    except RecursionError:
        fail(path, 1, format, "JSON nested too deeply")


def load_toml(path: str, text: str, format: str) -> dict[str, Any]:
    try:
        return tomllib.loads(text)
    except tomllib.TOMLDecodeError as e:
        found = _TOML_POSITION.search(str(e))
        message = _TOML_POSITION.sub("", str(e)).strip()
        fail(path, int(found.group(1)) if found else 1, format, f"invalid TOML: {message}")
    except RecursionError:
        fail(path, 1, format, "TOML nested too deeply")


class YamlValue:
    """A YAML node as plain values: mappings become dicts, sequences lists
    and every scalar its text. Scalars stay text on purpose: a version such
    as ``1.10`` must not turn into the float 1.1. ``lines`` maps each
    mapping's id to the 1-based lines of its keys."""

    def __init__(self, path: str, format: str) -> None:
        self.path = path
        self.format = format
        self.visited = 0
        self.lines: dict[int, dict[str, int]] = {}

    def convert(self, node: yaml.Node, depth: int = 0) -> Any:
        self.visited += 1
        if self.visited > MAX_YAML_NODES or depth > 200:
            fail(self.path, node.start_mark.line + 1, self.format, "YAML document expands too far (aliases or nesting)")
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
        value = node.value
        if node.tag == "tag:yaml.org,2002:null" and value in ("", "~", "null", "Null", "NULL"):
            return None
        return value


def load_yaml(path: str, text: str, format: str) -> tuple[Any, dict[int, dict[str, int]]]:
    """The document as plain values, and the key lines of every mapping
    (by the mapping's id)."""
    try:
        node = yaml.compose(text, Loader=_YamlLoader)
    except yaml.MarkedYAMLError as e:
        mark = e.problem_mark or e.context_mark
        fail(path, mark.line + 1 if mark else 1, format, f"invalid YAML: {e.problem or e.context}")
    except yaml.YAMLError as e:
        fail(path, 1, format, f"invalid YAML: {e}")
    except RecursionError:
        fail(path, 1, format, "YAML nested too deeply")
    if node is None:
        return None, {}
    converter = YamlValue(path, format)
    try:
        value = converter.convert(node)
    except RecursionError:
        fail(path, node.start_mark.line + 1, format, "YAML nested too deeply")
    return value, converter.lines


class LineFinder:
    """Lines of a text found in document order: each search starts where the
    last one ended, so the entries of a file walked in order are found at
    their own declarations even when the same key appears elsewhere too."""

    def __init__(self, text: str) -> None:
        self.text = text
        self.pos = 0
        self.line = 1

    def find(self, pattern: re.Pattern[str] | str) -> int:
        """The line where the pattern next matches, or the current line
        when it does not match again."""
        found = re.compile(pattern, re.MULTILINE).search(self.text, self.pos) if isinstance(pattern, str) \
            else pattern.search(self.text, self.pos)
        if found is None:
            return self.line
        self.line += self.text.count("\n", self.pos, found.start())
        self.pos = found.start()
        line = self.line
        # Step past the match so the next search finds the next entry.
        self.line += self.text.count("\n", self.pos, found.end())
        self.pos = found.end()
        return line

    def json_key(self, key: str, value_start: str = "{") -> int:
        """The line of a JSON object key whose value starts with
        ``value_start`` (an object by default)."""
        quoted = json.dumps(key, ensure_ascii=False)
        return self.find(re.escape(quoted) + r"\s*:\s*" + re.escape(value_start))


def expect(value: Any, kind: type, path: str, line: int, format: str, what: str) -> Any:
    """The value when it is of the kind, else a LockfileError naming what."""
    if not isinstance(value, kind):
        names = {dict: "an object", list: "a list", str: "a string"}
        fail(path, line, format, f"{what} is not {names.get(kind, kind.__name__)}")
    return value


def text_field(entry: Mapping[str, Any], key: str, path: str, line: int, format: str, what: str,
               required: bool = True) -> str | None:
    """A string field of an entry; a LockfileError when it has another type
    or is required and missing."""
    value = entry.get(key)
    if value is None and not required:
        return None
    if not isinstance(value, str) or not value:
        fail(path, line, format, f"{what} has no {key!r} text")
    return value


class Collector:
    """The packages of one file, one per distinct (name, version,
    requirement, source): a lockfile lists a package once per place it is
    installed or per extra it is locked with, and the first declaration is
    the one reported."""

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
