"""Our orderings against the package managers' own: dpkg's (through apt's
Python binding), RPM's (through its Python binding) and npm's SemVer package
(run by node). Each test compares a few thousand pairs, realistic shapes and
random character soup from a fixed seed, and fails on any disagreement."""

import random

import pytest

import quorlen
from helpers import node_semver, run_node_semver

DEBIAN_PAIRS = 4000
RPM_PAIRS = 4000
SEMVER_PAIRS = 4000
SEMVER_SOUP = 4000


def sign(n):
    return (n > 0) - (n < 0)


def disagreements(pairs, ours, theirs):
    bad = []
    for (a, b), x, y in zip(pairs, ours, theirs):
        if x != y:
            bad.append(f"{a!r} vs {b!r}: ours {x}, reference {y}")
    return bad


def pairs_from(rng, texts, count):
    return [(rng.choice(texts), rng.choice(texts)) for _ in range(count)]


def shared_start_pairs(rng, texts, alphabet):
    """Pairs that agree on a long start: sorted neighbours, and a text against
    itself cut short or changed or extended at one place, so that the first
    difference falls inside digit runs, letter runs and separators alike."""
    ordered = sorted(set(texts))
    pairs = list(zip(ordered, ordered[1:]))
    for text in texts:
        cut = rng.randint(0, len(text))
        pairs.append((text, text[:cut]))
        pairs.append((text, text[:cut] + rng.choice(alphabet) + text[cut:]))
        pairs.append((text, text[:cut] + rng.choice(alphabet) + text[cut + 1:]))
    # An empty part around '-' and a ':' inside the text are left out, as in
    # the generators above.
    return [(a, b) for a, b in pairs if usual(a) and usual(b)]


def usual(text):
    epoch, colon, rest = text.partition(":")
    if colon and not (epoch.isascii() and epoch.isdigit() and ":" not in rest):
        return False
    rest = rest if colon else epoch
    return bool(rest.strip()) and not rest.endswith("-") and not rest.startswith("-")


def pick(rng, options):
    return rng.choice(options)


def soup(rng, alphabet, low, high):
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(low, high)))


# ------------------------------------------------------------------ Debian
# Left out on purpose, as this library's own rules:
# - bytes of non-ASCII characters weigh by their unsigned value plus 256 on
#   every platform (dpkg reads them as signed chars, so they rank below ASCII
#   punctuation there);
# - an empty upstream version or an empty revision after '-' equals "0"
#   (apt gives such malformed texts an ordering of its own);
# - a ':' that does not end a leading run of digits is ordinary text.


def debian_realistic(rng):
    upstream = ".".join(str(rng.choice([0, 1, 2, 3, 9, 10, 11, 20, 100, 2024])) for _ in range(rng.randint(1, 4)))
    upstream += pick(rng, ["", "", "~rc1", "~rc2", "~beta1", "~~", "~", "a", "b", "+dfsg", "+dfsg1", "+git20240101",
                           "+really1.0", ".0", "-1", "z", "+ds~1"])
    text = upstream
    if rng.random() < 0.7:
        text += "-" + pick(rng, ["1", "2", "10", "0", "1ubuntu1", "1ubuntu2", "0+deb11u1", "1+deb12u2", "1~bpo11+1",
                                 "3.1", "1build1", "0.1"])
    if rng.random() < 0.2:
        text = f"{rng.choice([0, 1, 2, 10])}:{text}"
    return text


def debian_soup(rng):
    part = lambda: soup(rng, "0123456789000aAzZ.+~_", 1, 8)  # noqa: E731
    text = part()
    if rng.random() < 0.5:
        text += "-" + part()
    if rng.random() < 0.2:
        text = f"{rng.randint(0, 30)}:{text}"
    return text


def test_debian_ordering_matches_dpkg():
    apt_pkg = pytest.importorskip("apt_pkg")
    apt_pkg.init_system()
    rng = random.Random(20240611)
    texts = [debian_realistic(rng) for _ in range(600)] + [debian_soup(rng) for _ in range(600)]
    pairs = pairs_from(rng, texts, DEBIAN_PAIRS)
    ours = [quorlen.compare(a, b, ecosystem="debian") for a, b in pairs]
    theirs = [sign(apt_pkg.version_compare(a, b)) for a, b in pairs]
    bad = disagreements(pairs, ours, theirs)
    assert not bad, f"{len(bad)} of {len(pairs)} disagree, e.g.:\n" + "\n".join(bad[:20])


