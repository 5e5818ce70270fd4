"""Readers of Python dependency files: requirements files, poetry.lock,
Pipfile.lock, uv.lock and pdm.lock. All of them name PyPI packages.

Lines: a requirements file reports the line where a requirement starts (the
first of its continued lines); the TOML lockfiles the line of the entry's
``name = ...`` key; Pipfile.lock the line of the package's key.

A bad line or entry (an include that cannot be read among them) is an
error of its own; the rest of the file is still read.
"""

from __future__ import annotations

import collections.abc
import dataclasses
import os
import re
from typing import Any

from quorlen.scan.model import GIT, PATH, REGISTRY, URL, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, each_entry, expect, fail, load_json, load_toml
from quorlen.scan.readers.structured import Collector

ECOSYSTEM = "PyPI"

# Includes (-r) nest at most this deep, and one top file pulls in at most
# this many files, however the includes are arranged.
MAX_INCLUDE_DEPTH = 16
MAX_INCLUDED_FILES = 256

# Only files named as requirements files are read through an include: a
# hostile file could otherwise name any file of the machine, and a line of
# it would be quoted in the error report.
_INCLUDED_SUFFIXES = (".txt", ".in")

# The longest piece of an input quoted in an error message.
MAX_EXCERPT = 60

# ---------------------------------------------------------------------------
# requirements.txt

REQUIREMENTS = "requirements.txt"

_COMMENT = re.compile(r"(^|\s+)#.*$")
_REQUIREMENT_OPTIONS = re.compile(r"\s+--?[a-zA-Z]")
_NAME = re.compile(r"([A-Za-z0-9](?:[A-Za-z0-9._-]*[A-Za-z0-9])?)\s*(\[[^\]]*\])?\s*")
_CLAUSE = re.compile(r"\s*(~=|===|==|!=|<=|>=|<|>)\s*([^,;\s]+)\s*$")
_URL_SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*://|^[A-Za-z][A-Za-z0-9+.-]*:(?!\\)")
_VCS_SCHEME = re.compile(r"^(git|hg|svn|bzr)[+:]", re.IGNORECASE)
_EGG = re.compile(r"#(?:.*&)?egg=([A-Za-z0-9][A-Za-z0-9._-]*)")
_EXTRAS_SUFFIX = re.compile(r"\[[^\]]*\]$")
_ARCHIVE = re.compile(r"\.(whl|tar\.gz|tgz|tar\.bz2|tar\.xz|zip)$", re.IGNORECASE)

_INCLUDE_OPTIONS = frozenset({"-r", "--requirement"})
_EDITABLE_OPTIONS = frozenset({"-e", "--editable"})


@dataclasses.dataclass
class _Includes:
    """What one top-level read has pulled in so far."""

    files: int = 0
    active: list[str] = dataclasses.field(default_factory=list)  # the chain being read, as real paths
    done: set[str] = dataclasses.field(default_factory=set)


def _excerpt(text: str) -> str:
    return repr(text if len(text) <= MAX_EXCERPT else text[:MAX_EXCERPT] + "...")


def _logical_lines(text: str) -> list[tuple[int, str]]:
    """Lines with backslash continuations joined and comments removed, each
    with the number of its first physical line."""
    result: list[tuple[int, str]] = []
    pending: list[str] = []
    start = 0
    for number, raw in enumerate(text.splitlines(), 1):
        if not pending:
            start = number
        if raw.endswith("\\"):
            pending.append(raw[:-1])
            continue
        pending.append(raw)
        line = _COMMENT.sub("", "".join(pending)).strip()
        pending = []
        if line:
            result.append((start, line))
    if pending:
        line = _COMMENT.sub("", "".join(pending)).strip()
        if line:
            result.append((start, line))
    return result


def _source_of(target: str) -> str:
    if _VCS_SCHEME.match(target):
        return GIT
    if target.lower().startswith("file:") or not _URL_SCHEME.match(target):
        return PATH
    return URL


