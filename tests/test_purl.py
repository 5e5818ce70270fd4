"""Package URLs: parse_purl, build_purl and purl_ecosystem."""
import inspect

import pytest
from hypothesis import given, strategies as st

from quorlen import build_purl, parse_purl, purl_ecosystem

KEYS = ["type", "namespace", "name", "version", "qualifiers", "subpath", "ecosystem"]


def parts(type, name, namespace=None, version=None, qualifiers=None, subpath=None, ecosystem=None):
    return {"type": type, "namespace": namespace, "name": name, "version": version,
            "qualifiers": qualifiers, "subpath": subpath, "ecosystem": ecosystem}


@pytest.mark.parametrize("text, expected, rendered", [
    ("pkg:maven/org.example/demo-lib@3.12.0?type=jar#sources",
     parts("maven", "demo-lib", "org.example", "3.12.0", "type=jar", "sources", "maven"), None),
    ("pkg:NPM/demo-lib", parts("npm", "demo-lib", ecosystem="npm"), "pkg:npm/demo-lib"),
    ("pkg:npm/demo-lib@", parts("npm", "demo-lib", version="", ecosystem="npm"), None),
    ("pkg:npm/demo-lib?", parts("npm", "demo-lib", qualifiers="", ecosystem="npm"), None),
    ("pkg:npm/demo-lib#", parts("npm", "demo-lib", subpath="", ecosystem="npm"), None),
    ("pkg:npm/demo-lib@?#", parts("npm", "demo-lib", version="", qualifiers="", subpath="", ecosystem="npm"), None),
    ("pkg:npm/%40acme/widget@16.0.0", parts("npm", "widget", "%40acme", "16.0.0", ecosystem="npm"), None),
    ("pkg:a/b#c?d", parts("a", "b", subpath="c?d"), None),
    ("pkg:a/b?c#d?e", parts("a", "b", qualifiers="c", subpath="d?e"), None),
    ("pkg:npm//demo-lib/", parts("npm", "demo-lib", ecosystem="npm"), "pkg:npm/demo-lib"),
    ("pkg:golang/example.com//a/b/c@v1.2.3",
     parts("golang", "c", "example.com/a/b", "v1.2.3", ecosystem="go"), "pkg:golang/example.com/a/b/c@v1.2.3"),
    # only the last "@" separates the version; an earlier one stays in the path
    ("pkg:npm/a@b/c@1.0", parts("npm", "c", "a@b", "1.0", ecosystem="npm"), None),
    # an "@" inside the qualifiers or subpath is not a version separator
    ("pkg:npm/demo?repo=a@b#x@y", parts("npm", "demo", qualifiers="repo=a@b", subpath="x@y", ecosystem="npm"), None),
    # the version may hold "/"
    ("pkg:generic/tool@1.0/2", parts("generic", "tool", version="1.0/2", ecosystem="generic"), None),
    # the type is lower-cased in ASCII only; other parts keep their case
    ("pkg:PyPI/Django@4.2RC1", parts("pypi", "Django", version="4.2RC1", ecosystem="pep440"), "pkg:pypi/Django@4.2RC1"),
    ("pkg:ÄPT/x", parts("Äpt", "x"), "pkg:Äpt/x"),
    ("pkg:deb/debian/curl@7.50.3-1?arch=i386&distro=jessie",
     parts("deb", "curl", "debian", "7.50.3-1", "arch=i386&distro=jessie", ecosystem="debian"), None),
    ("pkg:npm/ demo ", parts("npm", " demo ", ecosystem="npm"), None),
])
def test_parse_and_render(text, expected, rendered):
    got = parse_purl(text)
    assert got == expected
    assert list(got) == KEYS
    assert purl_ecosystem(text) == expected["ecosystem"]
    fields = {k: got[k] for k in ("version", "namespace", "qualifiers", "subpath")}
    assert build_purl(got["type"], got["name"], **fields) == (rendered or text)


