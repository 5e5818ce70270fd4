"""The RPM database in its SQLite form: one header blob per installed
package in the ``Packages`` table, read by the documented header layout
(entry count and data size, 16-byte index entries of tag, type, offset and
count, then the data store). Version strings are ``[epoch:]version-release``,
as the RPM distributions' advisories write them. Lines: none (0).

The Berkeley DB and NDB forms are not read: their packages are reported as
not checked, with the reason.
"""

from __future__ import annotations

import sqlite3
import struct

from quorlen.scan.model import Package
from quorlen.scan.readers.parsing import entry_error, fail

FORMAT = "rpmdb-sqlite"
NAME, VERSION, RELEASE, EPOCH = 1000, 1001, 1002, 1003
_INT32, _STRING = 4, 6
# A header names each tag once; more entries than this is not a header.
MAX_ENTRIES = 1 << 16
# The ecosystem until the operating system's release says which distribution.
ECOSYSTEM = "RPM"
# The pseudo-packages rpm keeps for imported signing keys.
_KEYS = "gpg-pubkey"


def header_tags(blob: bytes, wanted: frozenset[int]) -> dict[int, str | int]:
    """The string and 32-bit integer values of the wanted tags of a header."""
    count, size = struct.unpack_from(">II", blob, 0)
    store = 8 + 16 * count
    if count > MAX_ENTRIES or store + size > len(blob):
        raise ValueError("a header larger than its blob")
    values: dict[int, str | int] = {}
    for i in range(count):
        tag, kind, offset, n = struct.unpack_from(">IIiI", blob, 8 + 16 * i)
        if tag not in wanted:
            continue
        if offset < 0 or offset >= size:
            raise ValueError(f"tag {tag} points outside the data")
        at = store + offset
        if kind == _STRING:
            end = blob.find(b"\0", at, store + size)
            if end < 0:
                raise ValueError(f"tag {tag}: an unterminated string")
            values[tag] = blob[at:end].decode("utf-8", "replace")
        elif kind == _INT32 and n >= 1:
            values[tag] = struct.unpack_from(">i", blob, at)[0]
    return values


_WANTED = frozenset({NAME, VERSION, RELEASE, EPOCH})


def _rollback_journal(data: bytes) -> bytes:
    """The database image marked as not in WAL mode (file format bytes 18
    and 19), which an in-memory database requires. rpm checkpoints its WAL
    when it closes the database; changes of a crashed rpm left in the WAL
    file are not seen."""
    if len(data) >= 20 and data[18:20] == b"\x02\x02":
        return data[:18] + b"\x01\x01" + data[20:]
    return data


def read(path: str, data: bytes) -> list[Package]:
    db = sqlite3.connect(":memory:")
    try:
        db.deserialize(_rollback_journal(data))
        rows = db.execute("SELECT hnum, blob FROM Packages ORDER BY hnum").fetchall()
    except sqlite3.Error as e:
        fail(path, 0, FORMAT, f"not an RPM SQLite database ({e})")
    finally:
        db.close()
    packages = []
    for hnum, blob in rows:
        try:
            tags = header_tags(bytes(blob), _WANTED)
        except (struct.error, ValueError, TypeError) as e:
            entry_error(path, 0, FORMAT, f"package {hnum}: unreadable header ({e})")
            continue
        name, version, release = tags.get(NAME), tags.get(VERSION), tags.get(RELEASE)
        if not (isinstance(name, str) and isinstance(version, str) and isinstance(release, str)):
            entry_error(path, 0, FORMAT, f"package {hnum}: no name, version or release")
            continue
        if name == _KEYS:
            continue
        epoch = tags.get(EPOCH)
        full = f"{epoch}:{version}-{release}" if isinstance(epoch, int) and epoch else f"{version}-{release}"
        packages.append(Package(ECOSYSTEM, name, full, path, 0))
    return packages

