"""The package databases of Debian-family and Alpine systems.

OSV's Debian, Ubuntu and Alpine records name source packages, so each
installed binary package is reported under its source package (dpkg's
``Source:``, apk's ``o:`` origin), once per distinct (source, version). The
release suffix comes from the package that carries the release
(``base-files``, ``alpine-release``); without it the ecosystem has no suffix.

Lines: the line of the first ``Package:`` / ``P:`` that gives the source.
"""

from __future__ import annotations

import re
from collections.abc import Iterator
from dataclasses import dataclass

from quorlen.scan.model import Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import fail

DPKG = "dpkg-status"
DPKG_STATUS_D = "dpkg-status.d"
APK = "apk-installed"

# Ubuntu's base-files version, up to its Ubuntu revision, for each release; Ubuntu
# does not write the release number into it the way Debian does.
UBUNTU_BASE_FILES = {
    "10.1ubuntu2": "18.04",
    "11ubuntu5": "20.04",
    "12ubuntu4": "22.04",
    "13ubuntu10": "24.04",
}
_UBUNTU_BASE_FILES = re.compile(r".*?ubuntu\d+")
_DEBIAN_BASE_FILES = re.compile(r"(\d+)(?:\.\d+)*(?:\+deb\d+u\d+)?")
_SOURCE = re.compile(r"(?P<name>[^\s()]+)(?:\s+\((?P<version>[^()]+)\))?")
_ALPINE_RELEASE = re.compile(r"(\d+)\.(\d+)")


@dataclass
class Stanza:
    fields: dict[str, str]
    line: int  # the line of its first field
    lines: dict[str, int]  # the line of each field


def stanzas(path: str, text: str, format: str, separator: str) -> Iterator[Stanza]:
    """The paragraphs of a ``Key<separator> value`` file, blank-line separated;
    a line starting with white space continues the field before it."""
    current: Stanza | None = None
    last = ""
    for line_no, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            if current is not None:
                yield current
            current = None
            continue
        if line[0] in " \t":
            if current is None or not last:
                fail(path, line_no, format, "a continuation line outside a field")
            continue  # continued values (descriptions, file lists) are not needed
        key, sep, value = line.partition(separator)
        if not sep or not key or " " in key:
            fail(path, line_no, format, f"expected 'Field{separator} value', found '{line[:60]}'")
        if current is None:
            current = Stanza({}, line_no, {})
        current.fields[key] = value.strip()
        current.lines[key] = line_no
        last = key
    if current is not None:
        yield current


def _require(path: str, format: str, stanza: Stanza, key: str, what: str) -> str:
    value = stanza.fields.get(key)
    if not value:
        fail(path, stanza.line, format, f"a package without {what}")
    return value


# --- dpkg ---------------------------------------------------------------------

def dpkg_ecosystem(versions: dict[str, str]) -> str:
    """The OSV ecosystem of a dpkg database, from base-files's version."""
    base = versions.get("base-files", "")
    ubuntu = "ubuntu" in base or any("ubuntu" in v for v in versions.values())
    if ubuntu:
        m = _UBUNTU_BASE_FILES.match(base)
        release = UBUNTU_BASE_FILES.get(m.group()) if m else None
        return f"Ubuntu:{release}" if release else "Ubuntu"
    m = _DEBIAN_BASE_FILES.fullmatch(base)
    return f"Debian:{m.group(1)}" if m else "Debian"


def read_dpkg(path: str, text: str) -> list[Package]:
    return _dpkg_packages(path, text, DPKG, status_required=True)


def read_dpkg_status_d(path: str, text: str) -> list[Package]:
    """One file of ``status.d``, as images without dpkg keep their
    database: a file per package, whose stanza may lack ``Status`` (only
    installed packages are written there)."""
    return _dpkg_packages(path, text, DPKG_STATUS_D, status_required=False)


def _dpkg_packages(path: str, text: str, format: str, status_required: bool) -> list[Package]:
    installed = []
    for stanza in stanzas(path, text, format, ":"):
        name = _require(path, format, stanza, "Package", "a Package field")
        status = stanza.fields.get("Status", "").split() or ([] if status_required else ["", "", "installed"])
        if len(status) != 3:
            fail(path, stanza.lines.get("Status", stanza.line), format, f"{name} has no valid Status field")
        if status[2] != "installed":
            continue
        version = _require(path, format, stanza, "Version", f"a Version field ({name})")
        installed.append((name, version, stanza))
    ecosystem = dpkg_ecosystem({name: version for name, version, _ in installed})
    seen: set[tuple[str, str]] = set()
    packages = []
    for name, version, stanza in installed:
        source = stanza.fields.get("Source")
        if source:
            m = _SOURCE.fullmatch(source)
            if m is None:
                fail(path, stanza.lines["Source"], format, f"invalid Source field '{source[:60]}'")
            name, version = m["name"], m["version"] or version
        if (name, version) not in seen:
            seen.add((name, version))
            packages.append(Package(ecosystem, name, version, path, stanza.lines["Package"]))
    return packages


# --- apk ----------------------------------------------------------------------

def apk_ecosystem(versions: dict[str, str]) -> str:
    """The OSV ecosystem of an apk database: the release is the version of
    alpine-release, or of alpine-base in releases before alpine-release."""
    m = _ALPINE_RELEASE.match(versions.get("alpine-release") or versions.get("alpine-base") or "")
    return f"Alpine:v{m.group(1)}.{m.group(2)}" if m else "Alpine"


def read_apk(path: str, text: str) -> list[Package]:
    installed = []
    for stanza in stanzas(path, text, APK, ":"):
        name = _require(path, APK, stanza, "P", "a P: (name) line")
        version = _require(path, APK, stanza, "V", f"a V: (version) line ({name})")
        installed.append((name, version, stanza))
    ecosystem = apk_ecosystem({name: version for name, version, _ in installed})
    seen: set[tuple[str, str]] = set()
    packages = []
    for name, version, stanza in installed:
        origin = stanza.fields.get("o") or name
        if (origin, version) not in seen:
            seen.add((origin, version))
            packages.append(Package(ecosystem, origin, version, path, stanza.lines["P"]))
    return packages


READERS: tuple[Reader, ...] = (
    Reader(DPKG, ("status", "*__status"), read_dpkg),
    Reader(APK, ("installed", "*__installed"), read_apk),
)
