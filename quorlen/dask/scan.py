"""A scan spread over a cluster's workers, with exactly the result of a scan
in one process.

The inputs are read in batches of neighbouring files; the packages found are
then checked in groups that each hold every package of their (ecosystem,
name), so each worker looks a name up once. A task whose worker dies is run
again elsewhere (the scheduler's rule) and a task that fails is retried; a
batch of inputs that still fails is read again file by file, and a file that
fails on its own is reported as that file's error, as a local scan reports a
file it cannot read.
"""

from __future__ import annotations

# dask's functions carry no annotations; ours do.
# mypy: disallow-untyped-calls=False

from quorlen.dask import deps  # noqa: F401  (first: says clearly when dask is missing)

import datetime
import os
import uuid
from collections.abc import Iterable, Sequence
from typing import Any

import distributed

from quorlen.dask.index import IndexRef, open_index, prepare_index
from quorlen.scan import ignore, units
from quorlen.scan.model import Package
from quorlen.scan.scan import ScanResult

# Batches of inputs per worker: several, so that a slow batch does not hold
# the others up, few enough that the cost of a task stays small.
BATCHES_PER_WORKER = 4
# Groups of packages per worker to check.
GROUPS_PER_WORKER = 2
# Times a failed task is run again.
RETRIES = 2

Input = tuple[str, "str | None"]


def _read_batch(items: Sequence[Input]) -> list[units.InputResult]:
    return [units.read_input(path, forced) for path, forced in items]


def _check(packages: Sequence[Package], ref: IndexRef, active: dict[str, ignore.Ignore]) -> list[units.PackageResult]:
    return units.check_group(packages, open_index(ref), active)


def _size(path: str) -> int:
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def batches(items: Sequence[Input], count: int) -> list[list[Input]]:
    """Neighbouring inputs cut into at most ``count`` batches of about equal
    bytes (an input's size counts at least a page, so empty files cost)."""
    if not items:
        return []
    sizes = [max(_size(path), 4096) for path, _ in items]
    share = sum(sizes) / max(1, count)
    out: list[list[Input]] = [[]]
    filled = 0
    for item, size in zip(items, sizes):
        if out[-1] and filled >= share * len(out) and len(out) < count:
            out.append([])
        out[-1].append(item)
        filled += size
    return out


def _worker_count(client: distributed.Client) -> int:
    return max(1, len(client.scheduler_info().get("workers", {})))


def _keys(kind: str, count: int) -> list[str]:
    run = uuid.uuid4().hex[:12]
    return [f"quorlen-{kind}-{run}-{i}" for i in range(count)]


def _outcomes(futures: Sequence[distributed.Future]) -> list[tuple[bool, Any]]:
    """(succeeded, result or exception) of each future, in order."""
    out: list[tuple[bool, Any]] = []
    for f in futures:
        try:
            out.append((True, f.result()))
        except Exception as e:  # noqa: BLE001  (a task's failure is sorted out by the caller)
            out.append((False, e))
    return out


def _why(error: BaseException | None) -> str:
    if isinstance(error, distributed.KilledWorker):
        return "the worker reading it died each time it tried"
    return f"cannot be read on a worker ({type(error).__name__}: {error})"


def read_inputs(client: distributed.Client, items: Sequence[Input], *, retries: int = RETRIES) -> list[units.InputResult]:
    """Every input read on the workers, in input order; never one lost."""
    cut = batches(items, BATCHES_PER_WORKER * _worker_count(client))
    futures = client.map(_read_batch, cut, key=_keys("read", len(cut)), retries=retries, pure=False)
    results: list[units.InputResult] = []
    for batch, (ok, value) in zip(cut, _outcomes(futures)):
        if ok:
            results.extend(value)
            continue
        if len(batch) == 1:
            results.append(units.failed_input(*batch[0], _why(value)))
            continue
        # One file of the batch may be the cause: each alone, so the others survive it.
        singles = client.map(_read_batch, [[item] for item in batch], key=_keys("reread", len(batch)),
                             retries=retries, pure=False)
        for item, (one_ok, one) in zip(batch, _outcomes(singles)):
            results.extend(one if one_ok else [units.failed_input(*item, _why(one))])
    return results


def check_packages(client: distributed.Client, packages: Sequence[Package], ref: IndexRef,
                   active: dict[str, ignore.Ignore], *, retries: int = RETRIES) -> list[units.PackageResult]:
    """The check of every package on the workers, in the packages' order."""
    positions = units.groups(packages, GROUPS_PER_WORKER * _worker_count(client))
    futures = client.map(_check, [[packages[i] for i in group] for group in positions],
                         key=_keys("check", len(positions)), ref=ref, active=active, retries=retries, pure=False)
    checked: list[units.PackageResult | None] = [None] * len(packages)
    for group, (ok, value) in zip(positions, _outcomes(futures)):
        if not ok:
            raise value
        for i, one in zip(group, value):
            checked[i] = one
    if any(c is None for c in checked):
        raise RuntimeError("a group of packages came back incomplete")
    return [c for c in checked if c is not None]


def scan_paths(paths: Sequence[str] | str, *, db: str | os.PathLike[str], client: distributed.Client,
               format: str | None = None, ignores: Iterable[str | ignore.Ignore] = (),
               today: datetime.date | None = None, ship: bool | None = None, retries: int = RETRIES) -> ScanResult:
    """``quorlen.scan.scan_paths`` on the client's workers: the same result.

    ``db`` is the advisory index's path on the client; ``ship`` says whether
    its bytes go to the workers (see ``prepare_index``). The inputs' paths
    must be readable by the workers (a shared disk); one that is not is
    reported as that input's error.
    """
    planned = units.plan(paths, format=format, ignores=ignores, today=today)
    ref = prepare_index(client, db, ship=ship)
    inputs = read_inputs(client, planned.inputs, retries=retries)
    packages = units.packages_of(inputs)
    checked = check_packages(client, packages, ref, planned.active, retries=retries) if packages else []
    return units.assemble(planned, inputs, checked)
