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
