"""Which reader reads each installed file, recognised by its path inside
the tree (and, for programs, by their mode and first bytes)."""

from __future__ import annotations

import collections.abc as abc
import posixpath
from dataclasses import dataclass

from quorlen.scan.installed import binaries, gobuild, javaarchive, manifests, nodemodules, osrelease, pythondist
from quorlen.scan.installed import rpmdb, rustaudit
from quorlen.scan.model import LockfileError, Package
from quorlen.scan.readers import distro

# The smallest program worth opening: a Go or Rust program is megabytes.
MIN_PROGRAM_BYTES = 64 << 10

RPMDB_FOLDERS = ("var/lib/rpm", "usr/lib/sysimage/rpm")
# Databases that exist but are not read, and why.
UNREAD = {
    **{f"{d}/Packages": "an RPM database in Berkeley DB form, which is not read" for d in RPMDB_FOLDERS},
    **{f"{d}/Packages.db": "an RPM database in NDB form, which is not read" for d in RPMDB_FOLDERS},
}


@dataclass(frozen=True)
class Artifact:
    format: str
    wants: abc.Callable[[str], bool]
    read: abc.Callable[[str, bytes], list[Package]]
    # Whether its packages belong to the operating system, whose release
    # os-release tells.
    system: bool = False


def _text(format: str, read: abc.Callable[[str, str], list[Package]]) -> abc.Callable[[str, bytes], list[Package]]:
    def read_bytes(path: str, data: bytes) -> list[Package]:
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError as e:
            raise LockfileError(path, data.count(b"\n", 0, e.start) + 1, format, "not UTF-8 text") from None
        return read(path, text)
    return read_bytes


def _in_status_d(path: str) -> bool:
    return posixpath.dirname(path) == "var/lib/dpkg/status.d" and not path.endswith(".md5sums")


ARTIFACTS: tuple[Artifact, ...] = (
    Artifact(distro.DPKG, lambda p: p == "var/lib/dpkg/status", _text(distro.DPKG, distro.read_dpkg), True),
    Artifact(distro.DPKG_STATUS_D, _in_status_d, _text(distro.DPKG_STATUS_D, distro.read_dpkg_status_d), True),
    Artifact(distro.APK, lambda p: p in ("lib/apk/db/installed", "usr/lib/apk/db/installed"),
             _text(distro.APK, distro.read_apk), True),
    Artifact(rpmdb.FORMAT, lambda p: p in {f"{d}/rpmdb.sqlite" for d in RPMDB_FOLDERS}, rpmdb.read, True),
    Artifact(pythondist.FORMAT, pythondist.wants, pythondist.read),
    Artifact(nodemodules.FORMAT, nodemodules.wants, nodemodules.read),
    Artifact(javaarchive.FORMAT, javaarchive.wants, javaarchive.read),
    Artifact(manifests.GEMSPEC, manifests.wants_gemspec, manifests.read_gemspec),
    Artifact(manifests.COMPOSER, manifests.wants_composer, manifests.read_composer),
    Artifact(manifests.DEPS_JSON, manifests.wants_deps_json, manifests.read_deps_json),
)

# Readers of programs, each with a quick look for its data.
PROGRAMS: tuple[tuple[str, abc.Callable[[bytes], bool], abc.Callable[[str, bytes], list[Package]]], ...] = (
    (gobuild.FORMAT, gobuild.probe, gobuild.read),
    (rustaudit.FORMAT, rustaudit.probe, rustaudit.read),
)


def artifact_for(path: str) -> Artifact | None:
    return next((a for a in ARTIFACTS if a.wants(path)), None)


def is_program_candidate(mode: int, size: int) -> bool:
    return bool(mode & 0o111) and size >= MIN_PROGRAM_BYTES


def wanted(path: str, mode: int, size: int) -> bool:
    """Whether a file's bytes are needed, before reading them."""
    return (path in osrelease.PATHS or path in UNREAD or artifact_for(path) is not None
            or is_program_candidate(mode, size))


def is_program(data: bytes) -> bool:
    """Whether a candidate's bytes are a program one of the readers knows
    something about: only those are kept."""
    return binaries.is_executable(data) and any(probe(data) for _, probe, _ in PROGRAMS)


def keep(path: str, mode: int, data: bytes) -> bool:
    if path in osrelease.PATHS or path in UNREAD or artifact_for(path) is not None:
        return True
    return is_program(data)
