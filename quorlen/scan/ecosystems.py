"""OSV ecosystem names: which package URLs and operating systems they stand
for, how each distribution writes its releases, the library ecosystem whose
ordering applies, and each ecosystem's rule for package names. Every table
of the scanner's about ecosystems is here, as data."""

from __future__ import annotations

import collections.abc as abc
import dataclasses
import functools
import re
import urllib.parse
from dataclasses import dataclass

from quorlen import _quorlen as q

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
    "bitnami": "Bitnami",
}

# Package URL types whose namespace names the distribution, and the OSV
# ecosystem of each distribution OSV has advisories for.
PURL_DISTRIBUTIONS: dict[str, dict[str, str]] = {
    "deb": {"debian": "Debian", "ubuntu": "Ubuntu"},
    "apk": {"alpine": "Alpine", "wolfi": "Wolfi", "chainguard": "Chainguard"},
    "rpm": {
        "redhat": "Red Hat", "rhel": "Red Hat", "rocky": "Rocky Linux", "rockylinux": "Rocky Linux",
        "almalinux": "AlmaLinux", "opensuse": "openSUSE", "suse": "SUSE", "sles": "SUSE", "mageia": "Mageia",
        "openeuler": "openEuler", "photon": "Photon OS", "azurelinux": "Azure Linux",
    },
}

# Package URL types whose namespace is part of the package's name in OSV,
# and the character that joins the two there.
PURL_NAME_JOINERS: dict[str, str] = {
    "maven": ":",
    "npm": "/",
    "golang": "/",
    "go": "/",
    "composer": "/",
    "swift": "/",
}

# Debian's and Ubuntu's release code names, every release, as OSV writes
# the release (Debian by major number from 4 on; Ubuntu year.month).
DEBIAN_RELEASES: dict[str, str] = {
    "buzz": "1.1", "rex": "1.2", "bo": "1.3", "hamm": "2.0", "slink": "2.1", "potato": "2.2", "woody": "3.0",
    "sarge": "3.1", "etch": "4", "lenny": "5", "squeeze": "6", "wheezy": "7", "jessie": "8", "stretch": "9",
    "buster": "10", "bullseye": "11", "bookworm": "12", "trixie": "13", "forky": "14", "duke": "15",
}
UBUNTU_RELEASES: dict[str, str] = {
    "warty": "4.10", "hoary": "5.04", "breezy": "5.10", "dapper": "6.06", "edgy": "6.10", "feisty": "7.04",
    "gutsy": "7.10", "hardy": "8.04", "intrepid": "8.10", "jaunty": "9.04", "karmic": "9.10", "lucid": "10.04",
    "maverick": "10.10", "natty": "11.04", "oneiric": "11.10", "precise": "12.04", "quantal": "12.10",
    "raring": "13.04", "saucy": "13.10", "trusty": "14.04", "utopic": "14.10", "vivid": "15.04", "wily": "15.10",
    "xenial": "16.04", "yakkety": "16.10", "zesty": "17.04", "artful": "17.10", "bionic": "18.04",
    "cosmic": "18.10", "disco": "19.04", "eoan": "19.10", "focal": "20.04", "groovy": "20.10",
    "hirsute": "21.04", "impish": "21.10", "jammy": "22.04", "kinetic": "22.10", "lunar": "23.04",
    "mantic": "23.10", "noble": "24.04", "oracular": "24.10", "plucky": "25.04", "questing": "25.10",
}


@dataclass(frozen=True)
class ReleaseForm:
    """How OSV writes one distribution's releases after the ":": ``parts``
    numbers kept (0: as given), a ``prefix`` before them, and the code names
    that stand for a release."""

    parts: int = 0
    prefix: str = ""
    names: abc.Mapping[str, str] = dataclasses.field(default_factory=dict)


