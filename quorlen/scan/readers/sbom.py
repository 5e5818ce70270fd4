"""Readers of SBOMs: CycloneDX JSON and SPDX JSON, read through the package
URLs of their components.

A CycloneDX BOM's ``metadata.component`` is the software the BOM describes,
not one of its dependencies, so it is left out, as the lockfile readers
leave out the project itself; nested components are read. An SPDX document
has no such slot, so every package is read. A component without a package
URL, with one that does not parse, or with a type OSV has no ecosystem for
is reported with the source "unknown" (and no ecosystem), never dropped.

Packages of Debian and Alpine systems are named by their source package
where the package URL tells it (the ``upstream`` qualifier), since their
advisories name source packages.

The release of a distribution's packages comes from their package URL's
``distro`` qualifier or, where that is missing, from the operating system
the SBOM describes (a CycloneDX component of type "operating-system", the
described one included; an SPDX package whose purpose is OPERATING-SYSTEM).

Lines: the line of the component's package URL; without one, the line of
its name (CycloneDX) or SPDX identifier.
"""

from __future__ import annotations

import dataclasses
import json
import re
import urllib.parse
from typing import Any

import quorlen
from quorlen.scan import ecosystems
from quorlen.scan.model import UNKNOWN, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, expect, fail, load_json
from quorlen.scan.readers.structured import Collector

CYCLONEDX = "cyclonedx-json"
SPDX = "spdx-json"

# Package URL types whose "upstream" qualifier names the source package
# that the distribution's advisories are written for. (An rpm's names a
# source rpm file, not a package.)
_SOURCE_NAMED_TYPES = frozenset({"deb", "apk"})


def _value_line(cursor: Cursor, key: str, value: str) -> int:
    """The line of the next ``"key": "value"``; generators write one space
    after the colon, and other spacing falls back to a pattern."""
    quoted = json.dumps(value, ensure_ascii=False)
    literal = f'"{key}": {quoted}'
    at = cursor.text.find(literal, cursor.pos)
    if at < 0:
        return cursor.find(re.compile(f'"{re.escape(key)}"' + r"\s*:\s*" + re.escape(quoted)))
    cursor.pos = at + len(literal)
    return cursor.line_at(at)


def _add_unknown(out: Collector, name: str, version: str | None, line: int) -> None:
    out.add(name, version, line, source=UNKNOWN, normalise=False, ecosystem="")


def _add_purl(out: Collector, purl: str, line: int, name: str | None, version: str | None) -> None:
    """The package a package URL names; the component's own name and
    version stand in when the URL does not parse."""
    try:
        parts = quorlen.parse_purl(purl)
    except ValueError:
        _add_unknown(out, name or purl, version, line)
        return
    purl_type = parts["type"]
    namespace = urllib.parse.unquote(parts["namespace"]) if parts["namespace"] else None
    package = urllib.parse.unquote(parts["name"])
    release = urllib.parse.unquote(parts["version"]) if parts["version"] else None
    qualifiers = ecosystems.purl_qualifiers(parts["qualifiers"])
    ecosystem = ecosystems.purl_ecosystem(purl_type, namespace, qualifiers.get("distro"), release)
    if ecosystem is None:
        _add_unknown(out, purl, release, line)
        return
    if purl_type in _SOURCE_NAMED_TYPES and qualifiers.get("upstream"):
        source_name, _, source_version = qualifiers["upstream"].partition("@")
        package, release = source_name, source_version or release
    release = ecosystems.with_epoch(release, qualifiers.get("epoch"))
    if ecosystems.base(ecosystem) == "Go" and release and release.startswith("v"):
        release = release[1:]
    out.add(ecosystems.purl_name(purl_type, namespace, package), release, line, ecosystem=ecosystem)


def _note_system(systems: list[str], name: Any, version: Any) -> None:
    """Note the OSV ecosystem, with its release, of an operating system an
    SBOM names by its os-release ID ("debian" "12") or by a name that starts
    with it ("AlmaLinux 9.5"); one OSV does not know is left out."""
    if not isinstance(name, str) or not name.strip():
        return
    words = name.strip().lower().split()
    version = version if isinstance(version, str) else None
    for os_id in dict.fromkeys(["".join(words), words[0]]):
        found = ecosystems.os_release_ecosystem(os_id, version)
        if found is not None:
            systems.append(found)
            return


def _with_system_release(packages: list[Package], systems: list[str]) -> list[Package]:
    """The packages of a distribution whose package URL tells no release,
    given the release of the operating system the SBOM describes; when the
    SBOM names several releases of that distribution, none is chosen."""
    by_base: dict[str, set[str]] = {}
    for system in systems:
        if ecosystems.suffix(system):
            by_base.setdefault(ecosystems.base(system), set()).add(system)
    out = []
    for package in packages:
        found = by_base.get(package.ecosystem)
        if found is not None and len(found) == 1:
            package = dataclasses.replace(package, ecosystem=next(iter(found)))
        out.append(package)
    return out


