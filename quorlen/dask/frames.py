"""Version tables: dask.dataframe (or pandas, for one partition) helpers
that run the library's own functions partition by partition.

Every helper takes a ``dask.dataframe.DataFrame`` and returns one (lazy), or
takes a ``pandas.DataFrame`` and returns one. A version that the ecosystem
cannot read is an error naming the value and the column.
"""

from __future__ import annotations

# dask's functions carry no annotations; ours do.
# mypy: disallow-untyped-calls=False

from quorlen.dask import deps  # noqa: F401  (first: says clearly when dask is missing)

import bisect
import os
import collections.abc as abc
from typing import Any, TypeVar, cast

import dask.dataframe.core as dask_core
import numpy as np
import pandas as pd  # type: ignore[import]
from dask.dataframe.shuffle import rearrange_by_column
from distributed import futures_of

import quorlen
from quorlen.dask.index import IndexRef, open_index, reference
from quorlen.scan import units
from quorlen.scan.model import Package

Frame = TypeVar("Frame", pd.DataFrame, dask_core.DataFrame)

# Versions taken from each partition to choose the sort's boundaries.
SAMPLE_PER_PARTITION = 1000
# Helper columns of the global sort: the target partition (dask's shuffle
# moves a row straight to the partition a column of this name gives, rather
# than by a hash), and each row's place in the input (the tie-break that
# keeps the sort stable).
_PART = "_partitions"
_PLACE = "__quorlen_place"
# A partition's number goes in the place's high bits, its row in the low ones.
_ROW_BITS = 40


def _versions(values: abc.Sequence[Any], column: str, ecosystem: str) -> list[quorlen.Version]:
    out = []
    for v in values:
        try:
            out.append(quorlen.Version(v, ecosystem))
        except (TypeError, ValueError) as e:
            raise ValueError(f"column '{column}': {v!r} is not a {ecosystem} version ({e})") from None
    return out


def _order(versions: abc.Sequence[quorlen.Version], ecosystem: str) -> list[int]:
    """Positions of the versions in ascending order, equal ones as they came."""
    where = {id(v): i for i, v in enumerate(versions)}
    return [where[id(v)] for v in quorlen.sort_versions(list(versions), ecosystem)]


def _pandas_sort(df: pd.DataFrame, column: str, ecosystem: str) -> pd.DataFrame:
    return df.iloc[_order(_versions(df[column].tolist(), column, ecosystem), ecosystem)]


# ---------------------------------------------------------------- sort

def _sample(series: pd.Series, count: int) -> pd.Series:
    if len(series) <= count:
        return series
    return series.iloc[np.linspace(0, len(series) - 1, count).astype(np.int64)]


def _scheduler(frame: dask_core.DataFrame, scheduler: Any) -> Any:
    """Where to compute the sample: the scheduler named, else the cluster that
    holds the frame's persisted partitions, else dask's default."""
    if scheduler is not None:
        return scheduler
    held = futures_of(frame)
    return held[0].client if held else None