def _add_direct(out: Collector, target: str, line: int, path: str, name: str | None = None) -> None:
    """A requirement on a VCS checkout, a URL or a local path: reported as
    not checkable, under its name when the line tells it."""
    egg = _EGG.search(target)
    if name is None and egg:
        name = egg.group(1)
    if name is not None:
        out.add(name, None, line, source=_source_of(target), path=path, location=target)
    else:
        # No name to match by: the target itself identifies the dependency.
        out.add(_EXTRAS_SUFFIX.sub("", target), None, line, source=_source_of(target), normalise=False, path=path,
                location=target)


def _is_direct(text: str) -> bool:
    return bool(_URL_SCHEME.match(text) or text.startswith((".", "/", "~", "\\")) or _ARCHIVE.search(text)
                or "/" in _EXTRAS_SUFFIX.sub("", text).split(";")[0])


def _specifier(path: str, line: int, rest: str) -> tuple[str | None, str | None]:
    """(pinned version, requirement) of a specifier text such as ``==1.0``
    or ``>=1.0,<2``; both None when it is empty."""
    text = rest.strip()
    if text.startswith("(") and text.endswith(")"):
        text = text[1:-1].strip()
    if not text:
        return None, None
    clauses = []
    for part in text.split(","):
        found = _CLAUSE.match(part)
        if not found:
            fail(path, line, REQUIREMENTS, f"not a version specifier: {_excerpt(text)}")
        clauses.append((found.group(1), found.group(2)))
    if len(clauses) == 1 and clauses[0][0] in ("==", "===") and "*" not in clauses[0][1]:
        return clauses[0][1], None
    return None, text


def _add_requirement(out: Collector, path: str, line: int, text: str) -> None:
    text = _REQUIREMENT_OPTIONS.split(text, 1)[0].strip()
    found = _NAME.match(text)
    named_url = found is not None and text[found.end():].startswith("@")
    if not named_url and _is_direct(text):
        _add_direct(out, text.split(" ;", 1)[0].split("; ", 1)[0].strip(), line, path)
        return
    if not found:
        fail(path, line, REQUIREMENTS, f"not a requirement: {_excerpt(text)}")
    name, rest = found.group(1), text[found.end():]
    if named_url:
        target = rest[1:].strip().split(" ;", 1)[0].split("; ", 1)[0].strip()
        if not target:
            fail(path, line, REQUIREMENTS, f"no URL after '@' in {_excerpt(text)}")
        _add_direct(out, target, line, path, name)
        return
    version, requirement = _specifier(path, line, rest.split(";", 1)[0])
    out.add(name, version, line, requirement=requirement, path=path)


def _split_option(text: str) -> tuple[str, str]:
    """An option line as (option, value): ``-r x``, ``-rx``, ``--requirement=x``."""
    if text.startswith("--"):
        option, _, value = text.partition("=") if "=" in text.split()[0] else text.partition(" ")
        return option.strip(), value.strip()
    return text[:2], text[2:].strip()


def _include(out: Collector, including: str, line: int, target: str, includes: _Includes) -> None:
    # Local import: the registry module imports this one before it defines
    # read_text.
    from quorlen.scan.readers import read_text

    if _URL_SCHEME.match(target) and not target.lower().startswith("file:"):
        # Never fetched; reported so the include is not lost from sight.
        out.add(target, None, line, source=URL, normalise=False, path=including, location=target)
        return
    if target.lower().startswith("file:"):
        target = target[5:]
    name = os.path.join(os.path.dirname(including), os.path.expanduser(target))
    real = os.path.realpath(name)
    if real in includes.active or real in includes.done:
        return  # a cycle, or a file already read through another include
    if len(includes.active) >= MAX_INCLUDE_DEPTH:
        fail(including, line, REQUIREMENTS, f"includes nested deeper than {MAX_INCLUDE_DEPTH} files")
    includes.files += 1
    if includes.files > MAX_INCLUDED_FILES:
        fail(including, line, REQUIREMENTS, f"more than {MAX_INCLUDED_FILES} included files")
    if not (name.endswith(_INCLUDED_SUFFIXES) and real.endswith(_INCLUDED_SUFFIXES)):
        fail(including, line, REQUIREMENTS, f"included file {_excerpt(target)} is not a requirements file "
             f"(named *{' or *'.join(_INCLUDED_SUFFIXES)})")
    if not os.path.isfile(name):
        fail(including, line, REQUIREMENTS, f"included file {_excerpt(target)} is not a readable file")
    _read_requirements(out, name, read_text(name, REQUIREMENTS), includes)


