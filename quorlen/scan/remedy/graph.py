"""The dependency graph of a lockfile: which packages the project declares
itself (with the requirement, file and line of the manifest beside the
lockfile) and, for the others, the direct dependency that brings them in.

The edges are read from the lockfile here rather than by the readers, which
keep to the packages and versions."""

from __future__ import annotations

import collections
import collections.abc as abc
import dataclasses
import os
import re
from dataclasses import dataclass
from typing import Any

from quorlen.scan import ecosystems
from quorlen.scan.readers import parsing, read_text, reader_for
from quorlen.scan.remedy import manifests
from quorlen.scan.remedy.manifests import Declared

# The manifest kind that sits beside each lockfile format.
MANIFEST_OF: dict[str, str] = {
    "package-lock.json": manifests.PACKAGE_JSON, "npm-shrinkwrap.json": manifests.PACKAGE_JSON,
    "yarn.lock": manifests.PACKAGE_JSON, "pnpm-lock.yaml": manifests.PACKAGE_JSON,
    "poetry.lock": manifests.PYPROJECT, "uv.lock": manifests.PYPROJECT, "pdm.lock": manifests.PYPROJECT,
    "Pipfile.lock": manifests.PIPFILE, "Cargo.lock": manifests.CARGO, "Gemfile.lock": manifests.GEMFILE,
    "composer.lock": manifests.COMPOSER, "pubspec.lock": manifests.PUBSPEC,
}
_LOCK_NAMES = {"gems.locked": manifests.GEMS_RB}

ECOSYSTEM_OF: dict[str, str] = {
    "package-lock.json": "npm", "npm-shrinkwrap.json": "npm", "yarn.lock": "npm", "pnpm-lock.yaml": "npm",
    "poetry.lock": "PyPI", "uv.lock": "PyPI", "pdm.lock": "PyPI", "Pipfile.lock": "PyPI",
    "Cargo.lock": "crates.io", "Gemfile.lock": "RubyGems", "composer.lock": "Packagist", "pubspec.lock": "Pub",
}


@dataclass
class Edges:
    """What a lockfile records of the graph: for each package (by normalised
    name) the packages it needs, each with the requirement it states (None
    where the lockfile keeps none); and the direct dependencies, when the
    lockfile lists them itself."""

    needs: dict[str, dict[str, str | None]] = dataclasses.field(default_factory=lambda: collections.defaultdict(dict))
    names: dict[str, str] = dataclasses.field(default_factory=dict)
    roots: dict[str, str | None] = dataclasses.field(default_factory=dict)


@dataclass(frozen=True)
class Place:
    """Where a locked package sits. ``declared`` is the manifest's
    declaration of a direct dependency; ``path`` runs from a direct
    dependency to the package (itself last); ``parents`` are the packages
    that need it, with the requirement each states on it."""

    direct: bool
    declared: Declared | None
    path: tuple[str, ...]
    parents: tuple[tuple[str, str | None], ...]


# ---------------------------------------------------------------- edges per lockfile format

def _poetry(doc: dict[str, Any], edges: Edges, key: abc.Callable[[str], str]) -> None:
    for entry in doc.get("package") or []:
        if not isinstance(entry, dict) or not isinstance(entry.get("name"), str):
            continue
        parent = key(entry["name"])
        for name, value in (entry.get("dependencies") or {}).items():
            edges.needs[parent][key(name)] = manifests.poetry_requirement(value)
            edges.names.setdefault(key(name), name)


def _pdm(doc: dict[str, Any], edges: Edges, key: abc.Callable[[str], str]) -> None:
    for entry in doc.get("package") or []:
        if not isinstance(entry, dict) or not isinstance(entry.get("name"), str):
            continue
        parent = key(entry["name"])
        for item in entry.get("dependencies") or []:
            parsed = manifests.pep508(item) if isinstance(item, str) else None
            if parsed is not None:
                edges.needs[parent][key(parsed[0])] = parsed[1]


def _uv(doc: dict[str, Any], edges: Edges, key: abc.Callable[[str], str]) -> None:
    for entry in doc.get("package") or []:
        if not isinstance(entry, dict) or not isinstance(entry.get("name"), str):
            continue
        parent = key(entry["name"])
        groups = [entry.get("dependencies") or []]
        for table in ("optional-dependencies", "dev-dependencies"):
            extra = entry.get(table)
            groups += list(extra.values()) if isinstance(extra, dict) else []
        for group in groups:
            for dep in group if isinstance(group, list) else []:
                if isinstance(dep, dict) and isinstance(dep.get("name"), str):
                    edges.needs[parent].setdefault(key(dep["name"]), None)
        source = entry.get("source")
        if isinstance(source, dict) and "." in (source.get("editable"), source.get("virtual")):
            # The project itself: its metadata keeps the declared specifiers.
            metadata = entry.get("metadata")
            for req in (metadata.get("requires-dist") if isinstance(metadata, dict) else None) or []:
                if isinstance(req, dict) and isinstance(req.get("name"), str):
                    spec = req.get("specifier")
                    edges.roots[key(req["name"])] = spec if isinstance(spec, str) and spec else "*"