# ---------------------------------------------------------------------------
# CycloneDX

def _optional_text(entry: dict[str, Any], key: str, what: str, path: str, line: int, format: str) -> str | None:
    value = entry.get(key)
    return None if value is None else expect(value, str, f"the {key!r} of {what}", path, line, format)


def read_cyclonedx(path: str, text: str) -> list[Package]:
    data = expect(load_json(path, text, CYCLONEDX), dict, "the document", path, 1, CYCLONEDX)
    if data.get("bomFormat") != "CycloneDX":
        fail(path, 1, CYCLONEDX, 'not a CycloneDX BOM (no "bomFormat": "CycloneDX")')
    out = Collector(path, "")
    cursor = Cursor(text)
    systems: list[str] = []
    metadata = data.get("metadata")
    if isinstance(metadata, dict) and isinstance(metadata.get("component"), dict):
        described_system = metadata["component"]
        if described_system.get("type") == "operating-system":
            _note_system(systems, described_system.get("name"), described_system.get("version"))
        # Step past the described software so its package URL is not taken
        # for a component's.
        described = metadata["component"].get("purl")
        if isinstance(described, str):
            _value_line(cursor, "purl", described)
    components = expect(data.get("components", []), list, "'components'", path, 1, CYCLONEDX)
    pending = list(reversed(components))
    while pending:
        component = pending.pop()
        here = cursor.line_at(cursor.pos)
        expect(component, dict, "a component", path, here, CYCLONEDX)
        name = _optional_text(component, "name", "a component", path, here, CYCLONEDX)
        purl = _optional_text(component, "purl", f"component {name!r}", path, here, CYCLONEDX)
        version = _optional_text(component, "version", f"component {name!r}", path, here, CYCLONEDX)
        if component.get("type") == "operating-system":
            _note_system(systems, name, version)
        if purl:
            _add_purl(out, purl, _value_line(cursor, "purl", purl), name, version)
        elif name:
            group = component.get("group")
            label = f"{group}/{name}" if isinstance(group, str) and group else name
            _add_unknown(out, label, version, _value_line(cursor, "name", name))
        else:
            fail(path, here, CYCLONEDX, "a component with neither a name nor a package URL")
        children = expect(component.get("components", []), list, f"the components of {name!r}", path, here,
                          CYCLONEDX)
        pending.extend(reversed(children))
    return _with_system_release(out.packages, systems)


# ---------------------------------------------------------------------------
# SPDX

def _purls(package: dict[str, Any], path: str, line: int) -> list[str]:
    refs = expect(package.get("externalRefs", []), list, "'externalRefs'", path, line, SPDX)
    found = []
    for ref in refs:
        expect(ref, dict, "an external reference", path, line, SPDX)
        kind = ref.get("referenceType")
        if isinstance(kind, str) and (kind == "purl" or kind.endswith("/purl")):
            found.append(expect(ref.get("referenceLocator"), str, "a package URL reference", path, line, SPDX))
    return found


def read_spdx(path: str, text: str) -> list[Package]:
    data = expect(load_json(path, text, SPDX), dict, "the document", path, 1, SPDX)
    if not isinstance(data.get("spdxVersion"), str):
        fail(path, 1, SPDX, 'not an SPDX document (no "spdxVersion")')
    out = Collector(path, "")
    cursor = Cursor(text)
    systems: list[str] = []
    for package in expect(data.get("packages", []), list, "'packages'", path, 1, SPDX):
        here = cursor.line_at(cursor.pos)
        expect(package, dict, "a package", path, here, SPDX)
        name = _optional_text(package, "name", "a package", path, here, SPDX)
        version = _optional_text(package, "versionInfo", f"package {name!r}", path, here, SPDX)
        if package.get("primaryPackagePurpose") == "OPERATING-SYSTEM":
            _note_system(systems, name, version)
        purls = _purls(package, path, here)
        for purl in purls:
            _add_purl(out, purl, _value_line(cursor, "referenceLocator", purl), name, version)
        if not purls:
            ident = package.get("SPDXID")
            line = _value_line(cursor, "SPDXID", ident) if isinstance(ident, str) else here
            if not name:
                fail(path, line, SPDX, "a package with neither a name nor a package URL")
            _add_unknown(out, name, version, line)
    return _with_system_release(out.packages, systems)


READERS: tuple[Reader, ...] = (
    Reader(CYCLONEDX, ("bom.json", "*.bom.json", "*-bom.json", "*_bom.json", "*.cdx.json"), read_cyclonedx),
    Reader(SPDX, ("*.spdx.json",), read_spdx),
)
