"""OSV ecosystem names: their release suffixes, the library ecosystem whose
ordering applies, and each ecosystem's rule for package names."""

from __future__ import annotations

import re

from quorlen.osvscan import OSV_ECOSYSTEMS


def base(osv_ecosystem: str) -> str:
    """The OSV ecosystem without its release suffix: ``Debian:12`` -> ``Debian``."""
    return osv_ecosystem.split(":", 1)[0]


def suffix(osv_ecosystem: str) -> str:
    """The release suffix of an OSV ecosystem, or "": ``Alpine:v3.18`` -> ``v3.18``."""
    return osv_ecosystem.partition(":")[2]


def library_ecosystem(osv_ecosystem: str) -> str | None:
    """The library ecosystem whose ordering applies to an OSV ecosystem's
    versions, or None for an ecosystem the library has no ordering for."""
    return OSV_ECOSYSTEMS.get(base(osv_ecosystem).lower())


_PEP503 = re.compile(r"[-_.]+")


def normalize_name(osv_ecosystem: str, name: str) -> str:
    """The package name as the ecosystem compares names: PyPI by PEP 503,
    Packagist and NuGet without case; the others as written."""
    eco = base(osv_ecosystem).lower()
    if eco == "pypi":
        return _PEP503.sub("-", name).lower()
    if eco in ("packagist", "nuget"):
        return name.lower()
    return name
