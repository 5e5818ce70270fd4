"""Reading a whole installed system (a root filesystem folder, or the tree
an image's layers make): every package database and installed artifact,
with the operating system's release from os-release given to the packages
of its own databases."""

from __future__ import annotations

import dataclasses
import glob
import os
from dataclasses import dataclass

from quorlen.scan import ecosystems
from quorlen.scan.installed import artifacts, osrelease, rpmdb, tree as trees
from quorlen.scan.model import LockfileError, Package
from quorlen.scan.readers import distro

# The largest file read: RPM databases and programs run to hundreds of megabytes.
MAX_FILE_BYTES = 512 << 20

# The OSV ecosystems each package database can belong to.
_FAMILIES = {
    distro.DPKG: frozenset({"Debian", "Ubuntu"}),
    distro.DPKG_STATUS_D: frozenset({"Debian", "Ubuntu"}),
    distro.APK: frozenset({"Alpine"}),
}
# Where a folder shows itself as a root filesystem.
MARKERS = (*osrelease.PATHS, "var/lib/dpkg/status", "var/lib/dpkg/status.d", "lib/apk/db/installed",
           *(f"{d}/rpmdb.sqlite" for d in artifacts.RPMDB_FOLDERS))


@dataclass
class SystemScan:
    packages: list[Package] = dataclasses.field(default_factory=list)
    errors: list[LockfileError] = dataclasses.field(default_factory=list)
    warnings: list[str] = dataclasses.field(default_factory=list)
    files: list[str] = dataclasses.field(default_factory=list)
    os_ecosystem: str | None = None


# Python's installation folders, which mark a tree whose system files were
# left out, and a virtual environment.
_PYTHON_SITES = ("usr/lib/python3*/*-packages", "usr/local/lib/python3*/*-packages", "lib/python3*/site-packages")


def is_root_filesystem(folder: str) -> bool:
    if not os.path.isdir(folder):
        return False
    return (any(os.path.lexists(os.path.join(folder, m)) for m in MARKERS)
            or any(glob.glob(os.path.join(glob.escape(folder), site)) for site in _PYTHON_SITES))


def _os_ecosystem(tree: trees.Tree, scan: SystemScan) -> str | None:
    for path in osrelease.PATHS:
        try:
            found = tree.resolve(path)
        except trees.TreeError as e:
            scan.warnings.append(str(e))
            continue
        if found is not None:
            try:
                return osrelease.ecosystem(trees.read_node(tree.nodes[found], 1 << 20).decode("utf-8", "replace"))
            except (OSError, ValueError) as e:
                scan.warnings.append(f"{tree.display(found)}: not read ({e})")
    return None


def _system_ecosystem(format: str, guessed: str, os_ecosystem: str | None) -> str:
    """The release os-release names wins over the database's own guess,
    when it names a distribution of the database's family."""
    if os_ecosystem is None:
        return guessed
    family = _FAMILIES.get(format)
    known = frozenset().union(*_FAMILIES.values())
    os_base = ecosystems.base(os_ecosystem)
    if family is None:  # RPM: any distribution but the dpkg and apk ones
        return os_ecosystem if os_base not in known else guessed
    return os_ecosystem if os_base in family else guessed


def _read(tree: trees.Tree, path: str, node: trees.Node, scan: SystemScan) -> None:
    shown = tree.display(path)
    artifact = artifacts.artifact_for(path)
    try:
        data = trees.read_node(node, MAX_FILE_BYTES)
    except (OSError, ValueError) as e:
        if artifact is not None:
            scan.errors.append(LockfileError(shown, 0, artifact.format, f"cannot be read ({e})"))
        return
    if artifact is not None:
        readers = [(artifact.format, artifact.read)]
    elif artifacts.is_program(data):
        readers = [(fmt, read) for fmt, probe, read in artifacts.PROGRAMS if probe(data)]
    else:
        return
    for format, read in readers:
        try:
            found = read(shown, data)
        except LockfileError as e:
            scan.errors.append(e)
            continue
        except RecursionError:
            scan.errors.append(LockfileError(shown, 0, format, "nested too deeply"))
            continue
        if found:
            scan.files.append(shown)
        if artifact is not None and artifact.system:
            found = [dataclasses.replace(p, ecosystem=_system_ecosystem(format, p.ecosystem, scan.os_ecosystem))
                     for p in found]
        scan.packages.extend(dataclasses.replace(p, layer=node.layer) if node.layer else p for p in found)


def scan_tree(tree: trees.Tree) -> SystemScan:
    scan = SystemScan(warnings=list(tree.warnings))
    scan.os_ecosystem = _os_ecosystem(tree, scan)
    for path in sorted(tree.nodes):
        node = tree.nodes[path]
        if node.data is None or path in osrelease.PATHS:
            continue
        if path in artifacts.UNREAD:
            scan.warnings.append(f"{tree.display(path)}: {artifacts.UNREAD[path]}: its packages are not checked")
            continue
        _read(tree, path, node, scan)
    if any(p.ecosystem == rpmdb.ECOSYSTEM for p in scan.packages):
        scan.warnings.append("no os-release names a distribution for the RPM packages: they are not checked")
    return scan


def scan_folder(folder: str) -> SystemScan:
    return scan_tree(trees.from_folder(folder, artifacts.wanted))
