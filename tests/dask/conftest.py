"""Shared pieces of the cluster tests: the shared data, an index built from
it, and one cluster of two worker processes on 127.0.0.1 for the session."""

from __future__ import annotations

import os
import pathlib

import pytest

pytest.importorskip("distributed", reason="dask.distributed is not installed; quorlen.dask is optional")
pytest.importorskip("dask.dataframe", reason="dask.dataframe (with pandas) is not installed")

SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED")
                      or pathlib.Path(__file__).resolve().parents[2].parent / "shared") / "data"
LOCKFILES = SHARED / "lockfiles"


def need_shared() -> None:
    if not SHARED.is_dir():
        pytest.skip("the shared test data (../shared/data beside the repository) is not present")


@pytest.fixture(scope="session")
def shared_index(tmp_path_factory):
    """An index of every shared advisory record (the zips and osv-pypi)."""
    need_shared()
    from quorlen.scan.database import Database

    path = tmp_path_factory.mktemp("osvdb") / "osv.sqlite3"
    with Database(str(path)) as db:
        db.import_sources([str(p) for p in sorted((SHARED / "osv").glob("*.zip"))] + [str(SHARED / "osv-pypi")])
    return str(path)


@pytest.fixture(scope="session")
def client():
    """A client of two single-threaded worker processes on 127.0.0.1."""
    import distributed

    from quorlen.dask.cluster import local_cluster

    cluster = local_cluster(2)
    # What the tests rely on, stated rather than assumed from the helper.
    assert all(w.startswith("tcp://127.0.0.1:") for w in cluster.scheduler_info["workers"])
    c = distributed.Client(cluster, set_as_default=False)
    c.wait_for_workers(2)
    yield c
    c.close()
    cluster.close()
