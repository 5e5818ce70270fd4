"""The six functions over lists on long lists, whose parse, sort, compare and
select run without the interpreter lock: the answers and the first error of
item-by-item references built on compare and Version, on real version lists;
the same answers from many threads at once; no crash when another thread
changes the caller's list meanwhile."""
import functools
import os
import pathlib
import random
import subprocess
import sys
import textwrap
import threading

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen
from helpers import fresh, merge_sort
from quorlen import Version, compare

DATA = pathlib.Path(__file__).resolve().parent.parent / "bench" / "data"
SOURCES = {"generic": "generic", "semver": "semver", "pep440": "pep440", "debian": "debian", "rpm": "rpm",
           "npm": "npm-100k", "maven": "maven"}
TOTAL = ["semver", "pep440", "debian", "rpm", "npm"]  # orderings without cycles
SIZES = [1, 2, 200, 511, 512, 513, 2500]  # either side of a few hundred items


@functools.lru_cache(maxsize=None)
def real(eco):
    path = DATA / f"{SOURCES[eco]}.txt"
    if not path.exists():
        pytest.skip(f"no real version list at {path}")
    return tuple(line for line in path.read_text().splitlines() if line)


def sample(eco, n, seed=0):
    """n real versions drawn with repeats (ties occur), each a str of its own,
    every seventh a Version."""
    rng = random.Random(f"{eco}/{n}/{seed}")
    return [Version(t, eco) if i % 7 == 3 else fresh(t) for i, t in enumerate(rng.choices(real(eco), k=n))]


def pairs_of(items):
    other = list(items)
    random.Random(len(items)).shuffle(other)
    return list(zip(items, other))


# ---------------------------------------------------------------- references, one item at a time


def outcome(fn, *args):
    try:
        return ("ok", fn(*args))
    except (TypeError, ValueError) as e:
        return (type(e).__name__, str(e))


def item_error(x, eco):
    """The error an item raises on its own under the ecosystem, or None."""
    if not isinstance(x, (str, Version)):
        return ("TypeError", "expected Version or str")
    if isinstance(x, str):
        try:
            x.encode()
        except UnicodeEncodeError as e:
            return ("UnicodeEncodeError", str(e))
    got = outcome(compare, x, x, eco)
    return None if got[0] == "ok" else got


def generic_prerelease(x):
    return Version(x if isinstance(x, str) else x.raw, "generic").is_prerelease


def ref_sort(items, eco):
    err = next(filter(None, (item_error(x, eco) for x in items)), None)
    return err or ("ok", merge_sort(items, lambda a, b: compare(a, b, eco) < 0))


def ref_extreme(items, eco, highest):
    """The last of equal maxima, or the first of equal minima."""
    if not items:
        return ("ValueError", "empty sequence")
    err = next(filter(None, (item_error(x, eco) for x in items)), None)
    if err:
        return err
    kept = items[0]
    for x in items[1:]:
        if (compare(x, kept, eco) >= 0) if highest else (compare(kept, x, eco) > 0):
            kept = x
    return ("ok", kept)


def ref_stable(items, eco):
    """A pre-release is dropped before the ecosystem could refuse it, not
    before its type is checked."""
    kept = []
    for x in items:
        err = item_error(x, "generic") or (None if generic_prerelease(x) else item_error(x, eco))
        if err:
            return err
        if not generic_prerelease(x):
            kept.append(x)
    return ("ok", kept)


def ref_latest(items, eco):
    if not items:
        return ("ValueError", "empty sequence")
    kind, kept = ref_stable(items, eco)
    if kind == "ok" and not kept:
        return ("ValueError", "no stable versions found")
    return ref_extreme(kept, eco, True) if kind == "ok" else (kind, kept)


def pair_ecosystem(a, eco):
    """Under "auto" a pair's first element names the ecosystem: a Version its
    own, a str the one detected (which refuses it only if it refuses it)."""
    if eco != "auto" or item_error(a, "generic"):
        return eco, None
    if isinstance(a, Version):
        return a.ecosystem, None
    got = outcome(Version, a, "auto")
    return (got[1].ecosystem, None) if got[0] == "ok" else ("generic", got)


def ref_batch(pairs, eco):
    out = []
    for a, b in pairs:
        pair_eco, err = pair_ecosystem(a, eco)
        err = err or item_error(a, pair_eco) or item_error(b, pair_eco)
        if err:
            return err
        out.append(compare(a, b, pair_eco))
    return ("ok", out)


