"""PEP 440 versions: the syntax screen with its messages, the ranking of the
release words, epochs and local labels."""

import pytest

import quorlen

PEP440_NAMES = ["pep440", "python", "pep-440", "PEP440"]
U64_MAX = 2**64 - 1


def cmp(a, b, eco="pep440"):
    return quorlen.compare(a, b, ecosystem=eco)


def error(text, eco="pep440"):
    with pytest.raises(ValueError) as info:
        quorlen.compare(text, text, ecosystem=eco)
    return str(info.value)


def assert_less(a, b, eco="pep440"):
    assert cmp(a, b, eco) == -1, (a, b)
    assert cmp(b, a, eco) == 1, (b, a)


def assert_same(a, b, eco="pep440"):
    assert cmp(a, b, eco) == 0, (a, b)
    assert cmp(b, a, eco) == 0, (b, a)


@pytest.mark.parametrize("eco", PEP440_NAMES)
@pytest.mark.parametrize(
    "text, message",
    [
        ("", "empty PEP 440 version: ''"),
        ("   ", "empty PEP 440 version: '   '"),
        ("+abc", "empty PEP 440 version: '+abc'"),
        ("1!", "empty PEP 440 version: '1!'"),
        (" 1!+x ", "empty PEP 440 version: ' 1!+x '"),
        ("!1.0", "invalid PEP 440 epoch: ''"),
        ("x1!2.0", "invalid PEP 440 epoch: 'x1'"),
        (" v1.0!2", "invalid PEP 440 epoch: '1.0'"),
        ("1.0+a!b", "invalid PEP 440 epoch: '1.0+a'"),
        ("v", "PEP 440 version must start with a digit: 'v'"),
        ("va1", "PEP 440 version must start with a digit: 'va1'"),
        ("vv1", "PEP 440 version must start with a digit: 'vv1'"),
        (" abc ", "PEP 440 version must start with a digit: ' abc '"),
        ("1!v2.0", "PEP 440 version must start with a digit: '1!v2.0'"),
        (".1", "PEP 440 version must start with a digit: '.1'"),
    ],
)
def test_refused_texts(eco, text, message):
    assert error(text, eco) == message


def test_epoch_beyond_64_bits_is_refused():
    # Read as 0 it would rank below every small epoch.
    assert error("18446744073709551616!1.0") == "invalid PEP 440 epoch: '18446744073709551616'"
    assert_less("1!1.0", "18446744073709551615!0.1")


@pytest.mark.parametrize(
    "group",
    [
        ["1.0", "1.0.0", "1", "v1.0", "V1.0", " 1.0 ", "1.0-final", "1.0.release"],
        ["1.0a1", "1.0alpha1", "1.0.alpha.1", "1.0-A1"],
        ["1.0c1", "1.0rc1", "1.0pre1", "1.0preview1", "1.0RC1"],
        ["1.0.post1", "1.0post1", "1.0-p1"],
        ["1.0-1", "1.0.1"],
        ["1!0.5", "1:0.5"],
        ["1.0+ABC", "1.0+abc", "1.0+abc.0", "1.0+abc-0"],
        ["1.0+", "1.0+0", "1.0+..", "1.0+0.0"],
        ["1!2.0+a!b", "1!2.0+a.b"],
        ["1.0+" + "9" * 25, "1.0+%d" % U64_MAX],
    ],
)
def test_equal_spellings(group):
    for a in group:
        for b in group:
            assert_same(a, b)


RANKED = [
    "0.9",
    "1.0.dev1",
    "1.0a1.dev1",
    "1.0a1",
    "1.0a2",
    "1.0b1",
    "1.0rc1",
    "1.0r1",  # unknown words rank just below a release
    "1.0",
    "1.0+abc",
    "1.0+5",
    "1.0.post1",
    "1.0.post1+local",
    "1.0.1",
    "2.0",
    "1!0.5",
]


def test_ranked_versions_are_ordered_pairwise():
    for i, a in enumerate(RANKED):
        for b in RANKED[i + 1 :]:
            assert_less(a, b)


@pytest.mark.parametrize(
    "a, b",
    [
        ("1.0rc1", "1.0rev1"),
        ("1.0rev1", "1.0"),
        ("1.0", "1.0+"),  # an empty local label still makes it greater
        ("1.0+ubuntu", "1.0+ubuntu.1"),
        ("1.0+abc", "1.0+abd"),
        ("1.0+a9", "1.0+a10"),
        ("1.0+rc1", "1.0+1"),
        ("9.9", "1!2.0"),
    ],
)
def test_pairs_in_order(a, b):
    assert_less(a, b)


def test_generic_and_pep440_differ_only_by_local_labels():
    # The generic ordering ignores everything after '+'; PEP 440 does not.
    assert quorlen.compare("1.0+abc", "1.0+abd") == 0
    assert_less("1.0+abc", "1.0+abd")