def boundaries(frame: dask_core.DataFrame, column: str, ecosystem: str, parts: int,
               per_partition: int = SAMPLE_PER_PARTITION, *, scheduler: Any = None) -> list[str]:
    """``parts - 1`` versions that cut a sample of the column, sorted by the
    ecosystem, into ``parts`` runs of about equal size (repeated versions
    give fewer cuts)."""
    sample = frame[column].map_partitions(_sample, per_partition, meta=(column, "object"))
    sample = sample.compute(scheduler=_scheduler(frame, scheduler)).tolist()
    ordered = [sample[i] for i in _order(_versions(sample, column, ecosystem), ecosystem)]
    cuts: list[str] = []
    for k in range(1, parts):
        v = ordered[k * len(ordered) // parts] if ordered else None
        if v is not None and (not cuts or quorlen.compare(cuts[-1], v, ecosystem) < 0):
            cuts.append(v)
    return cuts


def _assign_parts(df: pd.DataFrame, column: str, ecosystem: str, cuts: abc.Sequence[str],
                  partition_info: dict[str, Any] | None = None) -> pd.DataFrame:
    bounds = _versions(cuts, "boundaries", ecosystem)
    number = partition_info["number"] if partition_info else 0
    parts = [bisect.bisect_right(bounds, v) for v in _versions(df[column].tolist(), column, ecosystem)]
    return df.assign(**{_PART: np.asarray(parts, dtype=np.int64),
                        _PLACE: (number << _ROW_BITS) + np.arange(len(df), dtype=np.int64)})


def _sort_part(df: pd.DataFrame, column: str, ecosystem: str) -> pd.DataFrame:
    df = df.iloc[np.argsort(df[_PLACE].to_numpy(), kind="stable")]
    return _pandas_sort(df, column, ecosystem).drop(columns=[_PART, _PLACE])


def sort_by_version(frame: Frame, column: str, ecosystem: str, *, npartitions: int | None = None,
                    scheduler: Any = None) -> Frame:
    """The rows in ascending order of ``column`` read as ``ecosystem``
    versions: a global, stable sort (rows of equal versions keep their order).

    A dask frame is cut at boundaries chosen from a sample by the library's
    ordering, its rows moved to the partition of their range, and each
    partition sorted: partition i holds only versions below those of
    partition i + 1. The index goes along with the rows. The sample is
    computed at once, on ``scheduler`` (a distributed client, say) when
    given, else on the cluster that holds the frame, else dask's default.
    """
    if isinstance(frame, pd.DataFrame):
        return cast(Frame, _pandas_sort(frame, column, ecosystem))
    taken = {_PART, _PLACE} & set(frame.columns)
    if taken:
        raise ValueError(f"the frame has columns the sort needs for itself: {', '.join(sorted(taken))}")
    parts = npartitions or frame.npartitions
    cuts = boundaries(frame, column, ecosystem, parts, scheduler=scheduler)
    meta = frame._meta.assign(**{_PART: np.array([], dtype=np.int64), _PLACE: np.array([], dtype=np.int64)})
    marked = frame.map_partitions(_assign_parts, column, ecosystem, cuts, meta=meta)
    moved = rearrange_by_column(marked, _PART, npartitions=len(cuts) + 1, shuffle="tasks")
    return cast(Frame, moved.map_partitions(_sort_part, column, ecosystem, meta=frame._meta))


# ---------------------------------------------------------------- filter, compare

def _each(frame: Frame, fn: abc.Callable[..., pd.DataFrame], *args: Any, meta: pd.DataFrame) -> Frame:
    if isinstance(frame, pd.DataFrame):
        return cast(Frame, fn(frame, *args))
    return cast(Frame, frame.map_partitions(fn, *args, meta=meta))


def _filter(df: pd.DataFrame, column: str, range: str, ecosystem: str) -> pd.DataFrame:
    try:
        quorlen.ranges_intersect(range, range, ecosystem)
    except ValueError as e:
        raise ValueError(f"range {range!r} cannot be read as {ecosystem} ({e})") from None
    keep = [quorlen.satisfies(v.raw, range, ecosystem) for v in _versions(df[column].tolist(), column, ecosystem)]
    return df[np.asarray(keep, dtype=bool)]


def filter_satisfies(frame: Frame, column: str, range: str, ecosystem: str) -> Frame:
    """The rows whose version in ``column`` satisfies ``range``."""
    meta = frame if isinstance(frame, pd.DataFrame) else frame._meta
    return _each(frame, _filter, column, range, ecosystem, meta=meta)


def _compare(df: pd.DataFrame, column: str, version: str | None, other: str | None, ecosystem: str,
             name: str) -> pd.DataFrame:
    left = _versions(df[column].tolist(), column, ecosystem)
    if other is not None:
        right = _versions(df[other].tolist(), other, ecosystem)
    else:
        assert version is not None
        right = _versions([version], "version", ecosystem) * len(left)
    result = quorlen.batch_compare(list(zip(left, right)), ecosystem)
    return df.assign(**{name: np.asarray(result, dtype=np.int8)})


def add_compare(frame: Frame, column: str, ecosystem: str, *, version: str | None = None, other: str | None = None,
                name: str = "compare") -> Frame:
    """A column ``name`` of ``compare(row's column, version)`` (-1, 0, 1), or
    of ``compare(row's column, row's other)`` when ``other`` names a column."""
    if (version is None) == (other is None):
        raise ValueError("give either a version to compare with or another column")
    if isinstance(frame, pd.DataFrame):
        return cast(Frame, _compare(frame, column, version, other, ecosystem, name))
    meta = frame._meta.assign(**{name: np.array([], dtype=np.int8)})
    return cast(Frame, frame.map_partitions(_compare, column, version, other, ecosystem, name, meta=meta))


# ---------------------------------------------------------------- findings

FINDING_COLUMNS: dict[str, str] = {
    "ecosystem": "object", "package": "object", "version": "object", "id": "object", "aliases": "object",
    "summary": "object", "severity": "object", "score": "float64", "affected": "object", "fixed": "object",
    "fix": "object", "unchecked": "object",
}


def _finding_rows(df: pd.DataFrame, ref: IndexRef, names: tuple[str, str, str]) -> pd.DataFrame:
    eco, pkg, ver = names
    packages = [Package(str(e), str(n), None if v is None or (isinstance(v, float) and np.isnan(v)) else str(v),
                        "", 0)
                for e, n, v in zip(df[eco].tolist(), df[pkg].tolist(), df[ver].tolist())]
    checked = units.check_group(packages, open_index(ref), {})
    rows: list[dict[str, Any]] = []
    index: list[Any] = []
    for label, p, c in zip(df.index, packages, checked):
        base = {"ecosystem": p.ecosystem, "package": p.name, "version": p.version}
        for f in c.findings:
            index.append(label)
            rows.append({**base, "id": f.id, "aliases": ",".join(f.ids[1:]), "summary": f.summary,
                         "severity": f.severity.rating if f.severity else None,
                         "score": f.severity.score if f.severity and f.severity.score is not None else np.nan,
                         "affected": f.affected, "fixed": ",".join(f.fixed), "fix": f.fix.version,
                         "unchecked": None})
        for u in c.unchecked:
            index.append(label)
            rows.append({**base, "id": None, "aliases": "", "summary": "", "severity": None, "score": np.nan,
                         "affected": "", "fixed": "", "fix": None, "unchecked": u.reason})
    out = pd.DataFrame(rows, columns=list(FINDING_COLUMNS), index=pd.Index(index, dtype=df.index.dtype))
    return out.astype(FINDING_COLUMNS)


def findings(frame: Frame, db: str | os.PathLike[str] | IndexRef, *, ecosystem: str = "ecosystem",
             package: str = "package", version: str = "version") -> Frame:
    """The findings of a table of (OSV ecosystem, package, version) rows
    against the advisory index: a row per vulnerability of a row (ids, the
    gravest severity, the affected and fixed versions, the fix), indexed
    like the row, and a row with the reason in ``unchecked`` for a row that
    cannot be checked (no version, an unknown ecosystem, a version the
    ecosystem cannot read), never dropped.

    ``db`` is the index's path, or the ``IndexRef`` that ``prepare_index``
    gives when the workers cannot see that path.
    """
    ref = db if isinstance(db, IndexRef) else reference(db)
    names = (ecosystem, package, version)
    meta_index = (frame if isinstance(frame, pd.DataFrame) else frame._meta).index[:0]
    meta = pd.DataFrame({c: pd.Series(dtype=t) for c, t in FINDING_COLUMNS.items()}, index=meta_index)
    return _each(frame, _finding_rows, ref, names, meta=meta)
