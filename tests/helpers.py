"""Small helpers shared by the test modules."""

UNSUPPORTED_NOPE = (
    "unsupported ecosystem 'nope'; expected one of: generic, semver, pep440, debian, rpm, ruby, maven, go, npm, "
    "nuget, composer, crates, hex, swift, calver, alpine, docker, conda, arch, gentoo, cran, spack, dart, julia, "
    "terraform, helm, cpan, nix, homebrew, freebsd"
)


def fresh(text):
    """A str object of its own: identity checks cannot pass by interning, and
    dropping it really frees it."""
    return "".join(list(text))
