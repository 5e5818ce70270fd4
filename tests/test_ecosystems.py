"""Ecosystem names, aliases and detection of an ecosystem from a version's shape."""
import pytest

import quorlen
from helpers import CANONICAL, unsupported as unsupported_message

ALIASES = {
    "semver_strict": "semver", "semver-strict": "semver", "python": "pep440", "pep-440": "pep440",
    "deb": "debian", "dpkg": "debian", "redhat": "rpm", "gem": "ruby", "rubygems": "ruby", "mvn": "maven",
    "golang": "go", "node": "npm", "nodejs": "npm", "dotnet": "nuget", "php": "composer",
    "packagist": "composer", "cargo": "crates", "crates.io": "crates", "elixir": "hex", "erlang": "hex",
    "swiftpm": "swift", "apk": "alpine", "oci": "docker", "mamba": "conda", "pacman": "arch",
    "archlinux": "arch", "portage": "gentoo", "r": "cran", "r-cran": "cran", "pub": "dart",
    "flutter": "dart", "pkg": "julia", "opentofu": "terraform", "chart": "helm", "charts": "helm",
    "perl": "cpan", "nixpkgs": "nix", "brew": "homebrew", "freebsd-pkg": "freebsd",
}


needs_version_ecosystem = pytest.mark.skipif(
    not hasattr(quorlen.Version("1"), "ecosystem"), reason="Version.ecosystem not built yet"
)


def unsupported(name):
    with pytest.raises(quorlen.UnknownEcosystemError) as info:
        quorlen.compare("1", "1", ecosystem=name)
    return str(info.value)


@needs_version_ecosystem
@pytest.mark.parametrize("name, canonical", [(c, c) for c in CANONICAL] + sorted(ALIASES.items()))
def test_every_accepted_name_resolves_to_its_ecosystem(name, canonical):
    text = "v1.0.0" if canonical == "go" else "1.0.0"
    assert quorlen.Version(text, name).ecosystem == canonical
    assert quorlen.Version(text, name.upper()).ecosystem == canonical


@needs_version_ecosystem
@pytest.mark.parametrize(
    "name, canonical",
    [("SEMVER-STRICT", "semver"), ("Semver_Strict", "semver"), ("Node", "npm"), ("R", "cran"),
     ("Crates.IO", "crates"), ("FreeBSD-pkg", "freebsd"), ("OpenTofu", "terraform"), ("pkg", "julia")],
)
def test_names_ignore_ascii_case(name, canonical):
    assert quorlen.Version("1.0.0", name).ecosystem == canonical


@pytest.mark.parametrize(
    "name, shown",
    [("PyPI", "pypi"), ("NOPE", "nope"), ("", ""), (" npm", " npm"), ("npm ", "npm "), ("auto ", "auto "),
     ("ÉCO", "Éco"), ("semver\x00", "semver\x00")],
)
def test_unknown_names_are_reported_lower_cased(name, shown):
    assert unsupported(name) == unsupported_message(shown)


@pytest.mark.parametrize(
    "text, expected",
    [
        ("", "generic"), ("1.2.3", "generic"), ("v1.2.3", "generic"),
        ("1!2.0", "pep440"), ("1.0~rc1", "debian"), ("1.0^git1", "rpm"),
        ("1.0.post1", "pep440"), ("1.0.dev0", "pep440"),
        ("v1.2.3+incompatible", "go"), ("v1.2.3+incompatible ", "generic"),
        ("1.0-SNAPSHOT", "maven"),
        ("3.9_0py", "conda"), ("1.2_alpha1", "alpine"), ("1.2_p3", "alpine"),
        ("1.0-1+deb11u1", "debian"), ("1.0+ubuntu1", "debian"),
        ("2.17-326.el7", "rpm"), ("1.0.fc", "generic"), ("1.el.el7", "generic"), ("2.0-1.amzn2", "rpm"),
        ("1.0a1", "pep440"), ("1.0b2", "pep440"), ("1.0rc1", "pep440"), ("1.0-rc1", "generic"),
        ("3.18.4-r0", "alpine"), ("1.0-r", "generic"), ("-r1", "generic"),
        ("1.0.0.rc1", "generic"), ("1.0.0.rc", "ruby"), ("1.0.beta1", "ruby"), ("1.0.pre", "ruby"),
        ("1.0.alpha", "ruby"), ("1.0.rc-1", "generic"),
        ("2024.01.15", "calver"), ("2024", "generic"), ("1989.1", "generic"), ("2101.1", "generic"),
        ("1990.1", "calver"), ("2100.1", "calver"), ("99999999999.1", "generic"),
    ],
)
@needs_version_ecosystem
def test_detection(text, expected):
    # Every text above parses under its detected ecosystem, so no fallback hides the guess.
    assert quorlen.Version(text).ecosystem == expected


@pytest.mark.parametrize(
    "text, message",
    [
        # Detected as go (the suffix test ignores case) and as conda ("py" and
        # "_"), whose checks then refuse the text: the message names the guess.
        ("V1.2.3+INCOMPATIBLE", "Go version must start with a lowercase 'v' prefix: 'V1.2.3+INCOMPATIBLE'"),
        ("py3.9_0", "Conda version must start with a digit: 'py3.9_0'"),
    ],
)
def test_detection_seen_through_the_detected_rules(text, message):
    with pytest.raises(ValueError) as info:
        quorlen.compare(text, "1", ecosystem="auto")
    assert str(info.value) == message
    # A Version built with "auto" falls back to generic instead of raising.
    assert quorlen.Version(text).ecosystem == "generic"


def test_auto_with_a_blank_is_an_unknown_name():
    # "auto" is recognised before name lookup, exactly four bytes; with a
    # blank it is just an unknown name.
    assert unsupported(" auto") == unsupported_message(" auto")


@pytest.mark.parametrize("spelling", ["auto", "AUTO", "Auto", "aUtO"])
def test_auto_in_any_case_detects(spelling):
    # Under auto the first text decides: 1.0~rc1 is Debian, where ~ sorts first.
    assert quorlen.compare("1.0~rc1", "1.0", ecosystem=spelling) == -1
