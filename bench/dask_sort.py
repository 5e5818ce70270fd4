"""A table of made-up PEP 440 versions sorted by ``quorlen.dask.sort_by_version``
on a local cluster of two worker processes, against pandas ``sort_values``
with a ``key`` of ``Version`` objects in one process.

The table is generated on the workers, partition by partition (the same rows
for pandas, built in this process); the helper's time runs from the
sample of boundaries to every sorted partition held in the workers' memory,
the pandas time is the sort alone. The helper's result is checked: the row
count, each partition in order, and each partition below the next.

  python bench/dask_sort.py [--rows N] [--partitions P] [--pandas-rows N]
"""
import argparse
import time

import numpy as np
import pandas as pd

SUFFIXES = np.array(["", "", "", ".post1", "rc1", "a2", "b1", ".dev3", "+local.7", ".0"])


def make_rows(seed, count):
    rng = np.random.default_rng(seed)
    major = pd.Series(rng.integers(0, 40, count)).astype(str)
    minor = pd.Series(rng.integers(0, 200, count)).astype(str)
    patch = pd.Series(rng.integers(0, 1000, count)).astype(str)
    suffix = pd.Series(SUFFIXES[rng.integers(0, len(SUFFIXES), count)])
    return pd.DataFrame({"v": major + "." + minor + "." + patch + suffix, "n": np.arange(count, dtype=np.int64)})


def sizes(rows, parts):
    return [rows // parts + (1 if i < rows % parts else 0) for i in range(parts)]


def bench_helper(rows, parts):
    import dask.dataframe as dd
    from dask import delayed
    from distributed import as_completed, futures_of

    import quorlen
    from quorlen.dask import connect, sort_by_version

    def held(collection):
        for _ in as_completed(futures_of(collection), loop=client.loop):
            pass

    with connect(workers=2) as client:
        client.wait_for_workers(2)
        meta = make_rows(0, 0)
        frame = dd.from_delayed([delayed(make_rows)(i, n) for i, n in enumerate(sizes(rows, parts))], meta=meta)
        frame = client.persist(frame)
        held(frame)
        start = time.perf_counter()
        result = client.persist(sort_by_version(frame, "v", "pep440"))
        held(result)
        seconds = time.perf_counter() - start

        def ends(df):
            ordered = all(quorlen.compare(a, b, "pep440") <= 0 for a, b in zip(df["v"], df["v"][1:]))
            return pd.DataFrame({"count": [len(df)], "first": [df["v"].iloc[0] if len(df) else None],
                                 "last": [df["v"].iloc[-1] if len(df) else None], "ordered": [ordered]})
        summary = result.map_partitions(ends, meta={"count": "i8", "first": "O", "last": "O", "ordered": "?"})
        summary = summary.compute(scheduler=client)
    full = summary[summary["count"] > 0]
    assert summary["count"].sum() == rows, "rows were lost"
    assert full["ordered"].all(), "a partition is out of order"
    assert all(quorlen.compare(a, b, "pep440") <= 0 for a, b in zip(full["last"], full["first"][1:])), \
        "a partition holds versions above the next one's"
    return seconds, summary["count"].tolist()


def bench_pandas(rows, parts):
    import quorlen
    frame = pd.concat([make_rows(i, n) for i, n in enumerate(sizes(rows, parts))], ignore_index=True)
    start = time.perf_counter()
    frame.sort_values("v", key=lambda s: s.map(lambda v: quorlen.Version(v, "pep440")), kind="stable")
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--partitions", type=int, default=40)
    parser.add_argument("--pandas-rows", type=int, help="rows of the pandas sort (default: --rows; 0: none)")
    args = parser.parse_args()
    seconds, counts = bench_helper(args.rows, args.partitions)
    print(f"sort_by_version, 2 workers: {args.rows:>11,} rows {seconds:8.2f} s  "
          f"{seconds / args.rows * 1e9:7.0f} ns/row  (largest partition {max(counts):,} rows)")
    pandas_rows = args.rows if args.pandas_rows is None else args.pandas_rows
    if pandas_rows:
        seconds = bench_pandas(pandas_rows, args.partitions)
        print(f"pandas sort_values(key=Version), 1 process: {pandas_rows:>11,} rows {seconds:8.2f} s  "
              f"{seconds / pandas_rows * 1e9:7.0f} ns/row")


if __name__ == "__main__":
    main()
