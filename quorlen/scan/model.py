"""The values the readers hand to matching."""

from __future__ import annotations

from dataclasses import dataclass

# Where a dependency comes from. Only registry packages can be matched
# against advisories; the others are reported as not checkable.
REGISTRY = "registry"
GIT = "git"
PATH = "path"
URL = "url"
# A package named in a form no advisory database covers: an SBOM component
# without a package URL, or with a type OSV has no ecosystem for.
UNKNOWN = "unknown"


@dataclass(frozen=True)
class Package:
    """One dependency as an input file declares it.

    ``ecosystem`` is the OSV ecosystem name, with the release suffix where the
    input tells it (``"PyPI"``, ``"Debian:12"``, ``"Alpine:v3.14"``); ``name``
    is the package name as OSV writes it. ``version`` is the exact version, or
    None when the input pins none: then ``requirement`` holds the declared
    range (``">=2.0"``), or None when nothing at all is declared.
    ``location`` says where a dependency that is not from a registry comes
    from, as the input writes it (``file:../a``, a repository URL), when the
    input tells it: two folders that hold packages of one name are two
    dependencies.
    """

    ecosystem: str
    name: str
    version: str | None
    file: str
    line: int
    requirement: str | None = None
    source: str = REGISTRY
    location: str | None = None
    # The diff id of the image layer that installed the file, for packages
    # found in a container image.
    layer: str | None = None


class LockfileError(ValueError):
    """An input file that does not parse as its format."""

    def __init__(self, file: str, line: int, format: str, message: str) -> None:
        super().__init__(f"{file}:{line}: {format}: {message}")
        self.file = file
        self.line = line
        self.format = format
        self.message = message
