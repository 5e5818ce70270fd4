"""Go programs: the build information the Go linker embeds (the main
module, every dependency module with its version and replacement, and the
Go version). The Go version is reported as the module ``stdlib``, the name
Go's own advisories give the standard library.

Two layouts exist: since Go 1.18 the strings follow the header inline,
before that the header holds the addresses of two Go strings elsewhere in
the file. Lines: none (0); the file is the binary.
"""

from __future__ import annotations

import re
import struct

from quorlen.scan.installed import binaries
from quorlen.scan.model import PATH, REGISTRY, Package
from quorlen.scan.readers.parsing import fail

FORMAT = "go-binary"
ECOSYSTEM = "Go"
MAGIC = b"\xff Go buildinf:"
_HEADER = 32
# Where older linkers left the header when there is no section of its own.
_SECTIONS = (".go.buildinfo", "__go_buildinfo")
_DATA_SECTIONS = (".data", "__data", ".noptrdata", "__noptrdata")
_GO_VERSION = re.compile(r"go(\d+)(?:\.(\d+))?(?:\.(\d+))?(?:(rc|beta)(\d+))?")


def probe(data: bytes) -> bool:
    return MAGIC in data


def _uvarint(data: bytes, at: int) -> tuple[int, int]:
    value = shift = 0
    while True:
        if at >= len(data) or shift > 63:
            raise ValueError("a truncated length")
        byte = data[at]
        value |= (byte & 0x7F) << shift
        at += 1
        if byte < 0x80:
            return value, at
        shift += 7


def _inline(data: bytes, at: int) -> tuple[str, str]:
    strings = []
    for _ in range(2):
        size, at = _uvarint(data, at)
        if at + size > len(data):
            raise ValueError("a string past the end of the section")
        strings.append(data[at:at + size].decode("utf-8", "replace"))
        at += size
    return strings[0], strings[1]


def _go_string(binary: binaries.Binary, addr: int, ptr: int, endian: str) -> str:
    code = endian + ("Q" if ptr == 8 else "I")
    header = binary.at(addr, 2 * ptr)
    if header is None:
        raise ValueError("a string header outside the file")
    where, size = struct.unpack(code[0] + code[1] * 2, header)
    text = binary.at(where, size) if size else b""
    if text is None:
        raise ValueError("a string outside the file")
    return text.decode("utf-8", "replace")


def _pointers(binary: binaries.Binary, data: bytes, at: int, ptr: int, big: bool) -> tuple[str, str]:
    endian = ">" if big else "<"
    code = endian + ("Q" if ptr == 8 else "I")
    version_at, = struct.unpack_from(code, data, at + 16)
    mod_at, = struct.unpack_from(code, data, at + 16 + ptr)
    return _go_string(binary, version_at, ptr, endian), _go_string(binary, mod_at, ptr, endian)


def build_info(binary: binaries.Binary) -> tuple[str, str] | None:
    """The Go version and module text of a Go program, or None for a program
    Go did not link."""
    for names in (_SECTIONS, _DATA_SECTIONS):
        data = binary.section(*names)
        if data is None:
            continue
        at = data.find(MAGIC)
        while at >= 0 and at % 16:
            at = data.find(MAGIC, at + 1)
        if at < 0 or at + _HEADER > len(data):
            continue
        ptr, flags = data[at + 14], data[at + 15]
        if flags & 2:
            version, mod = _inline(data, at + _HEADER)
        elif ptr in (4, 8):
            version, mod = _pointers(binary, data, at, ptr, bool(flags & 1))
        else:
            raise ValueError(f"a pointer size of {ptr}")
        # The module text is framed by 16 bytes on each side.
        if len(mod) >= 33 and mod[-17] == "\n":
            mod = mod[16:-16]
        return version, mod
    return None


def stdlib_version(go: str) -> str | None:
    """A Go release as Go's advisories write the standard library's
    versions: ``go1.21.5`` -> ``1.21.5``, ``go1.19`` -> ``1.19.0``,
    ``go1.21rc2`` -> ``1.21.0-rc.2``; None for a development build."""
    m = _GO_VERSION.match(go.split()[0] if go.split() else "")
    if m is None:
        return None
    major, minor, patch, pre, pre_no = m.groups()
    version = f"{major}.{minor or 0}.{patch or 0}"
    return f"{version}-{pre}.{pre_no}" if pre else version


def _module_version(version: str) -> str | None:
    return version[1:] if version.startswith("v") and version[1:2].isdigit() else None


def modules(path: str, go: str, text: str) -> list[Package]:
    packages = []
    stdlib = stdlib_version(go)
    if stdlib is not None:
        packages.append(Package(ECOSYSTEM, "stdlib", stdlib, path, 0))
    for line in text.splitlines():
        fields = line.split("\t")
        kind = fields[0]
        if kind in ("mod", "dep") and len(fields) >= 3:
            version = _module_version(fields[2])
            if kind == "mod" and version is None:
                continue  # the program's own module, built from its folder: "(devel)"
            packages.append(Package(ECOSYSTEM, fields[1], version, path, 0))
        elif kind == "=>" and len(fields) >= 2 and packages and packages[-1].name != "stdlib":
            # The replacement of the module on the line before: a module
            # version of the proxy, or a local folder (no version).
            replaced = packages.pop()
            version = _module_version(fields[2]) if len(fields) >= 3 else None
            if version is None:
                packages.append(Package(ECOSYSTEM, replaced.name, replaced.version, path, 0, source=PATH))
            else:
                packages.append(Package(ECOSYSTEM, fields[1], version, path, 0, source=REGISTRY))
    return packages


def read(path: str, data: bytes) -> list[Package]:
    try:
        binary = binaries.parse(data)
        info = build_info(binary) if binary is not None else None
    except (struct.error, ValueError, IndexError) as e:
        fail(path, 0, FORMAT, f"unreadable build information ({e})")
    if info is None:
        return []
    return modules(path, *info)
