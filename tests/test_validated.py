"""The twenty-three ecosystems that reuse the generic or the strict SemVer
rules behind a syntax check of their own."""

import pytest

import quorlen

# (names the ecosystem answers to, its label in messages)
DIGIT_FIRST = [
    (["ruby", "gem", "rubygems"], "Ruby gem"),
    (["nuget", "dotnet"], "NuGet"),
    (["calver"], "CalVer"),
    (["alpine", "apk"], "Alpine"),
    (["conda", "mamba"], "Conda"),
    (["gentoo", "portage"], "Gentoo"),
    (["terraform", "opentofu"], "Terraform/OpenTofu"),
]
NOT_EMPTY = [
    (["spack"], "empty Spack version"),
    (["cpan", "perl"], "empty CPAN version"),
    (["nix", "nixpkgs"], "empty Nix version"),
    (["homebrew", "brew"], "empty Homebrew version"),
    (["freebsd", "freebsd-pkg"], "empty FreeBSD pkg version"),
    (["docker", "oci"], "empty Docker tag"),
]
SEMVER_FAMILY = [
    ["crates", "cargo", "crates.io"],
    ["hex", "elixir", "erlang"],
    ["swift", "swiftpm"],
    ["dart", "pub", "flutter"],
    ["julia", "pkg"],
    ["helm", "chart", "charts"],
]
GENERIC_FAMILY = [n for names, _ in DIGIT_FIRST + NOT_EMPTY for n in names] + [
    "composer", "php", "packagist", "arch", "pacman", "archlinux", "cran", "r", "r-cran",
]
# Checked like the generic family, but ordered by their own tools' rules
# (tests/test_native_orderings.py).
NATIVE = {"alpine", "apk", "gentoo", "portage", "nuget", "dotnet", "conda", "mamba", "terraform", "opentofu", "freebsd", "freebsd-pkg", "spack", "homebrew", "brew"}


def cmp(a, b, eco):
    return quorlen.compare(a, b, ecosystem=eco)


def error(text, eco):
    with pytest.raises(ValueError) as info:
        quorlen.compare(text, text, ecosystem=eco)
    return str(info.value)


def assert_less(a, b, eco):
    assert cmp(a, b, eco) == -1, (a, b, eco)
    assert cmp(b, a, eco) == 1, (b, a, eco)


def assert_same(a, b, eco):
    assert cmp(a, b, eco) == 0, (a, b, eco)
    assert cmp(b, a, eco) == 0, (b, a, eco)


def each_name(table):
    return [(name, label) for names, label in table for name in names]


# ---------------------------------------------------------------- generic family


@pytest.mark.parametrize("eco, label", each_name(DIGIT_FIRST))
def test_digit_first_checks(eco, label):
    for empty in ["", "   ", "\u3000\t"]:
        assert error(empty, eco) == f"empty {label} version"
    for text in ["v2.0", " x1", "latest", ".1", "\u0661.0"]:
        assert error(text, eco) == f"{label} version must start with a digit: '{text}'"
    # Passing texts reach the parse untouched, blanks and all.
    assert_same("  2.0 ", "2.0", eco)
    if eco not in NATIVE:
        assert_same("  2.0 ", "2", eco)
        assert_less("2.0rc1", "2.0", eco)


@pytest.mark.parametrize("eco, message", each_name(NOT_EMPTY))
def test_not_empty_checks(eco, message):
    for empty in ["", "   ", "\n"]:
        assert error(empty, eco) == message
    if eco in ("nix", "nixpkgs", "spack"):  # Nix and Spack order words by their bytes
        assert_less("ABC", "abc", eco)
    else:
        assert_same("abc", "ABC", eco)  # a letter may lead
    if eco not in NATIVE:
        assert_less("abc", "abd", eco)
    assert_less("latest", "1", eco)


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "empty Composer version"),
        ("  ", "empty Composer version"),
        ("v", "Composer version must start with a digit: 'v'"),
        ("V", "Composer version must start with a digit: 'V'"),
        ("dev-main", "Composer version must start with a digit: 'dev-main'"),
        (" vx1", "Composer version must start with a digit: ' vx1'"),
        ("vv1", "Composer version must start with a digit: 'vv1'"),
    ],
)
def test_composer_refusals(text, message):
    assert error(text, "composer") == message


@pytest.mark.parametrize("eco", ["composer", "php", "packagist"])
def test_composer_takes_a_v_prefix(eco):
    assert_same("v1.2.3", "1.2.3", eco)
    assert_same("V1.2.3", "1.2.3", eco)
    assert_less("1.2.3-beta1", "v1.2.3", eco)


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "empty Arch version"),
        (" ", "empty Arch version"),
        ("1:", "invalid Arch version: '1:'"),
        (" 12: ", "invalid Arch version: ' 12: '"),
        (":", "invalid Arch version: ':'"),
        (".1", "invalid Arch version: '.1'"),
        ("1:.1", "invalid Arch version: '1:.1'"),
        ("-1", "invalid Arch version: '-1'"),
        ("é1", "invalid Arch version: 'é1'"),
    ],
)
def test_arch_refusals(text, message):
    assert error(text, "arch") == message


