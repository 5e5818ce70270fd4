"""OSV ecosystem names: their release suffixes, the library ecosystem whose
ordering applies, and each ecosystem's rule for package names. The tables
themselves live with the OSV functions of the package; this module only
reads them."""

from __future__ import annotations

from quorlen import osvscan


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