_CARGO_DEP = re.compile(r"^(\S+)(?: (\S+))?")


def _cargo(doc: dict[str, Any], edges: Edges, key: abc.Callable[[str], str]) -> None:
    for entry in doc.get("package") or []:
        if not isinstance(entry, dict) or not isinstance(entry.get("name"), str):
            continue
        parent = key(entry["name"])
        for dep in entry.get("dependencies") or []:
            m = _CARGO_DEP.match(dep) if isinstance(dep, str) else None
            if m is not None:
                edges.needs[parent].setdefault(key(m.group(1)), None)


def _npm(doc: dict[str, Any], edges: Edges, key: abc.Callable[[str], str]) -> None:
    sections = ("dependencies", "optionalDependencies", "peerDependencies")
    packages = doc.get("packages")
    if isinstance(packages, dict):
        for path, entry in packages.items():
            if not isinstance(entry, dict):
                continue
            if path == "":
                for section in (*sections, "devDependencies"):
                    for name, spec in (entry.get(section) or {}).items():
                        edges.roots[key(name)] = spec if isinstance(spec, str) else None
                continue
            name = entry.get("name") or path.rsplit("node_modules/", 1)[-1]
            for section in sections:
                for dep, spec in (entry.get(section) or {}).items():
                    edges.needs[key(str(name))].setdefault(key(dep), spec if isinstance(spec, str) else None)
        return

    def walk(dependencies: Any, depth: int) -> None:
        if not isinstance(dependencies, dict) or depth > parsing.MAX_DEPTH:
            return
        for name, entry in dependencies.items():
            if isinstance(entry, dict):
                for dep, spec in (entry.get("requires") or {}).items():
                    edges.needs[key(name)].setdefault(key(dep), spec if isinstance(spec, str) else None)
                walk(entry.get("dependencies"), depth + 1)
    walk(doc.get("dependencies"), 0)


def _composer(doc: dict[str, Any], edges: Edges, key: abc.Callable[[str], str]) -> None:
    for section in ("packages", "packages-dev"):
        for entry in doc.get(section) or []:
            if isinstance(entry, dict) and isinstance(entry.get("name"), str):
                for dep, spec in (entry.get("require") or {}).items():
                    if "/" in dep:
                        edges.needs[key(entry["name"])][key(dep)] = spec if isinstance(spec, str) else None


def _pubspec(doc: dict[str, Any], edges: Edges, key: abc.Callable[[str], str]) -> None:
    for name, entry in (doc.get("packages") or {}).items():
        if isinstance(entry, dict) and str(entry.get("dependency", "")).startswith("direct"):
            edges.roots[key(str(name))] = None


_GEM_SPEC = re.compile(r"^    (\S+) \(([^)]*)\)$")
_GEM_NEED = re.compile(r"^      (\S+)(?: \(([^)]*)\))?$")
_GEM_ROOT = re.compile(r"^  ([^\s!]+)!?(?: \(([^)]*)\))?$")


def _gemfile(text: str, edges: Edges, key: abc.Callable[[str], str]) -> None:
    section, parent = "", None
    for line in text.splitlines():
        if line and not line[0].isspace():
            section, parent = line.strip(), None
            continue
        if section == "DEPENDENCIES":
            m = _GEM_ROOT.match(line)
            if m:
                edges.roots[key(m.group(1))] = m.group(2) or "*"
        elif (m := _GEM_SPEC.match(line)) is not None:
            parent = key(m.group(1))
        elif parent is not None and (m := _GEM_NEED.match(line)) is not None:
            edges.needs[parent][key(m.group(1))] = m.group(2) or "*"


_TOML_EDGES = {"poetry.lock": _poetry, "pdm.lock": _pdm, "uv.lock": _uv, "Cargo.lock": _cargo}
_JSON_EDGES = {"package-lock.json": _npm, "npm-shrinkwrap.json": _npm, "composer.lock": _composer}