@pytest.mark.parametrize("eco", ["arch", "pacman", "archlinux"])
def test_arch_acceptance(eco):
    assert_less("9.9-1", "1:2.0-1", eco)  # the epoch prefix counts
    assert_less("x1", "x:1", eco)  # no epoch: a letter leads, and the ':' is a separator more
    assert_same(":1", "1", eco)  # an empty epoch before text is allowed
    assert_same("1:2:3", "1:2.3", eco)  # only the first ':' ends an epoch
    assert_less("r1", "1", eco)


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "empty R/CRAN version"),
        (" x1", "R/CRAN version must start with a digit: 'x1'"),
        ("\tv1.0\n", "R/CRAN version must start with a digit: 'v1.0'"),
        ("1.2.3a", "R/CRAN version must contain only digits, '.', or '-': '1.2.3a'"),
        (" 1.0+1 ", "R/CRAN version must contain only digits, '.', or '-': ' 1.0+1 '"),
        ("1.0 1", "R/CRAN version must contain only digits, '.', or '-': '1.0 1'"),
        ("1:2", "R/CRAN version must contain only digits, '.', or '-': '1:2'"),
        ("1.0\u00b2", "R/CRAN version must contain only digits, '.', or '-': '1.0\u00b2'"),
    ],
)
def test_cran_refusals(text, message):
    assert error(text, "cran") == message


@pytest.mark.parametrize("eco", ["cran", "r", "r-cran", "R"])
def test_cran_acceptance(eco):
    assert_same("1.2-3", "1.2.3", eco)
    assert_less("1.2-3", "1.2-10", eco)
    assert_same(" 0.9 ", "0.9.0", eco)
    texts = ["0.9", "1", "1.0-0", "1.0.1", "1-1", "10.0", "2.0.0.0.1"]
    for a in texts:
        for b in texts:
            assert cmp(a, b, eco) == quorlen.compare(a, b)


# Ecosystems whose defining tool orders otherwise keep the generic parse but
# not its ordering.
OWN_ORDERING = ["arch", "pacman", "archlinux", "cpan", "perl", "ruby", "gem", "rubygems", "nix", "nixpkgs"]


@pytest.mark.parametrize("eco", [n for n in GENERIC_FAMILY if n not in ["cran", "r", "r-cran"] + OWN_ORDERING and n not in NATIVE])
def test_generic_family_orders_like_generic(eco):
    texts = ["1.0~1", "1.0.dev1", "1.0a1", "1.0rc1", "1.0", "1.0-final", "1.0.post1", "1.0.1", "2!0.1", "10.0"]
    for a in texts:
        for b in texts:
            assert cmp(a, b, eco) == quorlen.compare(a, b)


# ------------------------------------------------------------------ go


@pytest.mark.parametrize("eco", ["go", "golang", "GoLang"])
@pytest.mark.parametrize(
    "text, message",
    [
        ("V1.2.3", "Go version must start with a lowercase 'v' prefix: 'V1.2.3'"),
        ("1.2.3", "Go version must start with a lowercase 'v' prefix: '1.2.3'"),
        ("", "Go version must start with a lowercase 'v' prefix: ''"),
        ("v", "Go version must start with a lowercase 'v' prefix: 'v'"),
        ("vx", "Go version must start with a lowercase 'v' prefix: 'vx'"),
        (" 1.2.3 ", "Go version must start with a lowercase 'v' prefix: ' 1.2.3 '"),
        ("v1.2", "Expected 3 parts, got 2"),
        ("v01.2.3", "leading zero in major: '01'"),
        ("v1.2.3-", "empty prerelease"),
    ],
)
def test_go_refusals(eco, text, message):
    assert error(text, eco) == message


@pytest.mark.parametrize("eco", ["go", "golang"])
def test_go_ordering(eco):
    assert_same(" v1.2.3 ", "v1.2.3", eco)
    assert_same("v2.0.0+incompatible", "v2.0.0", eco)
    assert_less("v0.0.0-20230101120000-abcdef123456", "v0.0.0", eco)
    assert_less("v1.2.3-rc.1", "v1.2.3", eco)
    assert_less("v1.9.0", "v1.10.0", eco)


# ---------------------------------------------------------------- SemVer family

SEMVER_TEXTS = [
    "1.2.3", "v1.2.3", "1.2.3-rc.1", "1.2.3-rc.2+b", "1.2.3-Beta", "1.2.3-10", "1.2.4", "0.0.0", " 2.0.0 ",
]
SEMVER_REFUSED = ["1.2", "01.2.3", "1.2.3-", "1.2.3-a..b", "1.2.3-a_b", "1.2.3-01", ""]


@pytest.mark.parametrize("eco", [n for names in SEMVER_FAMILY for n in names])
def test_semver_family_behaves_as_semver(eco):
    for a in SEMVER_TEXTS:
        for b in SEMVER_TEXTS:
            assert cmp(a, b, eco) == cmp(a, b, "semver")
    for text in SEMVER_REFUSED:
        assert error(text, eco) == error(text, "semver")


@pytest.mark.parametrize("eco", [names[0] for names in SEMVER_FAMILY])
def test_semver_family_ordering(eco):
    assert_less("1.2.3-rc.1", "1.2.3", eco)
    assert_less("1.2.3-2", "1.2.3-10", eco)
    assert_same("1.2.3+a", "1.2.3+b", eco)
    assert error("1.2", eco) == "Expected 3 parts, got 2"


# ------------------------------------------------------------------ coverage


def test_every_validated_ecosystem_is_covered():
    listed = {names[0] for names, _ in DIGIT_FIRST + NOT_EMPTY} | {names[0] for names in SEMVER_FAMILY}
    listed |= {"composer", "arch", "cran", "go"}
    assert len(listed) == 23