def _requirement_line(out: Collector, path: str, line: int, content: str, includes: _Includes) -> None:
    if not content.startswith("-"):
        _add_requirement(out, path, line, content)
        return
    option, value = _split_option(content)
    if option in _INCLUDE_OPTIONS:
        if not value:
            fail(path, line, REQUIREMENTS, f"{option} names no file")
        _include(out, path, line, value, includes)
    elif option in _EDITABLE_OPTIONS:
        if not value:
            fail(path, line, REQUIREMENTS, f"{option} names nothing to install")
        _add_direct(out, value, line, path)
    # Every other option (indexes, hashes, constraints, binary choices)
    # declares no dependency.


def _read_requirements(out: Collector, path: str, text: str, includes: _Includes) -> None:
    real = os.path.realpath(path)
    includes.active.append(real)
    for line, content in _logical_lines(text):
        with each_entry():
            _requirement_line(out, path, line, content, includes)
    includes.active.pop()
    includes.done.add(real)


def read_requirements(path: str, text: str) -> list[Package]:
    out = Collector(path, ECOSYSTEM)
    _read_requirements(out, path, text, _Includes())
    return out.packages


# ---------------------------------------------------------------------------
# The TOML lockfiles: poetry.lock, uv.lock, pdm.lock

_PACKAGE_HEADER = re.compile(r"^[ \t]*\[\[[ \t]*package[ \t]*\]\]", re.MULTILINE)


_EntryReader = collections.abc.Callable[[Collector, int, dict[str, Any], str, str | None], None]


def _read_toml_lock(path: str, text: str, format: str, read_entry: _EntryReader) -> list[Package]:
    """The packages of the ``[[package]]`` entries of a TOML lockfile, each
    read by ``read_entry(out, line, entry, name, version)``, the line being
    that of the entry's name. A bad entry is an error of its own."""
    data = load_toml(path, text, format)
    entries = expect(data.get("package", []), list, "'package'", path, 1, format)
    cursor = Cursor(text)
    out = Collector(path, ECOSYSTEM)
    for entry in entries:
        header = cursor.find(_PACKAGE_HEADER)
        with each_entry():
            expect(entry, dict, "a package entry", path, header, format)
            name = expect(entry.get("name"), str, "a package's 'name'", path, header, format)
            line = cursor.find(re.compile(r"^[ \t]*name[ \t]*=[ \t]*[\"']" + re.escape(name) + r"[\"']",
                                          re.MULTILINE))
            version = entry.get("version")
            if version is not None:
                expect(version, str, f"the 'version' of {name!r}", path, line, format)
            read_entry(out, line, entry, _EXTRAS_SUFFIX.sub("", name), version)
    return out.packages


def _toml_location(entry: dict[str, Any], kind: str, *keys: str) -> str | None:
    """Where a package that is not from an index came from: the first of
    ``keys`` the entry (or its source table) has as text."""
    if kind == REGISTRY:
        return None
    for table in (entry, entry.get("source")):
        if isinstance(table, dict):
            for key in keys:
                if isinstance(table.get(key), str):
                    return str(table[key])
    return None


POETRY = "poetry.lock"

# Poetry's source types; "legacy" is a package index other than PyPI.
_POETRY_SOURCES = {"git": GIT, "directory": PATH, "file": PATH, "url": URL, "legacy": REGISTRY}


def read_poetry(path: str, text: str) -> list[Package]:
    def entry_of(out: Collector, line: int, entry: dict[str, Any], name: str, version: str | None) -> None:
        source = entry.get("source")
        kind = REGISTRY
        if source is not None:
            expect(source, dict, f"the source of {name!r}", path, line, POETRY)
            kind = _POETRY_SOURCES.get(str(source.get("type", "legacy")), URL)
        if version is None and kind == REGISTRY:
            fail(path, line, POETRY, f"package {name!r} has no 'version' text")
        out.add(name, version, line, source=kind, location=_toml_location(entry, kind, "url"))

    return _read_toml_lock(path, text, POETRY, entry_of)


