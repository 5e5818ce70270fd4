"""A client for a scan: a cluster of local worker processes, or a running
scheduler."""

from __future__ import annotations

# dask's functions carry no annotations; ours do.
# mypy: disallow-untyped-calls=False

from quorlen.dask import deps  # noqa: F401  (first: says clearly when dask is missing)

import shutil
import tempfile

import distributed

# Local workers listen on the loopback interface only: a scan's cluster is
# nobody else's business.
LOCAL_HOST = "127.0.0.1"


def local_cluster(workers: int, local_directory: str | None = None) -> distributed.LocalCluster:
    """``workers`` worker processes of one thread each on 127.0.0.1, keeping
    their scratch files in ``local_directory`` (Dask's default when None)."""
    if workers < 1:
        raise ValueError(f"the number of workers must be at least 1, not {workers}")
    return distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, host=LOCAL_HOST,
                                    dashboard_address=None, silence_logs=50, local_directory=local_directory)


class connect:
    """A client of a new local cluster (``workers``) or of a running
    scheduler (``scheduler``, an address such as ``tcp://10.0.0.5:8786``);
    a context manager that closes what it opened."""

    def __init__(self, *, workers: int | None = None, scheduler: str | None = None, timeout: float = 30) -> None:
        if (workers is None) == (scheduler is None):
            raise ValueError("give either a number of local workers or a scheduler's address")
        self.cluster: distributed.LocalCluster | None = None
        self.scratch: str | None = None
        try:
            if scheduler is not None:
                self.client = distributed.Client(scheduler, timeout=timeout, set_as_default=False)
            else:
                assert workers is not None
                # A folder of the scan's own: Dask's shared default folder
                # holds what workers of other runs left, and Dask reports
                # each stale piece of it on standard error.
                self.scratch = tempfile.mkdtemp(prefix="quorlen-dask-")
                self.cluster = local_cluster(workers, self.scratch)
                self.client = distributed.Client(self.cluster, set_as_default=False)
        except OSError as e:
            self.close()
            raise ValueError(f"cannot reach the Dask scheduler at '{scheduler}': {e}") from None

    def __enter__(self) -> distributed.Client:
        return self.client

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        client = getattr(self, "client", None)
        if client is not None:
            client.close()
        if self.cluster is not None:
            self.cluster.close()
        if self.scratch is not None:
            shutil.rmtree(self.scratch, ignore_errors=True)