def test_debian_texts_with_a_shared_start_match_dpkg():
    apt_pkg = pytest.importorskip("apt_pkg")
    apt_pkg.init_system()
    rng = random.Random(20261208)
    texts = [debian_realistic(rng) for _ in range(1500)] + [debian_soup(rng) for _ in range(300)]
    pairs = shared_start_pairs(rng, texts, "0123456789aZ.+~-")
    ours = [quorlen.compare(a, b, ecosystem="debian") for a, b in pairs]
    theirs = [sign(apt_pkg.version_compare(a, b)) for a, b in pairs]
    bad = disagreements(pairs, ours, theirs)
    assert not bad, f"{len(bad)} of {len(pairs)} disagree, e.g.:\n" + "\n".join(bad[:20])


# --------------------------------------------------------------------- RPM
# The pieces handed to RPM are split by the same rule as ours: leading digits
# directly followed by ':' are the epoch, the last '-' ends the version.


def rpm_split(text):
    digits = len(text) - len(text.lstrip("0123456789"))
    epoch, rest = "0", text
    if digits and text[digits:digits + 1] == ":":
        epoch, rest = text[:digits], text[digits + 1:]
    version, dash, release = rest.rpartition("-")
    if not dash:
        version, release = rest, ""
    return epoch, version, release


def rpm_realistic(rng):
    version = ".".join(str(rng.choice([0, 1, 2, 3, 9, 10, 11, 17, 100])) for _ in range(rng.randint(1, 4)))
    version += pick(rng, ["", "", "~rc1", "~rc2", "~beta", "^git1", "^20240101git", "^", "~", "a", "b", "p1",
                          ".post1", "_1", "rc1"])
    text = version
    if rng.random() < 0.8:
        text += "-" + pick(rng, ["1", "2", "10", "0", "1.el7", "1.el8", "326.el7_9", "1.fc39", "0.1.rc1.fc40",
                                 "2.amzn2", "1~beta", "3.1^git", "~1", "._"])
    if rng.random() < 0.2:
        text = f"{rng.choice([0, 1, 2, 10])}:{text}"
    return text


def rpm_soup(rng):
    part = lambda: soup(rng, "0123456789000aAzZ.~^_+é", 1, 8)  # noqa: E731
    text = part()
    if rng.random() < 0.5:
        text += "-" + part()
    if rng.random() < 0.2:
        text = f"{rng.randint(0, 30)}:{text}"
    return text


def test_rpm_ordering_matches_rpm():
    rpm = pytest.importorskip("rpm")
    rng = random.Random(20240612)
    texts = [rpm_realistic(rng) for _ in range(600)] + [rpm_soup(rng) for _ in range(600)]
    texts = [t for t in texts if t.strip()]
    pairs = pairs_from(rng, texts, RPM_PAIRS)
    ours = [quorlen.compare(a, b, ecosystem="rpm") for a, b in pairs]
    theirs = [sign(rpm.labelCompare(rpm_split(a), rpm_split(b))) for a, b in pairs]
    bad = disagreements(pairs, ours, theirs)
    assert not bad, f"{len(bad)} of {len(pairs)} disagree, e.g.:\n" + "\n".join(bad[:20])


def test_rpm_texts_with_a_shared_start_match_rpm():
    rpm = pytest.importorskip("rpm")
    rng = random.Random(20261209)
    texts = [rpm_realistic(rng) for _ in range(1500)] + [t for t in (rpm_soup(rng) for _ in range(300)) if t.strip()]
    pairs = shared_start_pairs(rng, texts, "0123456789aZ._~^-")
    ours = [quorlen.compare(a, b, ecosystem="rpm") for a, b in pairs]
    theirs = [sign(rpm.labelCompare(rpm_split(a), rpm_split(b))) for a, b in pairs]
    bad = disagreements(pairs, ours, theirs)
    assert not bad, f"{len(bad)} of {len(pairs)} disagree, e.g.:\n" + "\n".join(bad[:20])


