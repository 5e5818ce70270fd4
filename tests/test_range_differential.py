"""The range algebra against two reference tools: npm's SemVer package (run by
node) on generated ranges, and `packaging`'s SpecifierSet on the release
histories of real PyPI projects (the version lists of advisory records)."""

import functools
import itertools
import json
import pathlib
import random

import pytest

from helpers import node_semver, run_node_semver
from quorlen import range_intersection, range_simplify, range_subset, ranges_intersect, satisfies

# ------------------------------------------------------------------ npm
# Where this library differs on purpose, each class named and counted:
# - PRERELEASE_CANDIDATE: npm admits a prerelease only when a comparator of
#   the same branch names a prerelease of the same major.minor.patch; here a
#   prerelease is placed by the ordering alone like any version.
#   The same rule makes npm's subset answer false where only prereleases
#   could tell the ranges apart (npm holds <2.0.3 not to lie within *); such
#   an answer is allowed only when no enumerated release, by npm's own
#   satisfies, lies in the first range and outside the second.
# - NO_RELEASE_BETWEEN: this library takes versions to be dense, so a range
#   such as >1.2.3 <1.2.4 is not empty here, though only prereleases lie in
#   it and npm's rule keeps those out. Such an answer is allowed only when no
#   enumerated release lies in the piece in question.
# And one of npm's own: simplifyRange writes a range that no listed version
# satisfies as the empty text, which npm reads as "*" (NPM_EMPTY_AS_ANY);
# there only the original range is compared.

NODE_PROGRAM = r"""
const semver = require(process.argv[1]);
let input = "";
process.stdin.on("data", (d) => (input += d));
process.stdin.on("end", () => {
  const job = JSON.parse(input);
  const sat = (rs) => rs.map((r) => job.versions.map((v) => semver.satisfies(v, r)));
  // simplifyRange sorts the list it is given, in place.
  const simplified = job.ranges.map((r) => semver.simplifyRange([...job.versions], r));
  process.stdout.write(JSON.stringify({
    sat: sat(job.ranges),
    ours: sat(job.ours),
    simplifiedSat: sat(simplified),
    intersects: job.pairs.map(([i, j]) => semver.intersects(job.ranges[i], job.ranges[j])),
    subset: job.pairs.map(([i, j]) => semver.subset(job.ranges[i], job.ranges[j])),
  }));
});
"""

RANGES = 1500
PAIRS = 3000
RELEASES = [f"{x}.{y}.{z}" for x, y, z in itertools.product(range(5), repeat=3)]
PRERELEASES = [f"{v}-{tag}" for v in ("0.0.0", "1.0.0", "1.2.3", "2.0.0", "3.1.0") for tag in ("0", "alpha", "beta.2")]


def run_node(job):
    return run_node_semver(NODE_PROGRAM, job, timeout=300)


def version(rng):
    return f"{rng.randrange(4)}.{rng.randrange(4)}.{rng.randrange(4)}"


def comparator(rng):
    """One term as (ours, npm's): the same meaning in the two grammars."""
    kind = rng.random()
    if kind < 0.55:
        op = rng.choice([">", ">=", "<", "<=", "="])
        v = version(rng)
        return ("==" if op == "=" else op) + v, op + v
    v = version(rng)
    text = rng.choice(["^" + v, "~" + v, v.rsplit(".", 1)[0] + ".x", v.split(".")[0] + ".x", "*"])
    return text, text


def semver_range(rng):
    branches = []
    for _ in range(rng.choice([1, 1, 2, 3])):
        terms = [comparator(rng) for _ in range(rng.choice([1, 2, 2, 3]))]
        branches.append(([t[0] for t in terms], [t[1] for t in terms]))
    return " || ".join(",".join(b[0]) for b in branches), " || ".join(" ".join(b[1]) for b in branches)


def to_npm(text):
    """A range text of ours in npm's grammar; a "!=" splits its branch in two."""
    if text is None:
        return "<0.0.0-0"  # holds nothing
    branches = []
    for branch in text.split(" || "):
        terms = [t for t in branch.split(",") if t != "*"]
        keep = [t[1:] if t.startswith("==") else t for t in terms if not t.startswith("!=")]
        outs = [t[2:] for t in terms if t.startswith("!=")]
        for sides in itertools.product("<>", repeat=len(outs)):
            branches.append(" ".join(keep + [s + v for s, v in zip(sides, outs)]) or "*")
    return " || ".join(branches)


def releases_in(r):
    return [v for v in RELEASES if r is not None and satisfies(v, r, "semver")]


