"""The orderings of ruby, arch, cpan, cran and composer against the tools that
define them (RubyGems' Gem::Version, pacman's libalpm, Perl's version.pm,
R's compareVersion, composer/semver), on real version strings and on copies
of them changed at one place. Pairs where the tool refuses a text, or our
check does, are left out and counted; every other pair must agree.

Run as a script to print the agreement of each ordering and of the generic
one these ecosystems used before."""
import random
import re
import sys

import pytest

import native_oracles as o
import quorlen
from helpers import merge_sort


def arch_texts():
    return o.accepted({v for _, v in o.debian_versions()} | o.osv_versions("AlmaLinux.zip", "Alpine.zip"), "arch")


def ruby_texts():
    pool = o.gemfile_versions() | o.debian_upstreams(r"ruby-.*")
    return o.accepted(pool, "ruby")


def cpan_texts():
    return o.accepted(o.debian_upstreams(r"lib.*-perl"), "cpan")


def cran_texts():
    return o.accepted(o.debian_upstreams(r"r-(cran|bioc)-.*"), "cran")


def nix_texts():
    # Nix packages carry their upstream versions.
    upstreams = sorted(o.debian_upstreams(r".*"))
    return o.accepted(random.Random(27).sample(upstreams, min(4000, len(upstreams))), "nix")


def composer_texts():
    return o.accepted(o.composer_versions() | o.debian_upstreams(r"php-.*"), "composer")


# ecosystem: (real texts, characters the mutated copies gain, the tool)
CASES = {
    "arch": (arch_texts, ".-_:+~a1029", o.alpm_vercmp),
    "cpan": (cpan_texts, "._v01259a", o.perl_version),
    "ruby": (ruby_texts, ".-01a9zA", o.gem_version),
    "cran": (cran_texts, ".-0129", o.r_package_version),
    "composer": (composer_texts, ".-01abp9RC", o.composer_compare),
    "nix": (nix_texts, ".-0pre1a9_", o.nix_compare_versions),
}


def compared(eco, ordering=None):
    """(pair, ours, theirs) of the pairs both sides accept."""
    texts, alphabet, tool = CASES[eco]
    pairs = o.pairs_of(texts(), alphabet)
    if not pairs:
        pytest.skip(f"no real {eco} versions on this machine (Debian's package lists, ../shared)")
    theirs = tool(pairs)
    mine = o.ours(pairs, ordering or eco)
    accept = o.ours([(a, a) for a, _ in pairs], eco), o.ours([(b, b) for _, b in pairs], eco)
    return [(p, x, y) for p, x, y, ka, kb in zip(pairs, mine, theirs, *accept)
            if y is not None and ka is not None and kb is not None]


@pytest.mark.parametrize("eco", CASES)
def test_agrees_with_the_ecosystems_tool(eco):
    rows = compared(eco)
    assert len(rows) > 1000
    bad = [f"{a!r} vs {b!r}: ours {x}, tool {y}" for (a, b), x, y in rows if x != y]
    assert not bad, f"{len(bad)} of {len(rows)}:\n" + "\n".join(bad[:20])


