"""Manifests: the dependencies a project declares itself, with the
requirement it states for each, the file and the line. Read as data only:
a Gemfile is searched line by line for ``gem`` calls, never run."""

from __future__ import annotations

import collections.abc as abc
import dataclasses
import os
import re
from dataclasses import dataclass
from typing import Any

from quorlen.scan.readers import parsing, read_text

PIPFILE = "Pipfile"
PYPROJECT = "pyproject.toml"
PACKAGE_JSON = "package.json"
CARGO = "Cargo.toml"
GEMFILE = "Gemfile"
GEMS_RB = "gems.rb"
COMPOSER = "composer.json"
PUBSPEC = "pubspec.yaml"

# Workspace members of a Cargo.toml read beside it: more is not a project.
MAX_MEMBERS = 256


@dataclass(frozen=True)
class Declared:
    """A dependency a manifest names. ``requirement`` is the declared range
    in the ecosystem's own syntax ("*" when none is stated); None when the
    dependency comes from a path, git or URL rather than a registry."""

    name: str
    requirement: str | None
    file: str
    line: int
    # 1-based column of the requirement's text on its line; 0 when it is not written there as is.
    column: int = 0


def _line_finder(text: str) -> abc.Callable[[re.Pattern[str]], int]:
    cursor = parsing.Cursor(text)

    def find(pattern: re.Pattern[str]) -> int:
        cursor.pos = 0  # a key may be declared before its section's other keys
        return cursor.find(pattern)
    return find


def _key_line(find: abc.Callable[[re.Pattern[str]], int], name: str) -> int:
    quoted = r"[\"']?" + re.escape(name) + r"[\"']?"
    return find(re.compile(r"(?m)^[ \t]*" + quoted + r"[ \t]*[=:]|[\[.]" + quoted + r"\]|[\"']" + re.escape(name)
                           + r"(?=[\s\[<>=!~;,\"'^(]|$)"))


def _table(value: Any, *keys: str) -> dict[str, Any]:
    for key in keys:
        value = value.get(key) if isinstance(value, dict) else None
    return value if isinstance(value, dict) else {}


# ---------------------------------------------------------------- Python

_PEP508 = re.compile(r"\s*([A-Za-z0-9](?:[A-Za-z0-9._-]*[A-Za-z0-9])?)\s*(\[[^\]]*\])?\s*([^;@]*)(@)?")


def pep508(text: str) -> tuple[str, str | None] | None:
    m = _PEP508.match(text)
    if m is None:
        return None
    if m.group(4):
        return m.group(1), None
    spec = m.group(3).strip().strip("()").strip()
    return m.group(1), spec or "*"


def poetry_requirement(value: Any) -> str | None:
    if isinstance(value, str):
        return value.strip() or "*"
    if isinstance(value, dict):
        if any(k in value for k in ("git", "path", "url")):
            return None
        version = value.get("version")
        return version.strip() or "*" if isinstance(version, str) else "*"
    if isinstance(value, list):
        # Several declarations for several Pythons: any of them may apply.
        parts = [poetry_requirement(v) for v in value]
        if not parts or any(p is None for p in parts):
            return None
        return " || ".join(dict.fromkeys(p for p in parts if p is not None))
    return None


def read_pyproject(path: str, text: str) -> list[Declared]:
    doc = parsing.load_toml(path, text, PYPROJECT)
    find = _line_finder(text)
    out: list[Declared] = []

    def _pep508_list(items: Any) -> None:
        for item in items if isinstance(items, list) else []:
            parsed = pep508(item) if isinstance(item, str) else None
            if parsed is not None:
                out.append(Declared(parsed[0], parsed[1], path, _key_line(find, parsed[0])))

    project = _table(doc, "project")
    _pep508_list(project.get("dependencies"))
    for group in _table(project, "optional-dependencies").values():
        _pep508_list(group)
    for group in _table(doc, "dependency-groups").values():
        _pep508_list(group)
    for group in _table(doc, "tool", "pdm", "dev-dependencies").values():
        _pep508_list(group)
    poetry = _table(doc, "tool", "poetry")
    tables = [_table(poetry, "dependencies"), _table(poetry, "dev-dependencies")]
    tables += [_table(g, "dependencies") for g in _table(poetry, "group").values()]
    for table in tables:
        for name, value in table.items():
            if name.lower() != "python":
                out.append(Declared(name, poetry_requirement(value), path, _key_line(find, name)))
    return out


def read_pipfile(path: str, text: str) -> list[Declared]:
    doc = parsing.load_toml(path, text, PIPFILE)
    find = _line_finder(text)
    out = []
    for section in ("packages", "dev-packages"):
        for name, value in _table(doc, section).items():
            out.append(Declared(name, poetry_requirement(value), path, _key_line(find, name)))
    return out


# ---------------------------------------------------------------- Rust

def _cargo_requirement(value: Any) -> str | None:
    if isinstance(value, str):
        return value.strip() or "*"
    if isinstance(value, dict):
        if "path" in value or "git" in value:
            return None  # a workspace member or a checkout: built from source
        version = value.get("version")
        return version.strip() or "*" if isinstance(version, str) else "*"
    return None


def _cargo_tables(doc: dict[str, Any]) -> list[dict[str, Any]]:
    kinds = ("dependencies", "dev-dependencies", "build-dependencies")
    tables = [_table(doc, k) for k in kinds] + [_table(doc, "workspace", "dependencies")]
    for target in _table(doc, "target").values():
        tables += [_table(target, k) for k in kinds]
    return tables