@pytest.fixture(scope="module")
def npm_case():
    node_semver()
    rng = random.Random(20261208)
    pairs_of_texts = [semver_range(rng) for _ in range(RANGES)]
    ours = [p[0] for p in pairs_of_texts]
    npm = [p[1] for p in pairs_of_texts]
    pairs = [(rng.randrange(RANGES), rng.randrange(RANGES)) for _ in range(PAIRS)]
    simplified = [range_simplify(r, "semver") for r in ours]
    both = [range_intersection(ours[i], ours[j], "semver") for i, j in pairs]
    job = {"ranges": npm, "versions": RELEASES + PRERELEASES, "pairs": pairs,
           "ours": [to_npm(t) for t in simplified + both]}
    return ours, pairs, simplified, both, run_node(job)


def test_satisfies_matches_npm(npm_case):
    ours, _, _, _, result = npm_case
    versions = RELEASES + PRERELEASES
    bad, named = [], 0
    for r, answers in zip(ours, result["sat"]):
        for v, theirs in zip(versions, answers):
            if satisfies(v, r, "semver") != theirs:
                if v in PRERELEASES:
                    named += 1  # PRERELEASE_CANDIDATE
                else:
                    bad.append(f"{v} in {r!r}: npm says {theirs}")
    assert not bad, f"{len(bad)} disagreements, e.g.:\n" + "\n".join(bad[:20])
    assert named > 0, "the prerelease class should show up in this sample"


def test_simplify_keeps_the_versions_npm_finds(npm_case):
    ours, _, simplified, _, result = npm_case
    n = len(RELEASES)
    bad = []
    for r, s, direct, ours_by_npm, npm_simplified in zip(ours, simplified, result["sat"], result["ours"],
                                                         result["simplifiedSat"]):
        # Releases only: see PRERELEASE_CANDIDATE.
        if direct[:n] != ours_by_npm[:n]:
            bad.append(f"{r!r} -> {s!r}")
        if any(direct) and direct[:n] != npm_simplified[:n]:  # else NPM_EMPTY_AS_ANY
            bad.append(f"{r!r}: npm's own simplification holds other releases")
    assert not bad, f"{len(bad)} disagreements, e.g.:\n" + "\n".join(bad[:20])


def test_intersection_holds_what_npm_finds_in_both(npm_case):
    ours, pairs, _, both, result = npm_case
    n = len(RELEASES)
    sat = result["sat"]
    # Rows of simplified ranges come first, then the intersections.
    offset = len(ours)
    bad = []
    for k, (i, j) in enumerate(pairs):
        expected = [x and y for x, y in zip(sat[i][:n], sat[j][:n])]
        if result["ours"][offset + k][:n] != expected:
            bad.append(f"pair {i},{j}: {both[k]!r}")
    assert not bad, f"{len(bad)} disagreements, e.g.:\n" + "\n".join(bad[:20])


def test_intersects_and_subset_match_npm(npm_case):
    ours, pairs, _, both, result = npm_case
    n = len(RELEASES)
    bad, named = [], {"PRERELEASE_CANDIDATE": 0, "NO_RELEASE_BETWEEN": 0}
    for k, (i, j) in enumerate(pairs):
        a, b = ours[i], ours[j]
        mine = ranges_intersect(a, b, "semver")
        assert mine is (both[k] is not None)
        if mine != result["intersects"][k]:
            if mine and not releases_in(both[k]):
                named["NO_RELEASE_BETWEEN"] += 1
            else:
                bad.append(f"intersects({a!r}, {b!r}): npm says {result['intersects'][k]}")
        sub = range_subset(a, b, "semver")
        if sub != result["subset"][k]:
            outside = [v for v in releases_in(a) if not satisfies(v, b, "semver")]
            npm_outside = [v for v, x, y in zip(RELEASES, result["sat"][i][:n], result["sat"][j][:n]) if x and not y]
            if not sub and not outside:
                named["NO_RELEASE_BETWEEN"] += 1
            elif sub and not npm_outside:
                named["PRERELEASE_CANDIDATE"] += 1
            else:
                bad.append(f"subset({a!r}, {b!r}): npm says {result['subset'][k]}")
    assert not bad, f"{len(bad)} disagreements, e.g.:\n" + "\n".join(bad[:20])
    # Most answers agree outright; the named classes stay a minority.
    assert sum(named.values()) < PAIRS // 2, named


