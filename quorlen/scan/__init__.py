"""Scan projects and SBOMs against an offline OSV advisory database.

The readers turn lockfiles, manifests and SBOMs into packages; the database
holds the advisories, indexed by ecosystem and package name; matching decides
which advisories affect each package and which version fixes them all.

    from quorlen.scan import Database, scan_paths
    with Database("osv.sqlite3", readonly=True) as db:
        result = scan_paths(["."], db=db)

The names below are loaded when first used, so that importing a submodule
(the command line's registration) costs nothing more.
"""

from __future__ import annotations

import importlib
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from quorlen.scan.database import Database, DatabaseError
    from quorlen.scan.fixes import Fix
    from quorlen.scan.ignore import ConfigError, Ignore
    from quorlen.scan.model import LockfileError, Package
    from quorlen.scan.scan import FileError, Finding, IgnoredFinding, ScanResult, Unchecked, scan_paths
    from quorlen.scan.severity import Severity

_EXPORTS: dict[str, str] = {
    "Database": "quorlen.scan.database",
    "DatabaseError": "quorlen.scan.database",
    "Fix": "quorlen.scan.fixes",
    "ConfigError": "quorlen.scan.ignore",
    "Ignore": "quorlen.scan.ignore",
    "LockfileError": "quorlen.scan.model",
    "Package": "quorlen.scan.model",
    "FileError": "quorlen.scan.scan",
    "Finding": "quorlen.scan.scan",
    "IgnoredFinding": "quorlen.scan.scan",
    "ScanResult": "quorlen.scan.scan",
    "Unchecked": "quorlen.scan.scan",
    "scan_paths": "quorlen.scan.scan",
    "Severity": "quorlen.scan.severity",
}

__all__ = [
    "ConfigError", "Database", "DatabaseError", "FileError", "Finding", "Fix", "Ignore", "IgnoredFinding",
    "LockfileError", "Package", "ScanResult", "Severity", "Unchecked", "scan_paths",
]


def __getattr__(name: str) -> Any:
    module = _EXPORTS.get(name)
    if module is None:
        raise AttributeError(f"module 'quorlen.scan' has no attribute '{name}'")
    return getattr(importlib.import_module(module), name)
