"""Scans and version tables on a Dask cluster.

An optional part of quorlen: it needs ``dask`` (with ``dask.dataframe`` and
``pandas``) and ``dask.distributed``, which the rest of the package never
imports. Importing this package costs nothing; the names below load dask
when first used, and say clearly when it is missing.

    from quorlen.dask import connect, scan_paths
    with connect(workers=2) as client:
        result = scan_paths(["projects/"], db="osv.sqlite3", client=client)

The table helpers (``sort_by_version``, ``filter_satisfies``, ``add_compare``,
``findings``) take a ``dask.dataframe`` or a ``pandas`` frame and work partition
by partition with the library's own functions.
"""

from __future__ import annotations

import importlib
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from quorlen.dask.cluster import connect
    from quorlen.dask.frames import add_compare, filter_satisfies, findings, sort_by_version
    from quorlen.dask.index import IndexRef, prepare_index
    from quorlen.dask.scan import scan_paths

_EXPORTS: dict[str, str] = {
    "connect": "quorlen.dask.cluster",
    "add_compare": "quorlen.dask.frames",
    "filter_satisfies": "quorlen.dask.frames",
    "findings": "quorlen.dask.frames",
    "sort_by_version": "quorlen.dask.frames",
    "IndexRef": "quorlen.dask.index",
    "prepare_index": "quorlen.dask.index",
    "scan_paths": "quorlen.dask.scan",
}

__all__ = [
    "IndexRef", "add_compare", "connect", "filter_satisfies", "findings", "prepare_index", "scan_paths",
    "sort_by_version",
]


def __getattr__(name: str) -> Any:
    module = _EXPORTS.get(name)
    if module is None:
        raise AttributeError(f"module 'quorlen.dask' has no attribute '{name}'")
    return getattr(importlib.import_module(module), name)