def read_cargo(path: str, text: str) -> list[Declared]:
    doc = parsing.load_toml(path, text, CARGO)
    find = _line_finder(text)
    out = []
    for table in _cargo_tables(doc):
        for key, value in table.items():
            if isinstance(value, dict) and value.get("workspace") is True:
                continue  # declared in the workspace's own table, read as well
            name = value.get("package", key) if isinstance(value, dict) else key
            out.append(Declared(str(name), _cargo_requirement(value), path, _key_line(find, key)))
    return out


def cargo_members(path: str, text: str) -> list[str]:
    """The manifests of a workspace's members named literally (globs are not
    expanded), inside the workspace's folder."""
    doc = parsing.load_toml(path, text, CARGO)
    members = _table(doc, "workspace").get("members")
    top = os.path.dirname(os.path.abspath(path))
    found = []
    for member in members[:MAX_MEMBERS] if isinstance(members, list) else []:
        if not isinstance(member, str) or any(c in member for c in "*?["):
            continue
        manifest = os.path.normpath(os.path.join(top, member, CARGO))
        if os.path.commonpath([top, os.path.realpath(manifest)]) == top and os.path.isfile(manifest):
            found.append(manifest)
    return found


# ---------------------------------------------------------------- JSON manifests

_NPM_SECTIONS = ("dependencies", "devDependencies", "optionalDependencies", "peerDependencies")
_NPM_NOT_REGISTRY = ("file:", "link:", "git", "github:", "http:", "https:", "workspace:", "npm:", "portal:")


def read_package_json(path: str, text: str) -> list[Declared]:
    doc = parsing.load_json(path, text, PACKAGE_JSON)
    find = _line_finder(text)
    out = []
    for section in _NPM_SECTIONS:
        for name, value in _table(doc, section).items():
            if not isinstance(value, str):
                continue
            spec = value.strip()
            registry = not spec.startswith(_NPM_NOT_REGISTRY) and "/" not in spec
            line = find(re.compile(re.escape(f'"{name}"') + r"\s*:"))
            out.append(Declared(name, (spec if spec not in ("", "latest") else "*") if registry else None, path, line))
    return out


def _composer_platform(name: str) -> bool:
    return "/" not in name  # php, ext-json, lib-icu, composer-plugin-api


def read_composer(path: str, text: str) -> list[Declared]:
    doc = parsing.load_json(path, text, COMPOSER)
    find = _line_finder(text)
    out = []
    for section in ("require", "require-dev"):
        for name, value in _table(doc, section).items():
            if isinstance(value, str) and not _composer_platform(name):
                line = find(re.compile(re.escape(f'"{name}"') + r"\s*:"))
                out.append(Declared(name, value.strip() or "*", path, line))
    return out


# ---------------------------------------------------------------- Ruby, Dart

_GEM = re.compile(r"""^\s*gem\s*\(?\s*(["'])([^"']+)\1((?:\s*,\s*(["'])[^"']*\4)*)""")
_GEM_OPTION = re.compile(r"\b(git|github|path|gitlab|bitbucket)\s*:|:(git|github|path)\s*=>")
_GEM_STRING = re.compile(r"""(["'])([^"']*)\1""")


def read_gemfile(path: str, text: str) -> list[Declared]:
    out = []
    for number, line in enumerate(text.splitlines(), 1):
        m = _GEM.match(line)
        if m is None:
            continue
        constraints = [s.group(2).strip() for s in _GEM_STRING.finditer(m.group(3))]
        requirement = ", ".join(c for c in constraints if c) or "*"
        out.append(Declared(m.group(2), None if _GEM_OPTION.search(line) else requirement, path, number))
    return out


def read_pubspec(path: str, text: str) -> list[Declared]:
    doc = parsing.load_yaml(path, text, PUBSPEC)
    find = _line_finder(text)
    out = []
    for section in ("dependencies", "dev_dependencies"):
        for name, value in _table(doc, section).items():
            if isinstance(value, dict):
                requirement = None if any(k in value for k in ("git", "path", "sdk")) else str(value.get("version", "*"))
            else:
                requirement = "*" if value is None else str(value)
            line = find(re.compile(r"(?m)^[ \t]+" + re.escape(str(name)) + r"[ \t]*:"))
            out.append(Declared(str(name), requirement, path, line))
    return out


READERS: dict[str, abc.Callable[[str, str], list[Declared]]] = {
    PYPROJECT: read_pyproject, PIPFILE: read_pipfile, CARGO: read_cargo, PACKAGE_JSON: read_package_json,
    COMPOSER: read_composer, GEMFILE: read_gemfile, GEMS_RB: read_gemfile, PUBSPEC: read_pubspec,
}


def read_manifest(path: str, kind: str) -> list[Declared]:
    """The dependencies a manifest of the given kind (one of READERS)
    declares; LockfileError when it does not parse. A Cargo workspace's
    members named in it are read with it."""
    text = read_text(path, kind)
    declared = _with_columns(READERS[kind](path, text), text)
    if kind == CARGO:
        for member in cargo_members(path, text):
            declared += _with_columns(read_cargo(member, read_text(member, kind)), read_text(member, kind))
    return declared


def _with_columns(declared: list[Declared], text: str) -> list[Declared]:
    lines = text.splitlines()
    out = []
    for d in declared:
        line = lines[d.line - 1] if 0 < d.line <= len(lines) else ""
        found = line.find(d.requirement) if d.requirement and d.requirement != "*" else -1
        if found >= 0 and line.count(d.requirement or "") == 1:
            d = dataclasses.replace(d, column=found + 1)
        out.append(d)
    return out