# The OSV ecosystems whose advisories name releases ("AlmaLinux:9",
# "Alpine:v3.18", "Debian:12", "Ubuntu:22.04:LTS", "Red Hat:enterprise_linux:9::appstream",
# "SUSE:Linux Enterprise Server 15 SP5", "openSUSE:Leap 15.5", "openEuler:22.03-LTS-SP1",
# "Photon OS:5.0", "Mageia:9", "Azure Linux:3").
RELEASE_FORMS: dict[str, ReleaseForm] = {
    "Debian": ReleaseForm(1, "", DEBIAN_RELEASES),
    "Ubuntu": ReleaseForm(2, "", UBUNTU_RELEASES),
    "Alpine": ReleaseForm(2, "v"),
    "AlmaLinux": ReleaseForm(1),
    "Rocky Linux": ReleaseForm(1),
    "Mageia": ReleaseForm(1),
    "Red Hat": ReleaseForm(),
    "SUSE": ReleaseForm(),
    "openSUSE": ReleaseForm(),
    "openEuler": ReleaseForm(),
    "Photon OS": ReleaseForm(),
    "Azure Linux": ReleaseForm(),
}

# The distributions by case-folded name, as users may write them.
_RELEASE_BASES = {name.casefold(): name for name in RELEASE_FORMS}

# The ID of an /etc/os-release file, the OSV ecosystem of its packages, and
# the text OSV writes before the release number (openSUSE names the product).
OS_RELEASE_IDS: dict[str, tuple[str, str]] = {
    "debian": ("Debian", ""), "ubuntu": ("Ubuntu", ""), "alpine": ("Alpine", ""),
    "almalinux": ("AlmaLinux", ""), "rocky": ("Rocky Linux", ""), "rhel": ("Red Hat", ""),
    "sles": ("SUSE", ""), "sled": ("SUSE", ""), "sle-micro": ("SUSE", ""),
    "opensuse-leap": ("openSUSE", "Leap "), "opensuse-leap-micro": ("openSUSE", "Leap Micro "),
    "opensuse-tumbleweed": ("openSUSE", "Tumbleweed"), "mageia": ("Mageia", ""),
    "openeuler": ("openEuler", ""), "photon": ("Photon OS", ""), "azurelinux": ("Azure Linux", ""),
    "wolfi": ("Wolfi", ""), "chainguard": ("Chainguard", ""),
}

# Releases without a number, named by a word alone.
_WORD_RELEASES = frozenset({"Tumbleweed"})

# A release number wherever it stands in a name: "v3.18", "9.5", "15 SP5"
# (SUSE's service packs read as a minor number), "22.03-LTS-SP1".
_RELEASE_NUMBER = re.compile(r"(?<![a-z0-9])v?(\d+(?:\.\d+)*)(?:-lts)?(?:[ -]?sp(\d+))?(?![a-z0-9])")
# An rpm dist tag: "el9", "el9_5".
_EL_TAG = re.compile(r"(?<![a-z0-9])el(\d+)(?:_(\d+))?(?![a-z0-9])")

# The dist tags that an rpm's release field carries ("3.2.2-6.el9_5",
# "1.2-1.mga9", "2.0-1.ph5", "1.0-2.azl3"), per distribution: the release
# it was built for, where no distro qualifier tells it.
# Of "el9_5" the major release only: a package built for 9.5 stays on later 9.x systems.
_EL_MAJOR = re.compile(r"(?<![a-z0-9])el(\d+)()(?:_\d+)?(?![a-z0-9])")
_DIST_TAGS: dict[str, re.Pattern[str]] = {
    "AlmaLinux": _EL_MAJOR, "Rocky Linux": _EL_MAJOR, "Red Hat": _EL_MAJOR,
    "Mageia": re.compile(r"(?<![a-z0-9])mga(\d+)()(?![a-z0-9])"),
    "Photon OS": re.compile(r"(?<![a-z0-9])ph(\d+)()(?![a-z0-9])"),
    "Azure Linux": re.compile(r"(?<![a-z0-9])azl(\d+)()(?![a-z0-9])"),
}

# Release names are short; a longer text (from a hostile record or SBOM) is
# cut before the patterns search it, so that a search stays cheap.
_RELEASE_TEXT_MAX = 80


def _release_text(text: str) -> str:
    return text[:_RELEASE_TEXT_MAX].strip().lower()


def _release_number(pattern: re.Pattern[str], text: str) -> str | None:
    """The release number a pattern finds, a service pack as its minor number."""
    found = pattern.search(text)
    if found is None:
        return None
    return found.group(1) + (f".{found.group(2)}" if found.group(2) else "")