UV = "uv.lock"

# uv's source keys; any that is not a package index is not checkable.
_UV_SOURCES = {"registry": REGISTRY, "git": GIT, "url": URL, "path": PATH, "directory": PATH,
               "editable": PATH, "virtual": PATH}


def read_uv(path: str, text: str) -> list[Package]:
    def entry_of(out: Collector, line: int, entry: dict[str, Any], name: str, version: str | None) -> None:
        source = expect(entry.get("source", {"registry": ""}), dict, f"the source of {name!r}", path, line, UV)
        kinds = [(k, _UV_SOURCES[k]) for k in source if k in _UV_SOURCES]
        key, kind = kinds[0] if kinds else ("", URL)
        if version is None and kind == REGISTRY:
            fail(path, line, UV, f"package {name!r} has no 'version' text")
        out.add(name, version, line, source=kind, location=_toml_location(entry, kind, *([key] if key else [])))

    return _read_toml_lock(path, text, UV, entry_of)


PDM = "pdm.lock"


def read_pdm(path: str, text: str) -> list[Package]:
    def entry_of(out: Collector, line: int, entry: dict[str, Any], name: str, version: str | None) -> None:
        kind = GIT if "git" in entry else PATH if "path" in entry else URL if "url" in entry else REGISTRY
        if version is None and kind == REGISTRY:
            fail(path, line, PDM, f"package {name!r} has no 'version' text")
        out.add(name, version, line, source=kind, location=_toml_location(entry, kind, "git", "path", "url"))

    return _read_toml_lock(path, text, PDM, entry_of)


# ---------------------------------------------------------------------------
# Pipfile.lock

PIPFILE = "Pipfile.lock"


def _pipfile_version(path: str, line: int, name: str, value: Any) -> tuple[str | None, str | None]:
    if value is None:
        return None, None
    if not isinstance(value, str):
        fail(path, line, PIPFILE, f"the version of {name!r} is not a string")
    if value.startswith("==="):
        return value[3:], None
    if value.startswith("==") and "*" not in value and "," not in value:
        return value[2:], None
    return None, value


def read_pipfile(path: str, text: str) -> list[Package]:
    data = expect(load_json(path, text, PIPFILE), dict, "the document", path, 1, PIPFILE)
    out = Collector(path, ECOSYSTEM)
    cursor = Cursor(text)
    # Every group but the metadata: "default", "develop", and the named
    # categories newer versions write.
    for group, entries in data.items():
        if group == "_meta":
            continue
        group_line = cursor.find_json_key(group)
        with each_entry():
            expect(entries, dict, f"{group!r}", path, group_line, PIPFILE)
            for name, entry in entries.items():
                line = cursor.find_json_key(name, "{" if isinstance(entry, dict) else "")
                with each_entry():
                    _pipfile_entry(out, path, line, name, entry)
    return out.packages


def _pipfile_entry(out: Collector, path: str, line: int, name: str, entry: Any) -> None:
    expect(entry, dict, f"package {name!r}", path, line, PIPFILE)
    keys = [k for k in ("git", "path", "file") if isinstance(entry.get(k), str)]
    kind = GIT if "git" in entry else PATH if "path" in entry else URL if "file" in entry else REGISTRY
    version, requirement = _pipfile_version(path, line, name, entry.get("version"))
    if kind == REGISTRY and version is None and requirement is None:
        fail(path, line, PIPFILE, f"package {name!r} has no version")
    out.add(name, version, line, requirement=requirement, source=kind, location=entry[keys[0]] if keys else None)


READERS: tuple[Reader, ...] = (
    Reader(REQUIREMENTS, ("*requirements*.txt",), read_requirements),
    Reader(POETRY, ("poetry.lock", "*__poetry.lock"), read_poetry),
    Reader(PIPFILE, ("Pipfile.lock", "*__Pipfile.lock"), read_pipfile),
    Reader(UV, ("uv.lock", "*__uv.lock"), read_uv),
    Reader(PDM, ("pdm.lock", "*__pdm.lock"), read_pdm),
)
