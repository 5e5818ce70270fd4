"""Reference and memory leak check of the extension, run by scripts/leaks.sh
under a debug interpreter (one with sys.gettotalrefcount). Not a pytest file.

Every module function and every Version member is called many times, on its
success path and on each error path that an argument can reach; the total
reference count and the resident memory must stay flat. Calls to functions
that the module does not (yet) export are skipped, so the check grows with the
module. Exit status 1 names the leaking cases.
"""

import gc
import os
import pickle
import sys

from quorlen import _quorlen as q

EXPECTED = (ValueError, TypeError, IndexError, OverflowError, UnicodeError)
LOOPS = int(os.environ.get("LEAK_LOOPS", "300"))
# A leak of one reference per call shows as LOOPS; interpreter caches settle
# within a few references, and a case must exceed this on every round.
REF_SLACK = 20
ROUNDS = 3
RSS_SLACK_MB = 16

BIG = "1." * 20000 + "0"  # makes a lost C++ buffer visible in RSS


def call(fn, *args, **kwargs):
    try:
        fn(*args, **kwargs)
    except EXPECTED:
        pass


def module_cases():
    """(function name, body) pairs; each body makes the calls of one path."""
    V = q.Version
    v = V("1.2.3", "semver")
    g = V("1.0")
    c = []

    def add(name, fn):
        # Whether a path ends in a result or an exception is the test suite's
        # business; here both must leave the counts flat.
        c.append((name, lambda: call(fn)))

    add("version", lambda: q.version("1.2.3"))
    add("version", lambda: q.version("1.0", "semver"))  # rejected by the ecosystem
    add("version", lambda: call(q.version, "1.0", "nope"))
    add("version", lambda: call(q.version, 1))
    add("version", lambda: call(q.version, "1.0", ecosystem=None))
    add("version", lambda: call(q.version, "\ud800"))

    add("compare", lambda: q.compare("1.0", "2.0"))
    add("compare", lambda: q.compare(v, "1.0.0", "auto"))
    add("compare", lambda: q.compare(g, v, ecosystem="pep440"))
    add("compare", lambda: q.compare(BIG, BIG + ".1"))
    add("compare", lambda: call(q.compare, 1, "1.0"))
    add("compare", lambda: call(q.compare, "1.0", object()))
    add("compare", lambda: call(q.compare, "1.0", "2.0", "nope"))
    add("compare", lambda: call(q.compare, "1.0", "2.0", ecosystem=None))
    add("compare", lambda: call(q.compare, "1.0.0", "x", "semver"))
    add("compare", lambda: call(q.compare, "1.0"))
    add("compare", lambda: call(q.compare, "1.0", "2.0", bogus=1))
    add("compare", lambda: call(q.compare, "1.0", "2.0", a="1.0"))
    add("compare", lambda: call(q.compare, "\udfff", "1.0"))

    add("compare_semver_strict", lambda: q.compare_semver_strict("1.0.0", "1.0.1-rc.1"))
    add("compare_semver_strict", lambda: call(q.compare_semver_strict, "1.0", "1.0.0"))
    add("compare_semver_strict", lambda: call(q.compare_semver_strict, "1.0.0", "01.0"))
    add("compare_semver_strict", lambda: call(q.compare_semver_strict, v, "1.0.0"))

    for name in ("gt", "ge", "gte", "lt", "le", "lte", "eq", "ne"):
        fn = getattr(q, name, None)
        add(name, lambda fn=fn: fn("1.0", "2.0"))
        add(name, lambda fn=fn: fn("1.0", "1.0.0", "auto"))
        add(name, lambda fn=fn: call(fn, v, "1.0"))
        add(name, lambda fn=fn: call(fn, "1.0", "2.0", "nope"))
        add(name, lambda fn=fn: call(fn, "1.0.0", "x", "semver"))
        add(name, lambda fn=fn: call(fn, "1.0", "2.0", ecosystem=None))

    items = ["1.10", "1.9", v, "1.0a1", g, "2.0.post1"]
    for name in ("sort_versions", "max_version", "min_version", "stable_versions", "latest_stable"):
        fn = getattr(q, name, None)
        add(name, lambda fn=fn: fn(items))
        add(name, lambda fn=fn: fn(tuple(items), "auto"))
        add(name, lambda fn=fn: call(fn, []))
        add(name, lambda fn=fn: call(fn, [], "nope"))
        add(name, lambda fn=fn: call(fn, ["1.0"], "nope"))
        add(name, lambda fn=fn: call(fn, "1.0"))
        add(name, lambda fn=fn: call(fn, iter(["1.0"])))
        add(name, lambda fn=fn: call(fn, ["1.0", 2, "3.0"]))
        add(name, lambda fn=fn: call(fn, ["1.0.0", "1.0", "x"], "semver"))
        add(name, lambda fn=fn: call(fn, ["1.0a1"]))
        add(name, lambda fn=fn: call(fn, ["1.0"], ecosystem=None))
        add(name, lambda fn=fn: call(fn, [BIG, "1.0", BIG]))

    add("batch_compare", lambda: q.batch_compare([("1.0", "2.0"), (v, g), ("2", "2.0")]))
    add("batch_compare", lambda: q.batch_compare([("1.0.0", "2.0.0"), ("1.0", "1")], "auto"))
    add("batch_compare", lambda: call(q.batch_compare, [["1.0", "2.0"]]))
    add("batch_compare", lambda: call(q.batch_compare, [("1.0",)]))
    add("batch_compare", lambda: call(q.batch_compare, [("1.0", "2.0", "3.0")]))
    add("batch_compare", lambda: call(q.batch_compare, [("1.0", 2)]))
    add("batch_compare", lambda: call(q.batch_compare, [], "nope"))
    add("batch_compare", lambda: call(q.batch_compare, [("1.0.0", "1.0")], "semver"))
    add("batch_compare", lambda: call(q.batch_compare, "ab"))

    for name, second in (("satisfies", "constraint"), ("range_contains", "range")):
        fn = getattr(q, name, None)
        add(name, lambda fn=fn: fn("1.5", ">=1.0,<2.0"))
        add(name, lambda fn=fn, k=second: fn(version="2.5", ecosystem="npm", **{k: "^1.0 || ^2.0"}))
        add(name, lambda fn=fn: fn("anything", "*", "semver"))
        add(name, lambda fn=fn: call(fn, "1.0", "1.0"))
        add(name, lambda fn=fn: call(fn, "1.0", "[1.0]"))
        add(name, lambda fn=fn: call(fn, "1.0", "^x"))
        add(name, lambda fn=fn: call(fn, "1.0", ">=1.0", "nope"))
        add(name, lambda fn=fn: call(fn, "x", ">=1.0.0", "semver"))
        add(name, lambda fn=fn: call(fn, v, ">=1.0"))
        add(name, lambda fn=fn: call(fn, "1.0", ">=1.0", None))
    add("ranges_intersect", lambda: q.ranges_intersect("^1.0", "^2.0"))
    add("ranges_intersect", lambda: q.ranges_intersect("[1.0,2.0]", "[2.0,3.0]"))
    add("ranges_intersect", lambda: q.ranges_intersect("==1.5", "!=1.5 || >=3"))
    add("ranges_intersect", lambda: call(q.ranges_intersect, "1.0", "^1"))
    add("ranges_intersect", lambda: call(q.ranges_intersect, "^1", "~x"))
    add("ranges_intersect", lambda: call(q.ranges_intersect, ">=x", "<1.0.0", "semver"))
    add("ranges_intersect", lambda: call(q.ranges_intersect, "^1", "^2", "nope"))
    add("ranges_intersect", lambda: call(q.ranges_intersect, "^1", 2))
    for name in ("range_intersection", "range_union", "range_subset", "range_difference"):
        fn = getattr(q, name, None)
        add(name, lambda fn=fn: fn(">=1.0,<2.0 || ^3", "!=1.5,>=1.2 || 1.2.x", "pep440"))
        add(name, lambda fn=fn: fn(a="^1.0", b="^2.0", ecosystem="npm"))
        add(name, lambda fn=fn: fn("==1.2.*", "~=1.2", "pep440"))
        add(name, lambda fn=fn: call(fn, "^x", "^1"))
        add(name, lambda fn=fn: call(fn, ">=x", "<1.0.0", "semver"))
        add(name, lambda fn=fn: call(fn, "^1", "^2", "nope"))
        add(name, lambda fn=fn: call(fn, "^1", 2))
    add("range_simplify", lambda: q.range_simplify(">=1.0,>=1.1,!=1.5 || <0.5 || [0.4,1.2)", "generic"))
    add("range_simplify", lambda: q.range_simplify(">=2,<1"))
    add("range_simplify", lambda: call(q.range_simplify, "~x"))
    add("range_simplify", lambda: call(q.range_simplify, None))
    add("range_complement", lambda: q.range_complement(">=1.0,<2.0,!=1.5 || >=3", "pep440"))
    add("range_complement", lambda: q.range_complement("*"))
    add("range_complement", lambda: call(q.range_complement, "~x"))
    osv = {"package": {"ecosystem": "PyPI", "name": "x"}, "versions": ["0.9"],
           "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "1.0"}, {"fixed": "1.2"},
                                                       {"introduced": "2.0"}]},
                      {"type": "GIT", "events": [{"introduced": "abc"}]}]}
    add("osv_range", lambda: q.osv_range(osv))
    add("osv_range", lambda: q.osv_range({"ranges": []}, "semver"))
    add("osv_range", lambda: call(q.osv_range, {"ranges": [{"events": [{"fixed": "x y"}]}]}, "semver"))
    add("osv_range", lambda: call(q.osv_range, {"ranges": "no"}))
    add("osv_range", lambda: call(q.osv_range, osv, "nope"))

    purl = "pkg:maven/org.example/demo-lib@3.12.0?type=jar#sources"
    add("parse_purl", lambda: q.parse_purl(purl))
    add("parse_purl", lambda: q.parse_purl("pkg:github/a/b"))
    add("parse_purl", lambda: call(q.parse_purl, "PKG:npm/x"))
    add("parse_purl", lambda: call(q.parse_purl, "pkg:npm//"))
    add("parse_purl", lambda: call(q.parse_purl, None))
    add("purl_ecosystem", lambda: q.purl_ecosystem(purl))
    add("purl_ecosystem", lambda: q.purl_ecosystem("pkg:github/a/b"))
    add("purl_ecosystem", lambda: call(q.purl_ecosystem, "pkg:"))
    add("build_purl", lambda: q.build_purl("PyPI", "demo", "1.0", "ns", "a=b", "sub"))
    add("build_purl", lambda: q.build_purl(package_type="npm", name="x", version=None, subpath=None))
    add("build_purl", lambda: call(q.build_purl, " ", "x"))
    add("build_purl", lambda: call(q.build_purl, "npm", "x", qualifiers={"a": "b"}))
    add("build_purl", lambda: call(q.build_purl, "npm"))
    add("build_vers", lambda: q.build_vers("Crates.IO", " >=1.0 "))
    add("build_vers", lambda: call(q.build_vers, "nope", ">=1.0"))
    add("build_vers", lambda: call(q.build_vers, "npm", "1.0"))
    add("build_vers", lambda: call(q.build_vers, "npm", None))
    add("build_vers", lambda: q.build_vers("pep440", ">=1.0,<2.0,!=1.5 || ==3.0", standard=True))
    add("build_vers", lambda: call(q.build_vers, "npm", ">2.0.0,<1.0.0", standard=True))
    add("build_vers", lambda: call(q.build_vers, "npm", ">=1.0.0", True))
    add("vers_contains", lambda: q.vers_contains("vers:npm/>=1.0.0,<2.0.0", "1.5.0"))
    add("vers_contains", lambda: q.vers_contains("vers:npm/", "not a version"))
    add("vers_contains", lambda: call(q.vers_contains, "VERS:npm/>=1.0", "1.0"))
    add("vers_contains", lambda: call(q.vers_contains, "vers:npm", "1.0"))
    add("vers_contains", lambda: call(q.vers_contains, "vers:nope/>=1", "1.0"))
    add("vers_contains", lambda: call(q.vers_contains, "vers:npm/>=1.0.0", "x"))
    add("vers_contains", lambda: q.vers_contains("vers:gem/>=2.2.0|!=2.2.1|<2.3.0", "2.2.1"))
    add("vers_contains", lambda: call(q.vers_contains, "vers:npm/>=2.0.0|<1.0.0", "1.0.0"))

    record = {
        "package": {"ecosystem": "npm", "name": "x"},
        "ranges": [
            {"type": "SEMVER", "events": [{"introduced": "1.0.0"}, {"fixed": "1.2.0"}]},
            {"events": [{"introduced": "2.0.0"}, {"last_affected": "2.1.0"}]},
            {"type": "GIT"},
        ],
        "versions": ["3.0.0", "3.0.1"],
    }
    add("osv_affected", lambda: q.osv_affected("1.1.0", record))
    add("osv_affected", lambda: q.osv_affected("3.0.1", record))
    add("osv_affected", lambda: q.osv_affected("9.9.9", record, "semver"))
    add("osv_affected", lambda: q.osv_affected("x", {"ranges": [{"events": [{"introduced": "0"}]}]}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", record, "nope"))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"package": {"ecosystem": "PyPI"}}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"package": []}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"package": {"ecosystem": 3}}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"ranges": ({"events": []},)}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"ranges": [None]}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"ranges": [{"events": None}]}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"ranges": [{"events": [3]}]}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"ranges": [{"events": [{"fixed": 2}]}]}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"ranges": [{"events": [{"fixed": "x"}]}]}, "semver"))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", {"versions": ["0.9", 1]}))
    add("osv_affected", lambda: call(q.osv_affected, "1.0", []))
    add("osv_affected", lambda: call(q.osv_affected, 1.0, {}))

    for name in ("bump_major", "bump_minor", "bump_patch", "next_stable", "bump_prerelease"):
        fn = getattr(q, name, None)
        add(name, lambda fn=fn: fn("1.2.3-alpha.1+build"))
        add(name, lambda fn=fn: fn(""))
        add(name, lambda fn=fn: fn("18446744073709551615.18446744073709551615.18446744073709551615"))
        add(name, lambda fn=fn: call(fn, v))
        add(name, lambda fn=fn: call(fn, None))
    add("bump_prerelease", lambda: q.bump_prerelease("1.2.3-rc1", tag="RC"))
    add("bump_prerelease", lambda: call(q.bump_prerelease, "1.2.3", tag=None))
    add("ecosystems", lambda: q.ecosystems())
    add("ecosystems", lambda: call(q.ecosystems, 1))
    add("osv_ecosystem", lambda: q.osv_ecosystem("Debian:12"))
    add("osv_ecosystem", lambda: call(q.osv_ecosystem, "Nope"))
    add("osv_ecosystem", lambda: call(q.osv_ecosystem, None))
    add("vers_contains", lambda: call(q.vers_contains, "vers:nope/*", "1.0"))
    return c


