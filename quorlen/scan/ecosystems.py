"""OSV ecosystem names: their release suffixes, the library ecosystem whose
ordering applies, and each ecosystem's rule for package names. Those tables
live with the OSV functions of the package and this module only reads them;
the one table kept here is the SBOM readers' own, from package URLs to OSV
ecosystems."""

from __future__ import annotations

import re

from quorlen import osvscan

# Package URL types and the OSV ecosystem of their packages, where it does
# not depend on the namespace (purl's type list against OSV's ecosystem list).
PURL_ECOSYSTEMS: dict[str, str] = {
    "pypi": "PyPI",
    "npm": "npm",
    "golang": "Go",
    "maven": "Maven",
    "cargo": "crates.io",
    "gem": "RubyGems",
    "composer": "Packagist",
    "pub": "Pub",
    "hex": "Hex",
    "nuget": "NuGet",
    "conan": "ConanCenter",
    "cran": "CRAN",
    "hackage": "Hackage",
    "swift": "SwiftURL",
    "githubactions": "GitHub Actions",
}

# Package URL types whose namespace names the distribution, and the OSV
# ecosystem of each distribution OSV has advisories for.
PURL_DISTRIBUTIONS: dict[str, dict[str, str]] = {
    "deb": {"debian": "Debian", "ubuntu": "Ubuntu"},
    "apk": {"alpine": "Alpine", "wolfi": "Wolfi", "chainguard": "Chainguard"},
    "rpm": {
        "redhat": "Red Hat", "rocky": "Rocky Linux", "almalinux": "AlmaLinux", "opensuse": "openSUSE",
        "suse": "SUSE", "mageia": "Mageia", "openeuler": "openEuler", "photon": "Photon OS",
        "azurelinux": "Azure Linux",
    },
}

# Release code names that a "distro" qualifier may give instead of a number.
RELEASE_NAMES: dict[str, str] = {
    "jessie": "8", "stretch": "9", "buster": "10", "bullseye": "11", "bookworm": "12", "trixie": "13",
    "bionic": "18.04", "focal": "20.04", "jammy": "22.04", "noble": "24.04",
}

# How OSV writes the release of each distribution after the ":"; Debian
# names major releases only.
_RELEASE_FORMS = {
    "Debian": re.compile(r"(\d+)"),
    "Ubuntu": re.compile(r"(\d+\.\d+)"),
    "Alpine": re.compile(r"v?(\d+\.\d+)"),
}
_RELEASE_PREFIXES = {"Alpine": "v"}


def purl_ecosystem(purl_type: str, namespace: str | None, distro: str | None = None) -> str | None:
    """The OSV ecosystem of a package URL's type and namespace, with the
    release from its ``distro`` qualifier (``debian-12``, ``bookworm``,
    ``alpine-3.14.2``) where OSV names releases; None when OSV has no
    ecosystem for it."""
    purl_type = purl_type.lower()
    if purl_type not in PURL_DISTRIBUTIONS:
        return PURL_ECOSYSTEMS.get(purl_type)
    ecosystem = PURL_DISTRIBUTIONS[purl_type].get((namespace or "").lower())
    if ecosystem is None or not distro:
        return ecosystem
    release = distro.lower().rsplit("-", 1)[-1]
    release = RELEASE_NAMES.get(release, release)
    form = _RELEASE_FORMS.get(ecosystem)
    found = form.match(release) if form else None
    return f"{ecosystem}:{_RELEASE_PREFIXES.get(ecosystem, '')}{found.group(1)}" if found else ecosystem


def purl_name(purl_type: str, namespace: str | None, name: str) -> str:
    """The package name as OSV writes it: the namespace joined on where it
    is part of the name (Maven ``group:artifact``, npm scopes, Go paths)."""
    joiner = osvscan.PURL_NAME_JOINERS.get(purl_type.lower())
    return f"{namespace}{joiner}{name}" if namespace and joiner else name


def base(osv_ecosystem: str) -> str:
    """The OSV ecosystem without its release suffix: ``Debian:12`` -> ``Debian``."""
    return osv_ecosystem.split(":", 1)[0]


def suffix(osv_ecosystem: str) -> str:
    """The release suffix of an OSV ecosystem, or "": ``Alpine:v3.18`` -> ``v3.18``."""
    return osv_ecosystem.partition(":")[2]


def library_ecosystem(osv_ecosystem: str) -> str | None:
    """The library ecosystem whose ordering applies to an OSV ecosystem's
    versions, or None for an ecosystem the library has no ordering for."""
    return osvscan.osv_ecosystem(osv_ecosystem)


def normalize_name(osv_ecosystem: str, name: str) -> str:
    """The package name as the ecosystem compares names: PyPI by PEP 503,
    Packagist and NuGet without case; the others as written."""
    return osvscan.normalise_name(library_ecosystem(osv_ecosystem) or "", name)


def _release(suffix_text: str) -> str:
    # Ubuntu writes "Pro:18.04:LTS" and "20.04:LTS", Alpine "v3.18": the
    # release is the token that starts with a number.
    tokens = [t.strip().lower() for t in suffix_text.split(":") if t.strip()]
    for token in tokens:
        bare = token[1:] if token[:1] == "v" and token[1:2].isdigit() else token
        if bare[:1].isdigit():
            return bare
    return ":".join(tokens)


def _same_release(a: str, b: str) -> bool:
    # "3.14" names the release that "3.14.0" is a point of.
    short, long = sorted((a, b), key=len)
    return long == short or long.startswith(short + ".")


def release_matches(entry_ecosystem: str, package_ecosystem: str) -> bool:
    """Whether an advisory entry's ecosystem covers a package's ecosystem,
    both OSV names with optional release suffixes. The bases must be equal
    (case ignored). An entry without a release covers every release; a
    package whose release the input does not tell is covered by entries of
    every release, so that nothing is missed for want of it."""
    if base(entry_ecosystem).strip().casefold() != base(package_ecosystem).strip().casefold():
        return False
    wanted, given = suffix(entry_ecosystem), suffix(package_ecosystem)
    if not wanted or not given:
        return True
    return _same_release(_release(wanted), _release(given))


# os-release ids of the distributions whose releases OSV names, and how.
_OS_RELEASE_ECOSYSTEMS = {
    "debian": ("Debian", re.compile(r"(\d+)")),
    "ubuntu": ("Ubuntu", re.compile(r"(\d+\.\d+)")),
    "alpine": ("Alpine", re.compile(r"(\d+\.\d+)")),
    "almalinux": ("AlmaLinux", re.compile(r"(\d+)")),
    "rocky": ("Rocky Linux", re.compile(r"(\d+)")),
    "rhel": ("Red Hat", re.compile(r"(\d+)")),
}


def os_release_ecosystem(os_id: str, version_id: str | None, codename: str | None = None,
                         id_like: str = "") -> str | None:
    """The OSV ecosystem of an os-release's ID and VERSION_ID (or code name):
    ("debian", "12") -> "Debian:12", ("alpine", "3.18.4") -> "Alpine:v3.18";
    None for a distribution OSV has no ecosystem for."""
    known = _OS_RELEASE_ECOSYSTEMS.get(os_id.lower())
    if known is None:
        return None
    ecosystem, form = known
    release: str = version_id if version_id else RELEASE_NAMES.get((codename or "").lower(), "")
    found = form.match(release)
    if found is None:
        return ecosystem
    return f"{ecosystem}:{_RELEASE_PREFIXES.get(ecosystem, '')}{found.group(1)}"