@functools.lru_cache(maxsize=4096)
def release_key(text: str) -> str:
    """A release as matching compares it: its number ("Pro:18.04:LTS" ->
    "18.04", "v3.18" -> "3.18", "Linux Enterprise Server 15 SP5" -> "15.5"),
    or the lower-case text of a release named by a word."""
    lowered = _release_text(text)
    return _release_number(_RELEASE_NUMBER, lowered) or lowered


def _formatted(ecosystem: str, number: str) -> str:
    """A release number as OSV writes it for the distribution."""
    form = RELEASE_FORMS[ecosystem]
    parts = number.split(".")
    kept = form.parts
    if ecosystem == "Debian" and int(parts[0]) < 4:
        kept = 2  # releases before 4.0 were numbered major.minor
    return form.prefix + ".".join(parts[:kept] if kept else parts)


def _named_release(ecosystem: str, text: str) -> str | None:
    """The release a text names for a distribution: a code name (alone or
    in "debian-bookworm"), an rpm dist tag ("el9"), or a number
    ("almalinux-9.5", "3.18.4", "sles-15-sp5"); None when it names none."""
    lowered = _release_text(text)
    names = RELEASE_FORMS[ecosystem].names
    for word in (lowered, *re.split(r"[-_/ ]+", lowered)):
        if word in names:
            return names[word]
    number = _release_number(_EL_TAG, lowered) or _release_number(_RELEASE_NUMBER, lowered)
    if number is not None:
        return _formatted(ecosystem, number)
    for word in _WORD_RELEASES:
        if word.lower() in lowered:
            return word
    return None


def has_releases(osv_ecosystem: str) -> bool:
    """Whether OSV's advisories of the ecosystem name releases."""
    return base(osv_ecosystem).strip().casefold() in _RELEASE_BASES


def with_release(osv_ecosystem: str, text: str | None) -> str:
    """The ecosystem with the release a text names (a purl ``distro``
    qualifier, an operating system's version); unchanged when the
    ecosystem has no releases, already names one, or the text names none."""
    if not text or suffix(osv_ecosystem) or not has_releases(osv_ecosystem):
        return osv_ecosystem
    release = _named_release(_RELEASE_BASES[base(osv_ecosystem).strip().casefold()], text)
    return f"{osv_ecosystem}:{release}" if release else osv_ecosystem


def purl_ecosystem(purl_type: str, namespace: str | None, distro: str | None = None,
                   version: str | None = None) -> str | None:
    """The OSV ecosystem of a package URL's type and namespace, with the
    release from its ``distro`` qualifier (``debian-12``, ``bookworm``,
    ``almalinux-9.5``, ``el9``, ``alpine-3.14.2``) where OSV names releases,
    else from the dist tag of an rpm's version (``3.2.2-6.el9_5``); None
    when OSV has no ecosystem for it."""
    purl_type = purl_type.lower()
    if purl_type not in PURL_DISTRIBUTIONS:
        return PURL_ECOSYSTEMS.get(purl_type)
    ecosystem = PURL_DISTRIBUTIONS[purl_type].get((namespace or "").lower())
    if ecosystem is None:
        return None
    ecosystem = with_release(ecosystem, distro)
    tag = _DIST_TAGS.get(ecosystem)  # still no release
    number = _release_number(tag, _dist_tag_text(version or "")) if tag and purl_type == "rpm" else None
    return f"{ecosystem}:{_formatted(ecosystem, number)}" if number else ecosystem


def _dist_tag_text(version: str) -> str:
    # The tag ends the release field: its last characters are enough.
    return version[-_RELEASE_TEXT_MAX:].lower()


def os_release_ecosystem(os_id: str, version_id: str | None, codename: str | None = None,
                         id_like: str = "") -> str | None:
    """The OSV ecosystem, with its release, of the packages of a system
    described by an os-release file's ID, VERSION_ID, VERSION_CODENAME and
    ID_LIKE: ``("debian", "12")`` -> ``"Debian:12"``, ``("alpine", "3.18.4")``
    -> ``"Alpine:v3.18"``. A system known only by ID_LIKE gets the ecosystem
    of the first it names with the release its code name gives, if any (its
    own numbers are not that distribution's). None when OSV has no
    ecosystem for the system."""
    known = OS_RELEASE_IDS.get(os_id.strip().lower())
    if known is None:
        like = next((OS_RELEASE_IDS[i] for i in id_like.lower().split() if i in OS_RELEASE_IDS), None)
        if like is None:
            return None
        ecosystem = like[0]
        release = _code_name_release(ecosystem, codename)
        return f"{ecosystem}:{release}" if release else ecosystem
    ecosystem, product = known
    if not has_releases(ecosystem):
        return ecosystem
    if product in _WORD_RELEASES:
        return f"{ecosystem}:{product}"
    number = _release_number(_RELEASE_NUMBER, _release_text(version_id or ""))
    if number is not None:
        return f"{ecosystem}:{product}{_formatted(ecosystem, number)}"
    release = _code_name_release(ecosystem, codename)
    return f"{ecosystem}:{release}" if release else ecosystem