# ------------------------------------------------------------------ SemVer
# Left out on purpose, as this library's own rules: an upper-case "V" prefix
# is accepted; build metadata after '+' is neither checked nor kept; numbers
# go up to 2**64 - 1 (npm stops at 2**53 - 1); trimming removes every Unicode
# white-space character.

NODE_PROGRAM = r"""
const semver = require(process.argv[1]);
let input = "";
process.stdin.on("data", (d) => (input += d));
process.stdin.on("end", () => {
  const job = JSON.parse(input);
  const valid = job.valid.map((v) => semver.valid(v) !== null);
  const cmp = job.pairs.map(([a, b]) => semver.compare(a, b));
  process.stdout.write(JSON.stringify({ valid, cmp }));
});
"""


def run_node(job):
    return run_node_semver(NODE_PROGRAM, job, timeout=120)


def accepts(text):
    try:
        quorlen.compare(text, text, ecosystem="semver")
    except ValueError:
        return False
    return True


IDENTIFIERS = ["alpha", "beta", "rc", "Beta", "RC", "0", "1", "2", "9", "10", "11", "123", "0a", "a1", "x-y", "--",
               "-1", "1-", "pre", "z"]


def semver_realistic(rng):
    text = ".".join(str(rng.choice([0, 1, 2, 9, 10, 11, 99, 100, 123456])) for _ in range(3))
    if rng.random() < 0.6:
        text += "-" + ".".join(rng.choice(IDENTIFIERS) for _ in range(rng.randint(1, 4)))
    if rng.random() < 0.15:
        text += "+" + pick(rng, ["build.1", "sha.5114f85", "001", "x-y"])
    if rng.random() < 0.1:
        text = "v" + text
    return text


def test_semver_ordering_matches_npm():
    node_semver()
    rng = random.Random(20240613)
    texts = [semver_realistic(rng) for _ in range(800)]
    pairs = pairs_from(rng, texts, SEMVER_PAIRS)
    result = run_node({"valid": texts, "pairs": pairs})
    refused = [t for t, ok in zip(texts, result["valid"]) if not ok]
    assert not refused, f"npm refuses texts of our test set: {refused[:10]}"
    ours = [quorlen.compare(a, b, ecosystem="semver") for a, b in pairs]
    bad = disagreements(pairs, ours, result["cmp"])
    assert not bad, f"{len(bad)} of {len(pairs)} disagree, e.g.:\n" + "\n".join(bad[:20])


def test_semver_acceptance_and_ordering_match_npm_on_character_soup():
    node_semver()
    rng = random.Random(20240614)
    # No '+', no upper-case prefix, no blanks: see the rules left out above.
    # Few cores, so that the prereleases decide most pairs.
    cores = ["0.0.0", "1.0.0", "1.2.3", "v1.2.3", "10.0.1"]
    shapes = [lambda: soup(rng, "0123456789..--aZv", 1, 12),
              lambda: rng.choice(cores) + "-" + soup(rng, "0012..--aZzv_", 0, 8),
              lambda: rng.choice(cores) + soup(rng, "0012.-aZ", 0, 3)]
    texts = [rng.choice(shapes)() for _ in range(SEMVER_SOUP)]
    accepted = [t for t in texts if accepts(t)]
    pairs = pairs_from(rng, accepted, SEMVER_PAIRS) if accepted else []
    result = run_node({"valid": texts, "pairs": pairs})
    bad = [f"{t!r}: ours {'accepts' if accepts(t) else 'refuses'}" for t, ok in zip(texts, result["valid"])
           if accepts(t) != ok]
    assert not bad, f"{len(bad)} of {len(texts)} acceptance disagreements, e.g.:\n" + "\n".join(bad[:20])
    assert len(accepted) > len(texts) // 10, "the soup should yield enough valid versions to order"
    ours = [quorlen.compare(a, b, ecosystem="semver") for a, b in pairs]
    bad = disagreements(pairs, ours, result["cmp"])
    assert not bad, f"{len(bad)} of {len(pairs)} disagree, e.g.:\n" + "\n".join(bad[:20])