# ------------------------------------------------------------------ packaging
# Where this library differs on purpose: candidates are final releases only
# (SpecifierSet keeps prereleases out by default, and this library has no
# such rule), and a post-release of the version of an exclusive ">" is
# admitted here (POST_OF_EXCLUSIVE_LOWER: PEP 440 keeps it out, this library
# orders it above the bound like any later version). NORMAL_FORM: only
# versions written in PEP 440's normal form take part; this library reads
# some other spellings its own way (1.0-1 is 1.0.1, r and rev are no
# post-release words), and packaging splits a "~=" bound as written, so that
# "~=2.6c1" or "~=1.0.0-alpha.3" get a longer prefix than PEP 440 gives them.

packaging = pytest.importorskip("packaging.specifiers")
from packaging.version import InvalidVersion, Version  # noqa: E402

OSV_PYPI = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "data" / "osv-pypi"
PROJECTS = 60
CANDIDATES = 100  # releases per project at most, spread over its history


@functools.lru_cache(maxsize=1)
def read_histories():
    found = {}
    for path in sorted(OSV_PYPI.glob("*/*.json")):
        record = json.loads(path.read_text(encoding="utf-8"))
        for affected in record.get("affected", []):
            name = affected.get("package", {}).get("name")
            for v in affected.get("versions", []):
                try:
                    parsed = Version(v)
                except InvalidVersion:
                    continue
                if parsed.epoch == 0 and parsed.local is None and str(parsed) == v:  # NORMAL_FORM
                    found.setdefault(name, set()).add(v)
    rich = sorted((n for n, vs in found.items() if len(vs) >= 8), key=lambda n: (-len(found[n]), n))
    out = []
    for name in rich[:PROJECTS]:
        history = sorted(found[name], key=Version)
        step = max(1, len(history) // CANDIDATES)
        out.append(tuple(history[::step]))
    return tuple(out)


def histories():
    if not OSV_PYPI.is_dir():
        pytest.skip(f"no advisory records at {OSV_PYPI}")
    return read_histories()


def specifier(rng, history):
    v = rng.choice(history)
    release = Version(v).release
    forms = [">=" + v, ">" + v, "<" + v, "<=" + v, "==" + v, "!=" + v]
    if len(release) >= 2:
        forms += ["~=" + v, "==%d.%d.*" % release[:2], "!=%d.%d.*" % release[:2], "!=%d.*" % release[0]]
    return rng.choice(forms)


def finals(history):
    return [v for v in history if not Version(v).is_prerelease]


def post_of_exclusive_lower(candidate, spec_set):
    c = Version(candidate)
    return c.is_postrelease and any(
        s.operator == ">" and Version(s.version).release == c.release and not Version(s.version).is_postrelease
        for s in spec_set)


def test_intersections_hold_what_specifier_sets_share():
    rng = random.Random(440)
    checked = bad = 0
    problems = []
    for history in histories():
        candidates = finals(history)
        for _ in range(12):
            a = ",".join(specifier(rng, history) for _ in range(rng.choice([1, 2, 3])))
            b = ",".join(specifier(rng, history) for _ in range(rng.choice([1, 2])))
            sa, sb = packaging.SpecifierSet(a), packaging.SpecifierSet(b)
            both = range_intersection(a, b, "pep440")
            for v in candidates:
                if post_of_exclusive_lower(v, sa) or post_of_exclusive_lower(v, sb):
                    continue  # POST_OF_EXCLUSIVE_LOWER
                expected = sa.contains(v) and sb.contains(v)
                checked += 1
                if (both is not None and satisfies(v, both, "pep440")) != expected:
                    bad += 1
                    problems.append(f"{v} in {a!r} & {b!r} = {both!r}: packaging says {expected}")
    assert checked > 10_000
    assert not bad, f"{bad} disagreements, e.g.:\n" + "\n".join(problems[:20])


@pytest.mark.parametrize("form", ["~=", "==.*", "!=.*"])
def test_mended_forms_match_specifier_sets(form):
    checked = 0
    problems = []
    rng = random.Random(4400)
    for history in histories():
        for bound in rng.sample(history, min(len(history), 8)):
            release = Version(bound).release
            if len(release) < 2:
                continue
            specifier = {"~=": "~=" + bound, "==.*": "==%d.%d.*" % release[:2], "!=.*": "!=%d.%d.*" % release[:2]}[form]
            s = packaging.SpecifierSet(specifier)
            for v in finals(history):
                checked += 1
                if satisfies(v, specifier, "pep440") != s.contains(v):
                    problems.append(f"{v} in {specifier!r}: packaging says {s.contains(v)}")
    assert checked > 10_000
    assert not problems, f"{len(problems)} disagreements, e.g.:\n" + "\n".join(problems[:20])