SUBINTERPRETER_SCRIPT = """
import quorlen
from quorlen import Version
sorted([Version("2.0"), Version("1.0"), Version("1.0a1")]), Version("1.0.0", "semver"), Version("1.0a1", "pep440")
quorlen.sort_versions(["1.0", "2.0"], "debian")
try:
    quorlen.compare("1", "2", "nope")
except quorlen.UnknownEcosystemError:
    pass
"""


def in_subinterpreter():
    """Imports and uses the module in a new interpreter, then ends it."""
    try:
        import _xxsubinterpreters as interpreters
    except ImportError:
        return
    interp = interpreters.create()
    try:
        interpreters.run_string(interp, SUBINTERPRETER_SCRIPT)
    finally:
        interpreters.destroy(interp)


def version_cases():
    """Cases for the members of Version; each is skipped if the member is absent."""
    V = q.Version
    v = V("1.2.3", "semver")
    p = V("1.0.dev1+local.7", "pep440")
    m = V("1.0-SNAPSHOT", "maven")
    c = []

    def add(member, fn):
        c.append((member, lambda: call(fn)))

    add("__new__", lambda: V("1.2.3"))
    add("__new__", lambda: V(version="1.0", ecosystem="AUTO"))
    add("__new__", lambda: call(V, "1.0", "semver"))
    add("__new__", lambda: call(V, "1.0", "nope"))
    add("__new__", lambda: call(V, "1.0", None))
    add("__new__", lambda: call(V, 1))
    add("__new__", lambda: call(V))
    add("__new__", lambda: call(V, "\ud800"))
    add("parse", lambda: V.parse("1.0"))
    add("parse", lambda: call(V.parse, "x", "semver"))
    add("try_parse", lambda: V.try_parse("1.0.0", "semver"))
    add("try_parse", lambda: V.try_parse("x", "semver"))
    add("try_parse", lambda: V.try_parse("1.0", "nope"))
    add("try_parse", lambda: call(V.try_parse, 1))
    add("from_dict", lambda: V.from_dict(v.to_dict()))
    add("from_dict", lambda: V.from_dict({"raw": "1.0"}))
    add("from_dict", lambda: call(V.from_dict, {}))
    add("from_dict", lambda: call(V.from_dict, {"raw": 1}))
    add("from_dict", lambda: call(V.from_dict, {"raw": "1.0", "ecosystem": None}))
    add("from_dict", lambda: call(V.from_dict, {"raw": "x", "ecosystem": "semver"}))
    add("from_dict", lambda: call(V.from_dict, [("raw", "1.0")]))
    for prop in ("raw", "ecosystem", "epoch", "build", "is_prerelease", "is_postrelease",
                 "is_stable", "count", "major", "minor", "patch"):
        add(prop, lambda prop=prop: (getattr(v, prop), getattr(p, prop), getattr(m, prop)))
    for meth in ("segments", "release", "to_dict", "sort_key", "__reduce__"):
        add(meth, lambda meth=meth: (getattr(v, meth)(), getattr(p, meth)(), getattr(m, meth)()))
    add("__reduce__", lambda: pickle.loads(pickle.dumps(p)))
    add("sort_key", lambda: V("9223372036854775808!1.99999999999999999999").sort_key())
    add("compare", lambda: v.compare("1.2.4"))
    add("compare", lambda: v.compare(p, "generic"))
    add("compare", lambda: v.compare("2.0", ecosystem="AUTO"))
    add("compare", lambda: call(v.compare, "1.0"))
    add("compare", lambda: call(v.compare, 1))
    add("compare", lambda: call(v.compare, "1.0", "nope"))
    add("compare", lambda: call(p.compare, "1.0", "semver"))
    add("__eq__", lambda: (v == "1.2.3", v == p, v == 1, v != 1, v < V("2.0.0", "semver"), m >= m))
    add("__eq__", lambda: call(lambda: v == "1.2"))
    add("__eq__", lambda: call(lambda: v < 1))
    add("__hash__", lambda: (hash(v), hash(p), hash(m)))
    add("__len__", lambda: (len(v), bool(v), bool(V(""))))
    add("__getitem__", lambda: (v[0], v[-1], m[1]))
    add("__getitem__", lambda: call(lambda: v[3]))
    add("__getitem__", lambda: call(lambda: v[-4]))
    add("__getitem__", lambda: call(lambda: v[1 << 70]))
    add("__getitem__", lambda: call(lambda: v[0:1]))
    add("__getitem__", lambda: call(lambda: v["0"]))
    add("__str__", lambda: (str(v), repr(v), str(V(BIG))))
    return c


