"""Reading the members of advisory archives in memory, refusing the hostile ones.

Nothing is ever extracted to disk, yet a member whose name would leave the
archive's folder is still refused: such a name says the archive was not made
by an advisory database, and a user who unpacks it by hand would be hurt.
Sizes are bounded before anything is decompressed, and the reading itself
never goes past the bound, whatever the archive's headers claim.
"""

from __future__ import annotations

import re
import struct
import typing
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
    """One member: its bytes, or the reason it was refused. ``deflated`` is
    the member's raw deflate stream as stored, when it has one: a store can
    keep it as it is instead of compressing the bytes again."""

    name: str
    data: bytes | None
    refused: str | None = None
    deflated: bytes | None = None


def _size_refusal(info: zipfile.ZipInfo, limits: Limits) -> str | None:
    if info.file_size > limits.member:
        return f"{info.file_size} bytes uncompressed, more than {limits.member}"
    if info.file_size > limits.ratio_floor and info.file_size > limits.ratio * max(info.compress_size, 1):
        return f"compressed {info.file_size // max(info.compress_size, 1)} to 1, more than {limits.ratio} to 1"
    return None


_LOCAL_HEADER = struct.Struct("<4s22xHH")
_LOCAL_MAGIC = b"PK\x03\x04"


def _stored_bytes(f: typing.BinaryIO, info: zipfile.ZipInfo) -> bytes:
    """The member's bytes as stored (compressed), found through its local header."""
    f.seek(info.header_offset)
    header = f.read(_LOCAL_HEADER.size)
    if len(header) != _LOCAL_HEADER.size:
        raise zipfile.BadZipFile("truncated local header")
    magic, name_len, extra_len = _LOCAL_HEADER.unpack(header)
    if magic != _LOCAL_MAGIC:
        raise zipfile.BadZipFile("bad local header")
    f.seek(info.header_offset + _LOCAL_HEADER.size + name_len + extra_len)
    stored = f.read(info.compress_size)
    if len(stored) != info.compress_size:
        raise zipfile.BadZipFile("truncated member")
    return stored


def _checked(data: bytes, info: zipfile.ZipInfo) -> bytes:
    if len(data) != info.file_size:
        raise zipfile.BadZipFile(f"{len(data)} bytes where the header says {info.file_size}")
    if zlib.crc32(data) != info.CRC:
        raise zipfile.BadZipFile("CRC check failed")
    return data


def _read_member(archive: zipfile.ZipFile, f: typing.BinaryIO, info: zipfile.ZipInfo) -> tuple[bytes, bytes | None]:
    """The member's bytes and its raw deflate stream if it has one. The
    header's size has been checked against the limits; no more than one
    byte past it is ever produced, so a header that lies is caught without
    inflating what it hides."""
    if info.flag_bits & 0x1:
        raise NotImplementedError("encrypted")
    if info.compress_type == zipfile.ZIP_STORED:
        return _checked(_stored_bytes(f, info)[:info.file_size + 1], info), None
    if info.compress_type == zipfile.ZIP_DEFLATED:
        stored = _stored_bytes(f, info)
        inflater = zlib.decompressobj(-zlib.MAX_WBITS)
        data = _checked(inflater.decompress(stored, info.file_size + 1), info)
        if not inflater.eof or inflater.unused_data or inflater.unconsumed_tail:
            raise zipfile.BadZipFile("bad deflate stream")
        return data, stored
    with archive.open(info) as member:
        return _checked(member.read(info.file_size + 1), info), None


def read_members(path: str, suffix: str = ".json", limits: Limits | None = None) -> abc.Iterator[Member]:
    """The members of a zip whose names end with suffix, in the archive's order.

    Raises ArchiveError for a file that is not a readable zip, or whose data
    is corrupt; refused members are yielded with the reason instead of data.
    """
    try:
        f = open(path, "rb")
    except OSError as e:
        raise ArchiveError(f"cannot read '{path}': {e.strerror or e}") from None
    with f:
        try:
            archive = zipfile.ZipFile(f)
        except (zipfile.BadZipFile, zipfile.LargeZipFile, ValueError, EOFError) as e:
            raise ArchiveError(f"{path}: not a readable zip archive ({e})") from None
        except OSError as e:
            raise ArchiveError(f"cannot read '{path}': {e.strerror or e}") from None
        with archive:
            yield from _members(path, archive, f, suffix, limits or LIMITS)


def _members(path: str, archive: zipfile.ZipFile, f: typing.BinaryIO, suffix: str,
             limits: Limits) -> abc.Iterator[Member]:
    total = 0
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
            data, deflated = _read_member(archive, f, info)
        except (NotImplementedError, RuntimeError) as e:
            # Encryption or a compression method this reader lacks.
            yield Member(name, None, f"unsupported: {e}")
            continue
        except (zipfile.BadZipFile, zlib.error, EOFError) as e:
            raise ArchiveError(f"{path}: corrupt archive at '{name}' ({e})") from None
        except OSError as e:
            raise ArchiveError(f"cannot read '{path}': {e.strerror or e}") from None
        total += len(data)
        yield Member(name, data, None, deflated)