FUNCTIONS = {
    "sort_versions": (quorlen.sort_versions, ref_sort),
    "max_version": (quorlen.max_version, lambda xs, eco: ref_extreme(xs, eco, True)),
    "min_version": (quorlen.min_version, lambda xs, eco: ref_extreme(xs, eco, False)),
    "stable_versions": (quorlen.stable_versions, ref_stable),
    "latest_stable": (quorlen.latest_stable, ref_latest),
    "batch_compare": (lambda xs, eco: quorlen.batch_compare(pairs_of(xs), eco),
                      lambda xs, eco: ref_batch(pairs_of(xs), eco)),
}


def answer(name, result):
    """An outcome with the items it hands back named by identity: the
    functions return the caller's own objects."""
    kind, value = result
    if kind != "ok" or name == "batch_compare":
        return result
    return (kind, [id(x) for x in value] if isinstance(value, list) else id(value))


def check(name, items, eco, ref_eco=None):
    """The function's outcome is the reference's (under ref_eco if given)."""
    fn, ref = FUNCTIONS[name]
    got = answer(name, outcome(fn, items, eco))
    assert got == answer(name, ref(items, ref_eco or eco))
    return got


# ---------------------------------------------------------------- real data, short and long lists


@pytest.mark.parametrize("eco", list(SOURCES))
@pytest.mark.parametrize("n", SIZES)
@pytest.mark.parametrize("name", list(FUNCTIONS))
def test_real_lists_match_the_references(name, n, eco):
    check(name, sample(eco, n), eco)


@pytest.mark.parametrize("eco", TOTAL)
def test_under_a_total_order_the_extremes_are_the_ends_of_a_stable_sort(eco):
    items = sample(eco, 2500, seed=1)
    ordered = sorted(items, key=functools.cmp_to_key(lambda a, b: compare(a, b, eco)))
    assert [id(x) for x in quorlen.sort_versions(items, eco)] == [id(x) for x in ordered]
    assert quorlen.max_version(items, eco) is ordered[-1]
    assert quorlen.min_version(items, eco) is next(x for x in items if compare(x, ordered[0], eco) == 0)
    assert quorlen.latest_stable(items, eco) is [x for x in ordered if not generic_prerelease(x)][-1]


