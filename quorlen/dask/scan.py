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
import pickle
import uuid
import zlib
import collections.abc as abc
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
GROUPS_PER_WORKER = 1
# Times a failed task is run again.
RETRIES = 2

Input = tuple[str, "str | None"]


# Lists of many small objects travel as one pickle of our own: dask would
# serialise them item by item, which costs many times the scan itself.
def _pack(value: Any) -> bytes:
    return pickle.dumps(value, protocol=pickle.HIGHEST_PROTOCOL)


def _read_batch(items: abc.Sequence[Input], shares: int) -> tuple[bytes, int, list[bytes]]:
    """The inputs read (packed), their number of packages, and their packages
    cut into the checks' shares (packed), each with its place in the batch."""
    read = [units.read_input(path, forced) for path, forced in items]
    cut: list[list[tuple[int, Package]]] = [[] for _ in range(shares)]
    for i, p in enumerate(p for one in read for p in one.packages):
        cut[_share_of(p, shares)].append((i, p))
    return _pack(read), sum(len(one.packages) for one in read), [_pack(c) for c in cut]


def _check(packages: bytes, ref: IndexRef, active: dict[str, ignore.Ignore]) -> bytes:
    return _pack(units.check_group(pickle.loads(packages), open_index(ref), active))


def _size(path: str) -> int:
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def batches(items: abc.Sequence[Input], count: int) -> list[list[Input]]:
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


def _outcomes(futures: abc.Sequence[distributed.Future]) -> list[tuple[bool, Any]]:
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


def _read_outcomes(client: distributed.Client, cut: abc.Sequence[abc.Sequence[Input]], futures: abc.Sequence[distributed.Future],
                   retries: int) -> tuple[list[units.InputResult], bool]:
    """The inputs the batch tasks read, in input order, and whether every
    batch came back whole; a failed batch is read again file by file."""
    results: list[units.InputResult] = []
    whole = True
    for batch, (ok, value) in zip(cut, _outcomes(futures)):
        if ok:
            results.extend(pickle.loads(value[0]))
            continue
        whole = False
        if len(batch) == 1:
            results.append(units.failed_input(*batch[0], _why(value)))
            continue
        # One file of the batch may be the cause: each alone, so the others survive it.
        singles = client.map(_read_batch, [[item] for item in batch], [1] * len(batch),
                             key=_keys("reread", len(batch)), retries=retries, pure=False)
        for item, (one_ok, one) in zip(batch, _outcomes(singles)):
            results.extend(pickle.loads(one[0]) if one_ok else [units.failed_input(*item, _why(one))])
    return results, whole


def _submit_reads(client: distributed.Client, items: abc.Sequence[Input], shares: int,
                  retries: int) -> tuple[list[list[Input]], list[distributed.Future]]:
    cut = batches(items, BATCHES_PER_WORKER * _worker_count(client))
    return cut, client.map(_read_batch, cut, [shares] * len(cut), key=_keys("read", len(cut)), retries=retries,
                           pure=False)


def read_inputs(client: distributed.Client, items: abc.Sequence[Input], *, retries: int = RETRIES) -> list[units.InputResult]:
    """Every input read on the workers, in input order; never one lost."""
    cut, futures = _submit_reads(client, items, 1, retries)
    return _read_outcomes(client, cut, futures, retries)[0]


def _share_of(package: Package, shares: int) -> int:
    # A hash that every process computes alike (str's hash is salted per process).
    return zlib.crc32("\0".join(units.group_key(package)).encode("utf-8", "surrogatepass")) % shares


def _check_share(share: int, ref: IndexRef, active: dict[str, ignore.Ignore],
                 *read: tuple[bytes, int, list[bytes]]) -> bytes:
    """The check of the packages of every name whose share this is, from the
    batches read: (their positions in the scan, what each added)."""
    mine: list[int] = []
    packages: list[Package] = []
    offset = 0
    for _, count, cut in read:
        for i, p in pickle.loads(cut[share]):
            mine.append(offset + i)
            packages.append(p)
        offset += count
    return _pack((mine, units.check_group(packages, open_index(ref), active)))


def check_packages(client: distributed.Client, packages: abc.Sequence[Package], ref: IndexRef,
                   active: dict[str, ignore.Ignore], *, retries: int = RETRIES) -> list[units.PackageResult]:
    """The check of every package on the workers, in the packages' order."""
    positions = units.groups(packages, GROUPS_PER_WORKER * _worker_count(client))
    shipped = [_pack([packages[i] for i in group]) for group in positions]
    futures = client.map(_check, shipped, key=_keys("check", len(positions)), ref=ref, active=active,
                         retries=retries, pure=False)
    checked: list[units.PackageResult | None] = [None] * len(packages)
    for group, (ok, value) in zip(positions, _outcomes(futures)):
        if not ok:
            raise value
        for i, one in zip(group, pickle.loads(value)):
            checked[i] = one
    if any(c is None for c in checked):
        raise RuntimeError("a group of packages came back incomplete")
    return [c for c in checked if c is not None]


def scan_paths(paths: abc.Sequence[str] | str, *, db: str | os.PathLike[str], client: distributed.Client,
               format: str | None = None, ignores: abc.Iterable[str | ignore.Ignore] = (),
               today: datetime.date | None = None, ship: bool | None = None, retries: int = RETRIES) -> ScanResult:
    """``quorlen.scan.scan_paths`` on the client's workers: the same result.

    ``db`` is the advisory index's path on the client; ``ship`` says whether
    its bytes go to the workers (see ``prepare_index``). The inputs' paths
    must be readable by the workers (a shared disk); one that is not is
    reported as that input's error.
    """
    planned = units.plan(paths, format=format, ignores=ignores, today=today)
    ref = prepare_index(client, db, ship=ship)
    # The checks start from the batches where they lie, without waiting for
    # the client: each takes the names of its share.
    shares = GROUPS_PER_WORKER * _worker_count(client)
    cut, reads = _submit_reads(client, planned.inputs, shares, retries)
    checks = [client.submit(_check_share, i, ref, planned.active, *reads, key=key, retries=retries, pure=False)
              for i, key in enumerate(_keys("check", shares))] if reads else []
    inputs, whole = _read_outcomes(client, cut, reads, retries)
    packages = units.packages_of(inputs)
    if not whole:
        # Some input was read apart from its batch: check from the client's copy.
        client.cancel(checks)
        checked = check_packages(client, packages, ref, planned.active, retries=retries) if packages else []
        return units.assemble(planned, inputs, checked)
    placed: list[units.PackageResult | None] = [None] * len(packages)
    for ok, value in _outcomes(checks):
        if not ok:
            raise value
        mine, results = pickle.loads(value)
        for i, one in zip(mine, results):
            placed[i] = one
    if any(c is None for c in placed):
        raise RuntimeError("the checks of the packages came back incomplete")
    return units.assemble(planned, inputs, [c for c in placed if c is not None])
