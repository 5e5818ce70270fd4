"""Small helpers shared by the test modules."""

# The canonical ecosystem names in their fixed order, written out by hand: the
# one copy the tests check the module's messages and lists against.
CANONICAL = [
    "generic", "semver", "pep440", "debian", "rpm", "ruby", "maven", "go", "npm", "nuget",
    "composer", "crates", "hex", "swift", "calver", "alpine", "docker", "conda", "arch", "gentoo",
    "cran", "spack", "dart", "julia", "terraform", "helm", "cpan", "nix", "homebrew", "freebsd",
]


def unsupported(name):
    """The message of an unknown ecosystem name (shown as the module shows it)."""
    return f"unsupported ecosystem '{name}'; expected one of: " + ", ".join(CANONICAL)


UNSUPPORTED_NOPE = unsupported("nope")


def fresh(text):
    """A str object of its own: identity checks cannot pass by interning, and
    dropping it really frees it."""
    return "".join(list(text))