@pytest.mark.parametrize("n", [300, 2000])
def test_auto_on_long_mixed_lists(n):
    mixed = [x for eco in ("pep440", "debian", "semver") for x in sample(eco, n // 3)]
    random.Random(n).shuffle(mixed)
    for head in (mixed[0], Version(str(mixed[0]), "debian")):  # a str is detected, a Version says
        items = [head] + mixed[1:]
        eco = head.ecosystem if isinstance(head, Version) else quorlen.version(head).ecosystem
        for name in FUNCTIONS:
            if name != "batch_compare":  # the whole list takes the first item's ecosystem
                check(name, items, "auto", eco)
    check("batch_compare", mixed, "auto")  # each pair its own first element's
    for bad in ("1.0\ud800", 7, "no version!"):
        mixed[n // 2] = bad
        check("batch_compare", mixed, "auto")


# ---------------------------------------------------------------- which error wins, on long lists

# "refused" is stable to the generic parse, "refused pre" is a pre-release.
BAD = {"refused": "no version!", "refused pre": "no beta!", "foreign": 5, "none": None, "surrogate": "1.0\ud800",
       "bytes": b"1.0"}
ORDERS = [
    [(3, "refused"), (5, "foreign")], [(3, "foreign"), (5, "refused")],
    [(600, "refused"), (1700, "none")], [(600, "none"), (1700, "refused")],
    [(10, "surrogate"), (900, "refused")], [(10, "refused"), (900, "surrogate")],
    [(1999, "bytes")], [(1999, "refused")], [(4, "refused pre"), (8, "foreign")],
]


def with_bad(eco, bad, seed=0):
    items = sample(eco, 2000, seed)
    for index, kind in bad:
        items[index] = fresh(BAD[kind]) if isinstance(BAD[kind], str) else BAD[kind]
    return items


@pytest.mark.parametrize("eco", ["semver", "pep440", "maven"])
@pytest.mark.parametrize("bad", ORDERS)
@pytest.mark.parametrize("name", list(FUNCTIONS))
def test_the_first_bad_item_wins_on_long_lists(name, bad, eco):
    got = check(name, with_bad(eco, bad), eco)
    first = min(bad)[1]
    if first in ("foreign", "none", "bytes") and name != "batch_compare":
        assert got == ("TypeError", "expected Version or str")
    refused = item_error(BAD["refused"], eco) is not None
    if first == "refused" and refused and name in ("sort_versions", "max_version", "min_version"):
        assert got[0] == "ValueError"


@pytest.mark.parametrize("eco", ["semver", "pep440", "rpm"])
@pytest.mark.parametrize("bad", [  # (pair, element, kind): the first element of a pair comes first
    [(3, 0, "refused"), (5, 1, "foreign")], [(3, 1, "foreign"), (5, 0, "refused")],
    [(700, 0, "refused"), (700, 1, "foreign")], [(700, 0, "foreign"), (700, 1, "refused")],
    [(700, 1, "surrogate"), (700, 0, "refused")], [(700, 0, "surrogate"), (700, 1, "refused")],
    [(700, 1, "refused"), (701, 0, "none")], [(1500, 1, "bytes")],
])
def test_the_first_bad_element_wins_in_batch_compare(bad, eco):
    pairs = [list(p) for p in pairs_of(sample(eco, 2000))]
    for index, side, kind in bad:
        pairs[index][side] = BAD[kind]
    pairs = [tuple(p) for p in pairs]
    got = outcome(quorlen.batch_compare, pairs, eco)
    assert got == ref_batch(pairs, eco)
    assert got[0] != "ok"


class Text(str):
    pass


@st.composite
def long_lists(draw):
    """Real versions with a few items of every kind the reading of texts
    tells apart: Version, non-ASCII str, str subclass, and bad ones."""
    eco = draw(st.sampled_from(list(SOURCES)))
    n = draw(st.sampled_from([40, 600, 1200]))
    items = sample(eco, n, seed=draw(st.integers(0, 3)))
    good = st.sampled_from(real(eco))
    kinds = st.one_of(good.map(lambda t: Version(t, eco)), good.map(lambda t: t + "\u00e9"), good.map(Text),
                      st.sampled_from(list(BAD.values()) + ["2.0~rc1", "1.0-beta"]))
    for _ in range(draw(st.integers(0, 4))):
        items[draw(st.integers(0, n - 1))] = draw(kinds)
    return eco, items


@settings(max_examples=80, deadline=None)
@given(long_lists(), st.sampled_from(list(FUNCTIONS)))
def test_mixed_long_lists_match_the_references(case, name):
    check(name, case[1], case[0])


# Every rule of the generic pre-release flag: tags of every weight in any
# letter case, words longer than any tag, '~', a build part, an epoch, a 'v'
# prefix, blanks around.
FLAG_PIECES = ["1", "0", ".", "-", "+", "~", "^", "!", ":", " ", "\u00a0", "v", "V", "a", "B", "rc", "RC", "dev",
               "pre", "snapshot", "SNAPSHOT", "milestone", "milestones", "ga", "final", "post", "p", "x", "\u00e9"]


@settings(max_examples=300, deadline=None)
@given(st.lists(st.lists(st.sampled_from(FLAG_PIECES), max_size=7).map("".join), min_size=1, max_size=40),
       st.sampled_from([1, 20]))
def test_stable_means_no_generic_prerelease_flag(texts, copies):
    items = [fresh(t) for t in texts] * copies
    expected = [x for x in items if not Version(x, "generic").is_prerelease]
    assert [id(x) for x in quorlen.stable_versions(items)] == [id(x) for x in expected]


# Pieces at the edges of the packed sort keys: numbers about the largest a
# position holds, '~' and '^' before and after the end, letters of either
# case, runs of separators, epochs, a release.
KEY_PIECES = ["0", "1", "9", "01", "2047", "2048", "4095", "4096", ".", "..", "-", "+", "_", "~", "^", "a", "Z", "rc",
              "1:", "4096:", "\u00e9"]


@settings(max_examples=400, deadline=None)
@given(st.lists(st.lists(st.sampled_from(KEY_PIECES), min_size=1, max_size=6).map("".join), max_size=60),
       st.sampled_from(["debian", "rpm", "generic", "pep440", "semver"]))
def test_sort_keys_order_as_compare(texts, eco):
    items = [fresh(t) for t in texts]
    check("sort_versions", items, eco)
    check("max_version", items, eco)


# ---------------------------------------------------------------- many threads


def run_threads(jobs, rounds):
    """Every job in its own thread, all started together, `rounds` times
    each; each job's results."""
    results, errors, start = [[] for _ in jobs], [], threading.Barrier(len(jobs))

    def work(k):
        try:
            start.wait()
            results[k] += [jobs[k]() for _ in range(rounds)]
        except BaseException as e:  # noqa: BLE001 - handed to the test
            errors.append(e)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(jobs))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors
    return results


@pytest.mark.parametrize("lists", ["one list", "different lists"])
def test_threads_at_once_answer_as_one_thread(lists):
    if lists == "one list":
        cases = [("debian", sample("debian", 3000))] * 2
    else:
        cases = [(eco, sample(eco, 1500, seed=k)) for k, eco in enumerate(["generic", "pep440", "rpm", "npm", "maven"])]
        cases += [("semver", with_bad("semver", bad)) for bad in ORDERS[:4]]
    jobs = [functools.partial(lambda name, items, eco: answer(name, outcome(FUNCTIONS[name][0], items, eco)),
                              name, items, eco) for eco, items in cases for name in FUNCTIONS]
    alone = [check(name, items, eco) for eco, items in cases for name in FUNCTIONS]
    for k, results in enumerate(run_threads(jobs, rounds=2)):
        assert results == [alone[k]] * 2


@pytest.mark.parametrize("mutation", ["replace", "shrink", "replace pairs"])
def test_a_list_changed_by_another_thread_meanwhile(mutation):
    # The writer drops the only references to the items it replaces: reading
    # them once the call has let go of the lock would read freed memory.
    texts = real("semver")
    shared = [fresh(t) for t in texts[:3000]]
    pairs = pairs_of([fresh(t) for t in texts[:3000]])
    stop = threading.Event()

    def writer():
        rng = random.Random(mutation)
        while not stop.is_set():
            if mutation == "replace":
                shared[:] = [fresh(t) for t in rng.sample(texts, 3000)]
            elif mutation == "shrink":
                del shared[rng.randrange(1, 3000):]
                shared.extend(fresh(t) for t in rng.sample(texts, 3000 - len(shared)))
            else:
                pairs[:] = [(fresh(a), fresh(b)) for a, b in zip(rng.sample(texts, 3000), rng.sample(texts, 3000))]

    t = threading.Thread(target=writer)
    t.start()
    try:
        known = set(texts)
        for _ in range(30):
            got = quorlen.sort_versions(shared, "semver")
            assert len(got) <= 3000 and all(compare(a, b, "semver") <= 0 for a, b in zip(got, got[1:]))
            assert quorlen.max_version(shared, "semver") in known
            assert all(x in known and not generic_prerelease(x) for x in quorlen.stable_versions(shared, "semver"))
            assert len(quorlen.batch_compare(pairs, "semver")) == 3000
    finally:
        stop.set()
        t.join()


# ---------------------------------------------------------------- out of memory without the lock

CHILD = textwrap.dedent(
    r'''
    import resource, threading
    import quorlen as q

    items = ["1.2" * 400_000] * 1000  # a long, flat Maven item list: every parse of it is large
    done = threading.Event()
    spinner = threading.Thread(target=lambda: [sum(range(100)) for _ in iter(done.is_set, True)])
    spinner.start()  # another thread wanting the lock the whole time
    with open("/proc/self/status") as f:
        vm = next(int(line.split()[1]) for line in f if line.startswith("VmSize:")) * 1024
    resource.setrlimit(resource.RLIMIT_AS, (vm + 48 * 2**20, vm + 48 * 2**20))
    # Each of these keeps a parse of every item, which outgrows the limit.
    for name in ["sort_versions", "max_version", "min_version", "latest_stable"]:
        try:
            getattr(q, name)(items, "maven")
            print(name, "returned", flush=True)
        except MemoryError:
            print(name, "MemoryError", flush=True)
    done.set()
    spinner.join()
    print("after:", q.sort_versions(["2", "1"] * 600)[:2], flush=True)
    '''
)


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the address sanitizer reserves more address space than any useful limit")
def test_memory_error_without_the_lock_is_raised_with_it():
    result = subprocess.run([sys.executable, "-c", CHILD], capture_output=True, text=True, timeout=600, cwd="/")
    assert result.returncode == 0, result.stderr[-2000:]
    lines = result.stdout.splitlines()
    assert lines[-1] == "after: ['1', '1']"
    assert dict(line.split() for line in lines[:-1]) == dict.fromkeys(
        ["sort_versions", "max_version", "min_version", "latest_stable"], "MemoryError")
