"""Java archives (``.jar``, ``.war``, ``.ear``) and the archives inside them,
to a bounded depth: every ``META-INF/maven/**/pom.properties``, else the
manifest's implementation title and version. Archives are read in memory,
each member bounded in size and in compression ratio. Lines: none (0); a
package inside a nested archive is shown at ``outer.jar!/inner.jar``.
"""

from __future__ import annotations

import io
import zipfile
import zlib

from quorlen.scan.model import REGISTRY, UNKNOWN, Package
from quorlen.scan.readers.parsing import entry_error, fail

FORMAT = "java-archive"
ECOSYSTEM = "Maven"
SUFFIXES = (".jar", ".war", ".ear")
MAX_DEPTH = 3  # a war holding a jar holding jars
MAX_MEMBER = 64 << 20
MAX_RATIO = 100
_RATIO_FLOOR = 1 << 20
MAX_MEMBERS = 100_000


def wants(path: str) -> bool:
    return path.lower().endswith(SUFFIXES)


def _properties(text: str) -> dict[str, str]:
    values = {}
    for line in text.splitlines():
        line = line.strip()
        if line and line[0] not in "#!":
            key, sep, value = line.partition("=")
            if sep:
                values[key.strip()] = value.strip()
    return values


def _manifest(text: str) -> dict[str, str]:
    values: dict[str, str] = {}
    last = ""
    for line in text.splitlines():
        if line.startswith(" ") and last:
            values[last] += line[1:]  # a continued line of 72-byte wrapping
            continue
        key, sep, value = line.partition(":")
        if sep:
            last = key.strip()
            values[last] = value.strip()
    return values


def _member(archive: zipfile.ZipFile, info: zipfile.ZipInfo) -> bytes:
    if info.file_size > MAX_MEMBER:
        raise ValueError(f"{info.filename}: {info.file_size} bytes uncompressed, more than {MAX_MEMBER}")
    if info.file_size > _RATIO_FLOOR and info.file_size > MAX_RATIO * max(info.compress_size, 1):
        raise ValueError(f"{info.filename}: compressed more than {MAX_RATIO} to 1")
    with archive.open(info) as f:
        data = f.read(info.file_size + 1)
    if len(data) > info.file_size:
        raise ValueError(f"{info.filename}: more bytes than its header says")
    return data


def _archive(path: str, data: bytes, depth: int) -> list[Package]:
    try:
        archive = zipfile.ZipFile(io.BytesIO(data))
    except (zipfile.BadZipFile, zipfile.LargeZipFile, ValueError, EOFError) as e:
        fail(path, 0, FORMAT, f"not a readable archive ({e})")
    packages: list[Package] = []  # the archive's own, then those of the archives inside
    nested: list[Package] = []
    with archive:
        infos = archive.infolist()
        if len(infos) > MAX_MEMBERS:
            fail(path, 0, FORMAT, f"more than {MAX_MEMBERS} members")
        manifest = None
        for info in infos:
            name = info.filename
            try:
                if name.startswith("META-INF/maven/") and name.endswith("/pom.properties"):
                    props = _properties(_member(archive, info).decode("utf-8", "replace"))
                    group, artifact, version = props.get("groupId"), props.get("artifactId"), props.get("version")
                    if group and artifact and version:
                        packages.append(Package(ECOSYSTEM, f"{group}:{artifact}", version, path, 0))
                elif name == "META-INF/MANIFEST.MF":
                    manifest = _manifest(_member(archive, info).decode("utf-8", "replace"))
                elif name.lower().endswith(SUFFIXES) and not info.is_dir():
                    inner = f"{path}!/{name}"
                    if depth >= MAX_DEPTH:
                        entry_error(inner, 0, FORMAT, f"archives nested deeper than {MAX_DEPTH} levels")
                        continue
                    nested.extend(_archive(inner, _member(archive, info), depth + 1))
            except (ValueError, zipfile.BadZipFile, zlib.error, EOFError, NotImplementedError, RuntimeError) as e:
                entry_error(path, 0, FORMAT, f"member skipped: {e}")
        if not packages and manifest:
            packages = _from_manifest(path, manifest)
    return packages + nested


def _from_manifest(path: str, manifest: dict[str, str]) -> list[Package]:
    title = manifest.get("Implementation-Title") or manifest.get("Bundle-SymbolicName", "").split(";")[0]
    version = manifest.get("Implementation-Version") or manifest.get("Bundle-Version")
    if not title or not version:
        return []
    group = manifest.get("Implementation-Vendor-Id")
    if group:
        return [Package(ECOSYSTEM, f"{group}:{title}", version, path, 0, source=REGISTRY)]
    # Without a group the advisories' group:artifact names cannot be matched.
    return [Package(ECOSYSTEM, title, version, path, 0, source=UNKNOWN)]


def read(path: str, data: bytes) -> list[Package]:
    return _archive(path, data, 1)