@pytest.mark.parametrize("text, message", [
    ("PKG:npm/demo-lib", "invalid purl 'PKG:npm/demo-lib'; expected 'pkg:' prefix"),
    ("", "invalid purl ''; expected 'pkg:' prefix"),
    ("pkg", "invalid purl 'pkg'; expected 'pkg:' prefix"),
    (" pkg:npm/a", "invalid purl ' pkg:npm/a'; expected 'pkg:' prefix"),
    ("npm/demo", "invalid purl 'npm/demo'; expected 'pkg:' prefix"),
    ("pkg:", "invalid purl 'pkg:'; expected package type and name"),
    ("pkg:npm", "invalid purl 'pkg:npm'; expected package type and name"),
    ("pkg:npm?a/b", "invalid purl 'pkg:npm?a/b'; expected package type and name"),
    ("pkg:npm#a/b", "invalid purl 'pkg:npm#a/b'; expected package type and name"),
    ("pkg:/x", "invalid purl 'pkg:/x'; package type and name are required"),
    ("pkg:npm/", "invalid purl 'pkg:npm/'; package type and name are required"),
    ("pkg:npm/?q=1", "invalid purl 'pkg:npm/?q=1'; package type and name are required"),
    ("pkg:npm//", "invalid purl 'pkg:npm//'; missing package name"),
    ("pkg:npm/@acme/widget", "invalid purl 'pkg:npm/@acme/widget'; missing package name"),
    ("pkg:npm/@1.0", "invalid purl 'pkg:npm/@1.0'; missing package name"),
    ("pkg:npm//@1.0", "invalid purl 'pkg:npm//@1.0'; missing package name"),
])
def test_parse_errors(text, message):
    for fn in (parse_purl, purl_ecosystem):
        with pytest.raises(ValueError) as e:
            fn(text)
        assert str(e.value) == message


PURL_TYPES = {
    "generic": "generic", "pypi": "pep440", "python": "pep440", "deb": "debian", "debian": "debian",
    "rpm": "rpm", "gem": "ruby", "rubygems": "ruby", "maven": "maven", "go": "go", "golang": "go",
    "npm": "npm", "nuget": "nuget", "composer": "composer", "cargo": "crates", "crates": "crates",
    "hex": "hex", "swift": "swift", "apk": "alpine", "alpine": "alpine", "oci": "docker", "docker": "docker",
    "conda": "conda", "arch": "arch", "pacman": "arch", "gentoo": "gentoo", "portage": "gentoo",
    "r": "cran", "cran": "cran", "spack": "spack", "pub": "dart", "dart": "dart", "julia": "julia",
    "terraform": "terraform", "opentofu": "terraform", "helm": "helm", "cpan": "cpan", "perl": "cpan",
    "nix": "nix", "nixpkgs": "nix", "brew": "homebrew", "homebrew": "homebrew",
    "pkg": "freebsd", "freebsd": "freebsd",
}


@pytest.mark.parametrize("ptype, eco", sorted(PURL_TYPES.items()))
def test_type_to_ecosystem(ptype, eco):
    assert purl_ecosystem(f"pkg:{ptype}/x") == eco
    assert purl_ecosystem(f"pkg:{ptype.upper()}/x@1") == eco
    assert parse_purl(f"pkg:{ptype}/x")["ecosystem"] == eco


# Ecosystem names and aliases that are no package URL type, near misses, and
# the two orderings no registry uses.
@pytest.mark.parametrize("ptype", [
    "github", "semver", "calver", "pep440", "ruby", "cargo2", "np", "npm ", "mvn", "dpkg", "node",
    "bitbucket", "r-cran", "freebsd-pkg",
])
def test_unlisted_types_have_no_ecosystem(ptype):
    assert purl_ecosystem(f"pkg:{ptype}/x") is None
    assert parse_purl(f"pkg:{ptype}/x")["ecosystem"] is None


@pytest.mark.parametrize("args, kwargs, expected", [
    (("PyPI", "requests"), {}, "pkg:pypi/requests"),
    (("maven", "demo-lib"), dict(namespace="org.example", version="3.12.0", qualifiers="type=jar",
                                 subpath="sources"), "pkg:maven/org.example/demo-lib@3.12.0?type=jar#sources"),
    (("npm", "x"), dict(version="", namespace="", qualifiers="", subpath=""), "pkg:npm//x@?#"),
    (("npm", "x", None, None, None, None), {}, "pkg:npm/x"),
    (("npm", "x", "1", "ns", "a=b&c=d", "p/q"), {}, "pkg:npm/ns/x@1?a=b&c=d#p/q"),
    # nothing is encoded, trimmed or validated here
    ((" Npm ", " x y "), dict(version="1 0"), "pkg: npm / x y @1 0"),
    (("NPM", "X"), dict(namespace="@Scope"), "pkg:npm/@Scope/X"),
    (("ÄB", "x"), {}, "pkg:Äb/x"),
])
def test_build(args, kwargs, expected):
    assert build_purl(*args, **kwargs) == expected


@pytest.mark.parametrize("package_type, name", [
    ("", "x"), ("npm", ""), ("   ", "x"), ("npm", " \t\n"), ("\u3000", "x"), ("npm", "\u2003\u00a0"),
])
def test_build_requires_type_and_name(package_type, name):
    with pytest.raises(ValueError) as e:
        build_purl(package_type, name)
    assert str(e.value) == "package_type and name are required"