def _code_name_release(ecosystem: str, codename: str | None) -> str | None:
    form = RELEASE_FORMS.get(ecosystem)
    return form.names.get((codename or "").strip().lower()) if form else None


def release_unknown(where: str, osv_ecosystem: str) -> str:
    """The warning for packages whose distribution release the input does not tell."""
    return (f"{where}: the {osv_ecosystem} release is not known; "
            f"advisories of every {osv_ecosystem} release are applied")


def purl_qualifiers(text: str | None) -> dict[str, str]:
    """A package URL's qualifiers ("epoch=1&distro=el9") by lower-case key."""
    pairs = (item.partition("=") for item in (text or "").split("&") if item)
    return {key.lower(): urllib.parse.unquote(value) for key, _, value in pairs}


def with_epoch(version: str | None, epoch: str | None) -> str | None:
    """A package URL's version with its ``epoch`` qualifier put in front
    ("1:3.5.5-4.el10"), as the ordering and the advisories write it; a
    version that already has an epoch, or an epoch 0, stays as it is."""
    if version is None or not epoch or not epoch.isdigit() or int(epoch) == 0 or ":" in version:
        return version
    return f"{int(epoch)}:{version}"


def purl_name(purl_type: str, namespace: str | None, name: str) -> str:
    """The package name as OSV writes it: the namespace joined on where it
    is part of the name (Maven ``group:artifact``, npm scopes, Go paths)."""
    joiner = PURL_NAME_JOINERS.get(purl_type.lower())
    return f"{namespace}{joiner}{name}" if namespace and joiner else name


def base(osv_ecosystem: str) -> str:
    """The OSV ecosystem without its release suffix: ``Debian:12`` -> ``Debian``."""
    return osv_ecosystem.split(":", 1)[0]


def suffix(osv_ecosystem: str) -> str:
    """The release suffix of an OSV ecosystem, or "": ``Alpine:v3.18`` -> ``v3.18``."""
    return osv_ecosystem.partition(":")[2]


@functools.lru_cache(maxsize=1024)
def osv_ordering(osv_ecosystem: str) -> str | None:
    """The library ecosystem of an OSV ecosystem name such as "Debian:11", or
    None for a name the library has no ordering for."""
    try:
        return q.osv_ecosystem(osv_ecosystem)
    except q.UnknownEcosystemError:
        return None


def library_ecosystem(osv_ecosystem: str) -> str | None:
    """The library ecosystem whose ordering applies to an OSV ecosystem's
    versions, or None for an ecosystem the library has no ordering for."""
    return osv_ordering(osv_ecosystem)


def _pep503_name(name: str) -> str:
    return re.sub(r"[-_.]+", "-", name).lower()


def _folded_name(name: str) -> str:
    return name.casefold()


# How package names are compared, per library ecosystem: PyPI names ignore
# case and treat runs of "-", "_" and "." alike; NuGet and Packagist ignore case.
NAME_NORMALISERS: dict[str, abc.Callable[[str], str]] = {
    "pep440": _pep503_name,
    "nuget": _folded_name,
    "composer": _folded_name,
}


def normalise_library_name(library: str, name: str) -> str:
    """The package name as a library ecosystem compares names."""
    rule = NAME_NORMALISERS.get(library)
    return rule(name) if rule else name


def normalize_name(osv_ecosystem: str, name: str) -> str:
    """The package name as the ecosystem compares names: PyPI by PEP 503,
    Packagist and NuGet without case; the others as written. A library
    ecosystem's name ("pep440") is taken as its ordering's rule."""
    library = library_ecosystem(osv_ecosystem) or osv_ecosystem.strip().lower()
    return normalise_library_name(library, name)


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
    return _same_release(release_key(wanted), release_key(given))