def refs_after(fn):
    gc.collect()
    before = sys.gettotalrefcount()
    for _ in range(LOOPS):
        fn()
    gc.collect()
    return sys.gettotalrefcount() - before


def rss_mb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20


def main():
    if not hasattr(sys, "gettotalrefcount"):
        sys.exit("leakcheck.py needs a debug interpreter (python3-dbg)")
    exported = set(q.__all__)
    cases = [(n, f) for n, f in module_cases() if n in exported]
    missing = sorted({n for n, _ in module_cases()} - exported)
    cases += [("Version." + n, f) for n, f in version_cases() if n in vars(q.Version)]
    # Each interpreter imports the module afresh and ends with its own state.
    cases.append(("<sub-interpreter>", in_subinterpreter))

    for _, fn in cases:  # warm every cache the interpreter keeps before measuring
        fn()
    rss_start = rss_mb()
    leaks = []
    for name, fn in cases:
        deltas = [refs_after(fn) for _ in range(ROUNDS)]
        if min(deltas) > REF_SLACK:
            leaks.append(f"{name}: reference count grew by {deltas} over {LOOPS} calls")
    rss_growth = rss_mb() - rss_start
    # A second pass must not grow memory again: a lost buffer per call would.
    rss_mid = rss_mb()
    for _, fn in cases:
        for _ in range(LOOPS):
            fn()
    gc.collect()
    rss_growth2 = rss_mb() - rss_mid

    print(f"leakcheck: {len(cases)} cases x {ROUNDS} x {LOOPS} calls; "
          f"RSS +{rss_growth:.1f} MB then +{rss_growth2:.1f} MB; "
          f"functions not exported yet: {', '.join(missing) or 'none'}")
    if rss_growth2 > RSS_SLACK_MB:
        leaks.append(f"resident memory grew by {rss_growth2:.1f} MB on a repeated pass")
    for line in leaks:
        print("LEAK", line)
    sys.exit(1 if leaks else 0)


if __name__ == "__main__":
    main()