@pytest.mark.parametrize("args, kwargs, message", [
    ((None, "x"), {}, "build_purl() argument 'package_type' must be str, not None"),
    (("npm", 1), {}, "build_purl() argument 'name' must be str, not int"),
    (("npm", "x"), dict(qualifiers={"a": "b"}), "build_purl() argument 'qualifiers' must be str, not dict"),
    (("npm", "x"), dict(version=1.0), "build_purl() argument 'version' must be str, not float"),
    (("npm", "x"), dict(namespace=b"ns"), "build_purl() argument 'namespace' must be str, not bytes"),
    (("npm", "x"), dict(subpath=["a"]), "build_purl() argument 'subpath' must be str, not list"),
    # the type check of every argument comes before the blank test
    (("", "x"), dict(subpath=1), "build_purl() argument 'subpath' must be str, not int"),
    (("npm",), {}, "build_purl() missing required argument 'name' (pos 2)"),
    (("npm", "x"), dict(type="npm"), "build_purl() got an unexpected keyword argument 'type'"),
    (("a", "b", "c", "d", "e", "f", "g"), {}, "build_purl() takes from 2 to 6 positional arguments but 7 were given"),
])
def test_build_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as e:
        build_purl(*args, **kwargs)
    assert str(e.value) == message


@pytest.mark.parametrize("fn", [parse_purl, purl_ecosystem])
def test_parse_argument_errors(fn):
    name = fn.__name__
    for bad, tname in [(None, "None"), (b"pkg:npm/x", "bytes"), (1, "int")]:
        with pytest.raises(TypeError) as e:
            fn(bad)
        assert str(e.value) == f"{name}() argument 'purl' must be str, not {tname}"
    assert fn(purl="pkg:npm/x") is not None
    with pytest.raises(TypeError) as e:
        fn()
    assert str(e.value) == f"{name}() missing required argument 'purl' (pos 1)"


def test_text_signatures():
    assert str(inspect.signature(parse_purl)) == "(purl)"
    assert str(inspect.signature(purl_ecosystem)) == "(purl)"
    assert str(inspect.signature(build_purl)) == (
        "(package_type, name, version=None, namespace=None, qualifiers=None, subpath=None)")
    for fn in (parse_purl, purl_ecosystem, build_purl):
        assert fn.__doc__ is None or fn.__doc__ == ""


# Texts near the grammar: separators are over-represented so that every
# branch of the parse is reached.
PURLISH = st.text(alphabet=st.sampled_from(list("pkg:/@?#aB1.-%é ")), max_size=24)


@given(st.one_of(PURLISH.map(lambda s: "pkg:" + s), PURLISH))
def test_render_of_parse_parses_to_the_same_parts(text):
    try:
        first = parse_purl(text)
    except ValueError as e:
        assert str(e).startswith(f"invalid purl '{text}'; ")
        return
    fields = {k: first[k] for k in ("version", "namespace", "qualifiers", "subpath")}
    rendered = build_purl(first["type"], first["name"], **fields) if first["type"].strip() and first["name"].strip() \
        else None
    if rendered is None:  # build_purl refuses blanks that parse_purl lets through
        return
    assert parse_purl(rendered) == first
    assert purl_ecosystem(rendered) == first["ecosystem"]


SEGMENT = st.text(alphabet=st.sampled_from(list("aZ09.-_%~é")), min_size=1, max_size=8)
FREE = st.text(alphabet=st.sampled_from(list("aZ09.-_%=&/@é ")), max_size=10)


@given(SEGMENT, st.lists(SEGMENT, max_size=3), SEGMENT,
       st.none() | st.text(alphabet=st.sampled_from(list("aZ09.-_+~é")), max_size=8),
       st.none() | FREE,
       st.none() | FREE)
def test_parse_of_build_gives_back_the_parts(ptype, namespace, name, version, qualifiers, subpath):
    ptype = ptype.replace("/", "")
    ns = "/".join(namespace) if namespace else None
    text = build_purl(ptype, name, version=version, namespace=ns, qualifiers=qualifiers, subpath=subpath)
    got = parse_purl(text)
    lowered = "".join(c.lower() if "A" <= c <= "Z" else c for c in ptype)
    assert got["type"] == lowered
    assert (got["namespace"], got["name"], got["version"]) == (ns, name, version)
    assert (got["qualifiers"], got["subpath"]) == (qualifiers, subpath)