# Spellings where the rules of each tool are at their finest, every pair of
# them against the tool.
CORNERS = {
    "cpan": ["1.2_3", "1.23", "v1_2", "1.15_01", "1.1501", "1.15", "1.9", "v1.2.3", "1.2.3", "1.002003", "1.2.3_4",
             "1.2.34", ".5", "0.5", "1.", "1", "v1", "v1.0.0", "99999999999", "2147483647", "1.99999999999",
             "0.001_001", "0.001001", "v1.2.3.4.5.6", "1.02", "1.020", "01.2", "1.2.3.0", "v1.02.3", "v1.2_3"],
    "ruby": ["1.0.dev", "1.0.0a25", "1.0.pre", "1.0.rc", "1.0-rc1", "1.0.0.rc.1", "1.a", "1.0.a", "1.0.a.0", "1.A",
             "1.0.0", "1", "01.0", "1.0.b1", "1.0.beta", "1.0.0.0.1", "1.0-1", "1.0.pre.1", "1.0.a10", "1.0.a9",
             "1.0.0a", "1.0a1.0", "0", "0.0.a", "1.1.a.0.1", "1.1.a.1", "1.10", "1.9", "99999999999999999999.1"],
    "nix": ["1.0", "1.0.0", "1.0pre1", "1.0-pre", "1.0pre", "1.0a", "1.0.1", "2.3a", "2.3", "2.3.1", "1.0-rc1", "1.0.",
            "01.0", "1..0", "2147483647", "2147483648", "02147483648", "1.0_1", "pre", "a", "1.0rc", "1.0rc1",
            "0.0.0", "1-1", "1.1", "1.a.1", "1.1a", "1.0.A", "1.0.0pre"],
}


@pytest.mark.parametrize("eco", CORNERS)
def test_corners_agree_with_the_tool(eco):
    pairs = [(a, b) for a in CORNERS[eco] for b in CORNERS[eco]]
    rows = [(p, x, y) for p, x, y in zip(pairs, o.ours(pairs, eco), CASES[eco][2](pairs)) if y is not None]
    assert len(rows) > len(pairs) // 2
    assert [(p, x, y) for p, x, y in rows if x != y] == []


@pytest.mark.parametrize("eco", ["arch", "cpan", "ruby", "nix"])
def test_every_path_orders_alike(eco):
    """Version objects, their hashes, sorting, the maximum, batches and
    range bounds follow the pairwise ordering of the ecosystem."""
    texts = CASES[eco][0]()[:300]
    if len(texts) < 2:
        pytest.skip(f"no real {eco} versions on this machine")
    texts = texts + [t + ".0" for t in texts[:40]] + ["0" + t for t in texts[:40]]

    def less(a, b):
        return quorlen.compare(a, b, ecosystem=eco) < 0

    expected = merge_sort(texts, less)
    assert quorlen.sort_versions(texts, ecosystem=eco) == expected
    assert quorlen.max_version(texts, ecosystem=eco) == merge_sort(texts, lambda a, b: less(b, a))[0]
    neighbours = list(zip(expected, expected[1:]))
    answers = quorlen.batch_compare(neighbours, eco)
    for (a, b), batched in zip(neighbours, answers):
        va, vb = quorlen.Version(a, eco), quorlen.Version(b, eco)
        c = quorlen.compare(a, b, ecosystem=eco)
        assert batched == c
        assert (va < vb, va == vb, va > vb) == (c < 0, c == 0, c > 0), (a, b)
        assert quorlen.satisfies(b, f">={a}", eco) == (c <= 0), (a, b)
        if c == 0:
            assert hash(va) == hash(vb), (a, b)


def test_cran_differs_from_compare_version_on_trailing_zeros_only():
    """R's older compareVersion counts components (1.0 < 1.0.0); its version
    class, which R's own dependency checks use, and ours hold them equal."""
    rows = compared("cran")
    theirs = o.r_compare_version([p for p, _, _ in rows])
    differ = [p for (p, x, _), y in zip(rows, theirs) if y is not None and x != y]
    assert differ
    for a, b in differ:
        assert without_trailing_zeros(a) == without_trailing_zeros(b), (a, b)


def without_trailing_zeros(text):
    parts = [int(n) for n in re.split(r"[.-]", text)]
    while parts and parts[-1] == 0:
        parts.pop()
    return parts


def agreement(eco, ordering=None):
    rows = compared(eco, ordering)
    return sum(x == y for _, x, y in rows), len(rows)


if __name__ == "__main__":
    for name in sys.argv[1:] or CASES:
        before = agreement(name, "generic")
        after = agreement(name)
        print(f"{name}: generic {before[0]}/{before[1]}, own ordering {after[0]}/{after[1]}")