def read_edges(path: str, format: str, text: str) -> Edges:
    """What the lockfile records of its graph (nothing for the formats that
    keep none, such as Pipfile.lock)."""
    ecosystem = ECOSYSTEM_OF[format]
    edges = Edges()

    def key(name: str) -> str:
        return ecosystems.normalize_name(ecosystem, name)
    if format in _TOML_EDGES:
        _TOML_EDGES[format](parsing.load_toml(path, text, format), edges, key)
    elif format in _JSON_EDGES:
        doc = parsing.load_json(path, text, format)
        if isinstance(doc, dict):
            _JSON_EDGES[format](doc, edges, key)
    elif format == "pubspec.lock":
        doc = parsing.load_yaml(path, text, format)
        if isinstance(doc, dict):
            _pubspec(doc, edges, key)
    elif format == "Gemfile.lock":
        _gemfile(text, edges, key)
    return edges


# ---------------------------------------------------------------- the graph

def manifest_beside(lockfile: str, format: str) -> str | None:
    """The manifest of the same project: same folder, and the same name
    prefix as the lockfile's (``x__poetry.lock`` goes with
    ``x__pyproject.toml``)."""
    folder, name = os.path.split(lockfile)
    for lock_name, kind in (*_LOCK_NAMES.items(), (format, MANIFEST_OF.get(format, ""))):
        if kind and name.endswith(lock_name):
            candidate = os.path.join(folder, name[:len(name) - len(lock_name)] + kind)
            if os.path.isfile(candidate):
                return candidate
    return None


class Graph:
    """The places of a lockfile's packages, by normalised name."""

    def __init__(self, ecosystem: str, declared: abc.Sequence[Declared], edges: Edges) -> None:
        self.ecosystem = ecosystem
        self.direct: dict[str, Declared] = {}
        for d in declared:
            self.direct.setdefault(self.key(d.name), d)
        self.edges = edges
        self.parents: dict[str, list[tuple[str, str | None]]] = collections.defaultdict(list)
        for parent, needs in edges.needs.items():
            for child, spec in needs.items():
                self.parents[child].append((parent, spec))
        self._paths = self._shortest_paths()

    def key(self, name: str) -> str:
        return ecosystems.normalize_name(self.ecosystem, name)

    def _shortest_paths(self) -> dict[str, tuple[str, ...]]:
        # Breadth first from every direct dependency: the shortest way in.
        paths: dict[str, tuple[str, ...]] = {k: (self.direct[k].name,) for k in self.direct}
        queue = collections.deque(paths)
        while queue:
            here = queue.popleft()
            for child in self.edges.needs.get(here, {}):
                if child not in paths:
                    paths[child] = paths[here] + (self.edges.names.get(child, child),)
                    queue.append(child)
        return paths

    def place(self, name: str) -> Place:
        k = self.key(name)
        parents = tuple((p, spec) for p, spec in self.parents.get(k, []) if p != k)
        declared = self.direct.get(k)
        path = self._paths.get(k, ())
        if path:
            path = path[:-1] + (name,)
        return Place(declared is not None, declared, path, parents)


def _declared_roots(lockfile: str, edges: Edges) -> list[Declared]:
    return [Declared(name, spec, lockfile, 0) for name, spec in edges.roots.items()]


def for_lockfile(lockfile: str, warnings: list[str], manifest: str | None = None) -> Graph | None:
    """The graph of a lockfile with the manifest beside it (or the one
    given); None when neither the manifest nor the lockfile tells which
    dependencies are direct. A manifest that cannot be read is a warning: the
    findings stand without advice."""
    reader = reader_for(lockfile)
    if reader is None or reader.format not in MANIFEST_OF:
        return None
    format = reader.format
    try:
        edges = read_edges(lockfile, format, read_text(lockfile, format))
    except Exception as e:  # noqa: BLE001  (the reader reported the lockfile's own faults)
        warnings.append(f"{lockfile}: dependency graph not read: {e}")
        edges = Edges()
    manifest = manifest or manifest_beside(lockfile, format)
    declared: list[Declared] = []
    if manifest is not None:
        kind = next((k for k in manifests.READERS if os.path.basename(manifest).endswith(k)), MANIFEST_OF[format])
        try:
            declared = manifests.read_manifest(manifest, kind)
        except Exception as e:  # noqa: BLE001  (a bad manifest costs its advice, not the scan)
            warnings.append(f"{manifest}: manifest not read: {e}")
    if not declared:
        declared = _declared_roots(lockfile, edges)
    if not declared:
        return None
    return Graph(ECOSYSTEM_OF[format], declared, edges)
