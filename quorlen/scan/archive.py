"""Reading the members of advisory archives in memory, refusing the hostile ones.

Nothing is ever extracted to disk, yet a member whose name would leave the
archive's folder is still refused: such a name says the archive was not made
by an advisory database, and a user who unpacks it by hand would be hurt.
Sizes are bounded before anything is decompressed, and the reading itself
never goes past the bound, whatever the archive's headers claim.
"""

from __future__ import annotations

import re
import zipfile
import zlib
import collections.abc as abc
from dataclasses import dataclass


class ArchiveError(ValueError):
    """An archive that cannot be read at all: not a zip, or corrupt."""


@dataclass(frozen=True)
class Limits:
    member: int = 64 << 20  # bytes of one member, uncompressed
    total: int = 8 << 30  # bytes of all members of one archive, uncompressed
    ratio: int = 200  # uncompressed / compressed size of a large member
    # Small members are harmless whatever their ratio, and JSON with long
    # lists of versions compresses well.
    ratio_floor: int = 1 << 20


LIMITS = Limits()

_DRIVE = re.compile(r"^[A-Za-z]:")


def unsafe_name(name: str) -> str | None:
    """Why a member name would leave the archive's folder, or None when it stays inside."""
    if "\0" in name:
        return "a NUL in its name"
    parts = name.replace("\\", "/").split("/")
    if name.startswith(("/", "\\")) or _DRIVE.match(name):
        return "an absolute name"
    if ".." in parts:
        return "a '..' in its name"
    return None


@dataclass(frozen=True)
class Member:
    """One member: its bytes, or the reason it was refused."""

    name: str
    data: bytes | None
    refused: str | None = None


def _size_refusal(info: zipfile.ZipInfo, limits: Limits) -> str | None:
    if info.file_size > limits.member:
        return f"{info.file_size} bytes uncompressed, more than {limits.member}"
    if info.file_size > limits.ratio_floor and info.file_size > limits.ratio * max(info.compress_size, 1):
        return f"compressed {info.file_size // max(info.compress_size, 1)} to 1, more than {limits.ratio} to 1"
    return None


def read_members(path: str, suffix: str = ".json", limits: Limits = LIMITS) -> abc.Iterator[Member]:
    """The members of a zip whose names end with suffix, in the archive's order.

    Raises ArchiveError for a file that is not a readable zip, or whose data
    is corrupt; refused members are yielded with the reason instead of data.
    """
    try:
        archive = zipfile.ZipFile(path)
    except (zipfile.BadZipFile, zipfile.LargeZipFile, ValueError, EOFError) as e:
        raise ArchiveError(f"{path}: not a readable zip archive ({e})") from None
    except OSError as e:
        raise ArchiveError(f"cannot read '{path}': {e.strerror or e}") from None
    total = 0
    with archive:
        for info in archive.infolist():
            name = info.filename
            if info.is_dir() or not name.endswith(suffix):
                continue
            reason = unsafe_name(name) or _size_refusal(info, limits)
            if reason is None and total + info.file_size > limits.total:
                reason = f"the archive's members exceed {limits.total} bytes in all"
            if reason is not None:
                yield Member(name, None, reason)
                continue
            try:
                with archive.open(info) as f:
                    # The header's size bounds the stream; read one byte more
                    # than allowed so a lying header cannot go unnoticed.
                    data = f.read(limits.member + 1)
            except (NotImplementedError, RuntimeError) as e:
                # Encryption or a compression method this reader lacks.
                yield Member(name, None, str(e))
                continue
            except (zipfile.BadZipFile, zlib.error, EOFError) as e:
                raise ArchiveError(f"{path}: corrupt archive at '{name}' ({e})") from None
            except OSError as e:
                raise ArchiveError(f"cannot read '{path}': {e.strerror or e}") from None
            if len(data) > limits.member:
                yield Member(name, None, f"more than {limits.member} bytes uncompressed")
                continue
            total += len(data)
            yield Member(name, data)
