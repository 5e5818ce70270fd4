"""The table helpers on a cluster equal the same operations done in plain
Python on the same rows (real versions of the shared lockfiles)."""

from __future__ import annotations

import functools
import random

import dask.dataframe as dd
import pandas as pd
import pytest
from conftest import LOCKFILES, need_shared

import quorlen
from quorlen.dask import add_compare, filter_satisfies, findings, sort_by_version
from quorlen.scan import ecosystems, readers, units
from quorlen.scan.database import Database
from quorlen.scan.model import Package


# The most versions of one ecosystem a table holds (thrice over).
MOST = 1200


@functools.lru_cache(maxsize=1)
def _shared_packages():
    return tuple(p for f in readers.find_inputs(str(LOCKFILES)) for p in readers.read_file(f))


def real_versions(library):
    """Every pinned version of the shared lockfiles that the ecosystem reads."""
    need_shared()
    found = [p.version for p in _shared_packages()
             if p.version and ecosystems.library_ecosystem(p.ecosystem) == library]
    found = [v for v in found if quorlen.Version.try_parse(v, library) is not None]
    # A fixed sample of the largest sets keeps the cluster's work short.
    return random.Random(3).sample(found, MOST) if len(found) > MOST else found


def table(library, partitions=5, seed=7):
    """The real versions thrice over (repeats test stability) in a shuffled
    order, numbered, as a dask frame and as plain rows."""
    versions = real_versions(library) * 3
    random.Random(seed).shuffle(versions)
    frame = pd.DataFrame({"v": versions, "n": range(len(versions))}, index=[i * 3 + 1 for i in range(len(versions))])
    return dd.from_pandas(frame, npartitions=partitions, sort=False), frame


# (library ecosystem, a range, a version) per ecosystem with real versions.
CASES = [
    ("npm", ">=1.2.0 <4.0.0", "2.0.0"),
    ("pep440", ">=1.0,<2.0", "1.0"),
    ("maven", "[1.0,3.0)", "2.0"),
    ("debian", ">=1.0", "2.0-1"),
    ("crates", ">=0.4.0, <1.0.0", "0.9.0"),
    ("semver", ">=0.5.0", "1.0.0"),
]


def rows(result):
    return list(zip(result.index, result["n"]))


@pytest.mark.parametrize("library, range_, version", CASES, ids=[c[0] for c in CASES])
def test_sort_is_the_stable_global_sort(client, library, range_, version):
    ddf, frame = table(library)
    want = sorted(zip(frame.index, frame["n"], frame["v"]), key=lambda r: quorlen.Version(r[2], library))
    want = [(i, n) for i, n, _ in want]
    got = sort_by_version(ddf, "v", library, scheduler=client).compute(scheduler=client)
    assert rows(got) == want and len(want) > 100
    # Each partition holds a run of the order, not only a sorted piece.
    parts = [p for p in sort_by_version(ddf, "v", library, npartitions=4, scheduler=client).to_delayed()]
    assert sum(len(p.compute(scheduler=client)) > 0 for p in parts) >= 2
    assert rows(sort_by_version(frame, "v", library)) == want


@pytest.mark.parametrize("library, range_, version", CASES, ids=[c[0] for c in CASES])
def test_filter_keeps_the_rows_whose_version_satisfies_the_range(client, library, range_, version):
    ddf, frame = table(library)
    want = [(i, n) for i, n, v in zip(frame.index, frame["n"], frame["v"]) if quorlen.satisfies(v, range_, library)]
    got = filter_satisfies(ddf, "v", range_, library).compute(scheduler=client)
    assert rows(got) == want and 0 < len(want) < len(frame)


@pytest.mark.parametrize("library, range_, version", CASES, ids=[c[0] for c in CASES])
def test_compare_column(client, library, range_, version):
    ddf, frame = table(library)
    got = add_compare(ddf, "v", library, version=version).compute(scheduler=client)
    assert got["compare"].tolist() == [quorlen.compare(v, version, library) for v in frame["v"]]
    assert set(got["compare"]) == {-1, 0, 1} or set(got["compare"]) == {-1, 1}
    pairs = ddf.assign(w=ddf["v"].map_partitions(lambda s: s.iloc[::-1].values, meta=("w", "object")))
    want_pairs = pairs.compute(scheduler=client)
    got = add_compare(pairs, "v", library, other="w", name="c").compute(scheduler=client)
    assert got["c"].tolist() == [quorlen.compare(a, b, library) for a, b in zip(want_pairs["v"], want_pairs["w"])]


@pytest.mark.parametrize("helper", [
    lambda f: sort_by_version(f, "v", "pep440", scheduler="sync"),
    lambda f: filter_satisfies(f, "v", ">=1.0", "pep440"),
    lambda f: add_compare(f, "v", "pep440", version="1.0"),
], ids=["sort", "filter", "compare"])
def test_a_version_the_ecosystem_cannot_read_is_named(client, helper):
    frame = pd.DataFrame({"v": ["1.0", "2.0", "not!a!version", "3.0"], "n": range(4)})
    with pytest.raises(ValueError, match="'not!a!version' is not a pep440 version"):
        helper(dd.from_pandas(frame, npartitions=2)).compute(scheduler=client)
    with pytest.raises(ValueError, match="'not!a!version' is not a pep440 version"):
        helper(frame)


def test_findings_join_rows_with_the_index(client, shared_index):
    packages = [p for p in _shared_packages() if p.source == "registry"]
    frame = pd.DataFrame({"ecosystem": [p.ecosystem for p in packages], "package": [p.name for p in packages],
                          "version": [p.version for p in packages]}, index=range(100, 100 + len(packages)))
    # The same rows as packages, without the lockfiles' declared ranges the table does not hold.
    same = [Package(p.ecosystem, p.name, p.version, "", 0) for p in packages]
    with Database(shared_index, readonly=True) as db:
        checked = units.check_group(same, db, {})
    want_found = sorted((i, f.id, f.fix.version) for i, c in zip(frame.index, checked) for f in c.findings)
    want_unchecked = sorted((i, u.reason) for i, c in zip(frame.index, checked) for u in c.unchecked)
    got = findings(dd.from_pandas(frame, npartitions=4, sort=False), shared_index).compute(scheduler=client)
    found = got[got["unchecked"].isna()]
    assert sorted(zip(found.index, found["id"], found["fix"].where(found["fix"].notna(), None))) == want_found
    unchecked = got[got["unchecked"].notna()]
    assert sorted(zip(unchecked.index, unchecked["unchecked"])) == want_unchecked
    assert want_found and want_unchecked
    # The row's own columns come along.
    first = found.iloc[0]
    assert (frame.loc[found.index[0], "package"], frame.loc[found.index[0], "version"]) == \
        (first["package"], first["version"])
