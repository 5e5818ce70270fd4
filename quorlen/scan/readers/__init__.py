"""Readers of lockfiles, manifests and SBOMs, recognised by file name.

Each family module lists its readers in ``READERS``; a reader names its
format, the file-name patterns it recognises and the function that reads a
file's text into packages.
"""

from __future__ import annotations

import collections.abc
import fnmatch
import os
import stat
from collections.abc import Iterator
from dataclasses import dataclass

from quorlen.scan.model import LockfileError, Package
from quorlen.scan.readers.parsing import collecting

# The largest input file read, in bytes: a lockfile of a very large monorepo
# is a few tens of megabytes.
MAX_FILE_BYTES = 256 * 1024 * 1024

# Folders a recursive search never enters.
SKIPPED_DIRS = frozenset({".git", "node_modules", "vendor", "target", ".venv"})


@dataclass(frozen=True)
class Reader:
    format: str
    patterns: tuple[str, ...]
    # (file path, text) -> packages; spelt in full, since a bare Callable
    # imported here reads as a module attribute unlike its runtime self.
    read: collections.abc.Callable[[str, str], list[Package]]

    def matches(self, filename: str) -> bool:
        return any(fnmatch.fnmatchcase(filename, p) for p in self.patterns)


from quorlen.scan.readers import (  # noqa: E402  (the modules import Reader)
    conan, dart, distro, dotnet, elixir, go, javascript, jvm, php, python, ruby, rust, sbom,
)

READERS: tuple[Reader, ...] = (
    *python.READERS, *javascript.READERS, *rust.READERS, *go.READERS, *ruby.READERS, *php.READERS,
    *dart.READERS, *elixir.READERS, *dotnet.READERS, *jvm.READERS, *conan.READERS, *distro.READERS,
    *sbom.READERS,
)
FORMATS: dict[str, Reader] = {r.format: r for r in READERS}


def reader_for(path: str, format: str | None = None) -> Reader | None:
    """The reader of a file: the one named by ``format``, else the first whose
    pattern matches the file's name."""
    if format is not None:
        return FORMATS[format]
    name = os.path.basename(path)
    return next((r for r in READERS if r.matches(name)), None)


def read_text(path: str, format: str) -> str:
    """A file's text as UTF-8, refused past the size limit."""
    try:
        info = os.stat(path)
        if not stat.S_ISREG(info.st_mode):
            # A fifo or device would block or never end.
            raise LockfileError(path, 0, format, "not a regular file")
        size = info.st_size
        if size > MAX_FILE_BYTES:
            raise LockfileError(path, 0, format, f"file too large ({size} bytes; the limit is {MAX_FILE_BYTES})")
        with open(path, "rb") as f:
            data = f.read(MAX_FILE_BYTES + 1)
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as e:
        line = data.count(b"\n", 0, e.start) + 1
        raise LockfileError(path, line, format, "not UTF-8 text") from None
    except OSError as e:
        raise LockfileError(path, 0, format, e.strerror or str(e)) from None


def read_file(path: str, format: str | None = None, errors: list[LockfileError] | None = None) -> list[Package]:
    """The packages a file declares; LockfileError when it does not parse.

    A bad entry or line of a file that otherwise parses is added to
    ``errors`` and the other packages are returned; without that list the
    first such error is raised, as for a file that does not parse.
    """
    reader = reader_for(path, format)
    if reader is None:
        raise LockfileError(path, 0, "unknown", "no reader recognises this file name; name one with --input-format")
    text = read_text(path, reader.format)
    with collecting() as found:
        packages = reader.read(path, text)
    # In the order of the file (a reader may take more than one pass), the
    # files it includes after it.
    found.sort(key=lambda e: (e.file != path, e.file, e.line))
    if found and errors is None:
        raise found[0]
    if errors is not None:
        errors.extend(found)
    return packages


# File names too common to take from a folder search anywhere but in the
# place the system keeps them; named on the command line they are read as is.
SYSTEM_FILES = {"status": ("var", "lib", "dpkg"), "installed": ("lib", "apk", "db")}


def _wanted(folder: str, name: str) -> bool:
    place = SYSTEM_FILES.get(name)
    if place is not None and tuple(os.path.normpath(folder).split(os.sep)[-len(place):]) != place:
        return False
    return any(r.matches(name) for r in READERS)


def find_inputs(root: str) -> Iterator[str]:
    """The files below a folder that a reader recognises, in a stable order.

    A link that leads out of the folder is not followed: a hostile checkout
    must not have the scanner read (and quote in its errors) a file of the
    machine it runs on.
    """
    top = os.path.realpath(root)
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if d not in SKIPPED_DIRS)
        for name in sorted(files):
            path = os.path.join(folder, name)
            if not _wanted(folder, name):
                continue
            if os.path.islink(path) and os.path.commonpath([top, os.path.realpath(path)]) != top:
                continue
            yield path
