"""The advisory database: OSV records in an SQLite index, looked up by package.

Records are kept as the JSON text they arrived in (compressed when that saves
space), beside a table from (OSV ecosystem, normalised package name) to the
records that name the package, so a scan reads only the records of the
packages it holds. Imports are incremental (a record whose id and
``modified`` time are already there is not written again) and atomic: they
are written into a copy of the index that replaces it only once complete,
so a failed, killed or interrupted import leaves the previous index as it
was, readable by every later command without any repair.
"""

from __future__ import annotations

import datetime
import functools
import json
import os
import re
import sqlite3
import zipfile
import zlib
import collections.abc as abc
import contextlib
import dataclasses
import fcntl
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path
from types import TracebackType
from typing import Any, Callable

from quorlen.scan import archive
from quorlen.scan.ecosystems import base, normalize_name
from quorlen.scan.progress import Progress

SCHEMA_VERSION = 1
DEFAULT_MIRROR = "https://osv-vulnerabilities.storage.googleapis.com"

# A record file larger than this is refused rather than read.
MAX_RECORD_FILE = archive.LIMITS.member

# zlib's fastest level already shrinks OSV JSON about fourfold; the slower
# levels gain little more and cost most of an import's time.
COMPRESS_LEVEL = 1
# How a record's body is stored: as it came, zlib, or the raw deflate stream
# an archive member arrived in (kept as is: compressing again costs time).
RAW, ZLIB, DEFLATE = 0, 1, 2

# Records written to the index at once.
BATCH = 512

# Bytes of pages a writer keeps in memory: an import of osv.dev's size
# touches the indexes' pages in no useful order, and re-reading them from the
# file costs more than this memory.
WRITE_CACHE = 64 << 20

# Seconds a writer waits for another writer of the same index to finish
# before it gives up.
LOCK_WAIT = 300.0

# How many refused or skipped items of one source are named one by one in
# warnings before only their count is given.
NAMED_WARNINGS = 5

Warn = Callable[[str], None]

_SCHEMA = """
CREATE TABLE records (
    id TEXT PRIMARY KEY,
    modified TEXT NOT NULL,
    withdrawn INTEGER NOT NULL,
    source INTEGER NOT NULL,
    encoding INTEGER NOT NULL,
    body BLOB NOT NULL
);
CREATE TABLE packages (
    ecosystem TEXT NOT NULL COLLATE NOCASE,
    name TEXT NOT NULL,
    record TEXT NOT NULL,
    PRIMARY KEY (ecosystem, name, record)
) WITHOUT ROWID;
CREATE INDEX packages_by_record ON packages (record);
CREATE TABLE sources (
    id INTEGER PRIMARY KEY,
    location TEXT NOT NULL UNIQUE,
    kind TEXT NOT NULL,
    ecosystem TEXT,
    imported TEXT NOT NULL,
    records INTEGER NOT NULL,
    etag TEXT,
    last_modified TEXT
);
CREATE TABLE meta (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
"""


class DatabaseError(ValueError):
    """The index cannot be used or built: missing, corrupt, or a source that fails."""


class IndexWriteError(DatabaseError):
    """Writing the index's new copy failed (a full disk, an I/O error): the
    whole change is abandoned and the index stays as it was."""


class InvalidRecord(ValueError):
    """One input that is not an OSV record; it is skipped, the import goes on."""


def default_path() -> str:
    """Where the index lives unless told otherwise."""
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(cache, "quorlen", "osv.sqlite3")


def sample_sources() -> list[str]:
    """The advisory archives bundled with the package, as import sources."""
    folder = Path(__file__).resolve().parent / "data"
    return sorted(str(p) for p in folder.glob("*.zip"))


# --- records --------------------------------------------------------------

def _require(cond: bool, reason: str) -> None:
    if not cond:
        raise InvalidRecord(reason)


@functools.lru_cache(maxsize=1 << 16)
def _package_key(ecosystem: str, name: str) -> tuple[str, str]:
    # Records of one package repeat its name; normalising it once is enough.
    return base(ecosystem), normalize_name(ecosystem, name)


def _check_affected(entry: Any, keys: set[tuple[str, str]]) -> None:
    """Check one "affected" entry, adding the package it names to keys."""
    # Plain tests rather than calls: this runs for every entry of every record.
    if type(entry) is not dict:
        raise InvalidRecord("an \"affected\" entry is not an object")
    package = entry.get("package")
    if package is not None:
        if type(package) is not dict:
            raise InvalidRecord("\"package\" is not an object")
        eco, name = package.get("ecosystem", ""), package.get("name", "")
        if type(eco) is not str or type(name) is not str:
            raise InvalidRecord("\"package\" is not an object with a string ecosystem and name")
        if eco and name:
            keys.add(_package_key(eco, name))
    versions = entry.get("versions")
    if versions is not None and (type(versions) is not list or not {type(v) for v in versions} <= {str}):
        raise InvalidRecord("\"versions\" is not a list of strings")
    ranges = entry.get("ranges")
    if ranges is None:
        return
    if type(ranges) is not list:
        raise InvalidRecord("\"ranges\" is not a list")
    for rng in ranges:
        if type(rng) is not dict:
            raise InvalidRecord("a range is not an object")
        events = rng.get("events")
        if events is not None and (type(events) is not list or not {type(e) for e in events} <= {dict}):
            raise InvalidRecord("\"events\" is not a list of objects")


def read_record(data: bytes | str) -> tuple[dict[str, Any], set[tuple[str, str]]]:
    """The OSV record in data and the (OSV ecosystem base, normalised name)
    pairs of the packages it names; raises InvalidRecord saying why data is
    not an OSV record.

    Only the fields the index and matching rely on are checked; the rest of
    the record is kept as it came.
    """
    record: dict[str, Any] = _loads(data)
    _require(type(record) is dict, "not a JSON object")
    rid = record.get("id")
    _require(type(rid) is str and rid.strip() != "", "no \"id\"")
    for key in ("modified", "withdrawn"):
        _require(type(record.get(key, "")) is str, f"\"{key}\" is not a string")
    aliases = record.get("aliases")
    _require(aliases is None or (type(aliases) is list and {type(a) for a in aliases} <= {str}),
             "\"aliases\" is not a list of strings")
    affected = record.get("affected", [])
    _require(type(affected) is list, "\"affected\" is not a list")
    keys: set[tuple[str, str]] = set()
    for entry in affected:
        _check_affected(entry, keys)
    return record, keys


def _timestamp(text: str) -> datetime.datetime | None:
    try:
        stamp = datetime.datetime.fromisoformat(text)
    except ValueError:
        return None
    return stamp if stamp.tzinfo is not None else stamp.replace(tzinfo=datetime.timezone.utc)


def is_newer(modified: str, than: str) -> bool:
    """Whether a record modified at one time replaces the copy modified at another.

    An older copy (a stale source imported after a fresh one) never replaces
    a newer; times that do not read as times replace whenever they differ.
    """
    if modified == than:
        return False
    new, old = _timestamp(modified), _timestamp(than)
    return new is None or old is None or new > old


def _encode(data: bytes, deflated: bytes | None) -> tuple[int, bytes]:
    if deflated is not None and len(deflated) < len(data):
        return DEFLATE, deflated
    packed = zlib.compress(data, COMPRESS_LEVEL)
    return (ZLIB, packed) if len(packed) < len(data) else (RAW, data)


def _decode(encoding: int, body: bytes) -> Any:
    if encoding == ZLIB:
        body = zlib.decompress(body)
    elif encoding == DEFLATE:
        body = zlib.decompress(body, -zlib.MAX_WBITS)
    return json.loads(body)


# A record's id and modified time, found without parsing it, to pass over
# unchanged records quickly; only a text holding each key once is trusted,
# and only to skip a record the index already holds with the same time.
_ID = re.compile(rb'"id"\s*:\s*"([^"\\]*)"')
_MODIFIED = re.compile(rb'"modified"\s*:\s*"([^"\\]*)"')


def _quick_key(data: bytes) -> tuple[str, str] | None:
    ids = _ID.findall(data)
    if len(ids) != 1:
        return None
    times = _MODIFIED.findall(data)
    if len(times) != 1:
        return None
    try:
        return ids[0].decode(), times[0].decode()
    except UnicodeDecodeError:
        return None


def _blank(path: str) -> bool:
    """Whether nothing is at path yet, or only an empty file to make the index in."""
    try:
        return os.path.getsize(path) == 0
    except OSError:
        return not os.path.lexists(path)


def _reason(e: BaseException) -> str:
    """An SQLite or system failure as the end of a one-line message."""
    if isinstance(e, OSError):
        return str(e.strerror or e)
    text = " ".join(str(e).split())
    if getattr(e, "sqlite_errorname", "") in ("SQLITE_CORRUPT", "SQLITE_NOTADB"):
        text += "; delete it and build it again"
    return text


def _now() -> str:
    return datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds")


# --- reports --------------------------------------------------------------

@dataclass
class SourceReport:
    """What one source of an import held."""

    location: str
    kind: str  # "folder", "zip", "file", or "download" (a zip from a mirror)
    records: int = 0  # valid records read
    invalid: int = 0  # inputs that are not OSV records
    refused: int = 0  # archive members refused as unsafe
    ecosystem: str | None = None
    etag: str | None = None
    last_modified: str | None = None


@dataclass
class ImportReport:
    """The outcome of an import, over all its sources."""

    added: int = 0
    updated: int = 0
    unchanged: int = 0  # same id and same modified time: not written again
    stale: int = 0  # an older copy of a record the index holds newer
    sources: list[SourceReport] = dataclasses.field(default_factory=list)

    @property
    def invalid(self) -> int:
        return sum(s.invalid for s in self.sources)

    @property
    def refused(self) -> int:
        return sum(s.refused for s in self.sources)

    @property
    def records(self) -> int:
        return sum(s.records for s in self.sources)

    def summary(self) -> str:
        """One line: what was read, written and skipped."""
        parts = [f"{self.added} added", f"{self.updated} updated", f"{self.unchanged} unchanged"]
        if self.stale:
            parts.append(f"{self.stale} older than the index's copy, kept")
        line = f"{self.records} records read from {len(self.sources)} sources: " + ", ".join(parts)
        skipped = [f"{n} {what}" for n, what in ((self.invalid, "not OSV records, skipped"),
                                                (self.refused, "archive members refused")) if n]
        return line + ("; " + ", ".join(skipped) if skipped else "")


@dataclass(frozen=True)
class SourceInfo:
    location: str
    kind: str
    ecosystem: str | None
    imported: str
    records: int
    etag: str | None
    last_modified: str | None


@dataclass(frozen=True)
class DatabaseInfo:
    path: str
    schema_version: int
    records: int
    withdrawn: int
    ecosystems: dict[str, int]  # OSV ecosystem base -> records naming a package of it
    sources: list[SourceInfo]
    last_update: str | None

    def lines(self) -> list[str]:
        """The description ``quorlen db info`` prints."""
        lines = [f"index: {self.path}",
                 f"records: {self.records} ({self.withdrawn} withdrawn)",
                 f"last update: {self.last_update or 'never'}"]
        if self.ecosystems:
            width = max(len(name) for name in self.ecosystems)
            lines.append("records per ecosystem:")
            lines.extend(f"  {name:<{width}}  {count}" for name, count in self.ecosystems.items())
        if self.sources:
            lines.append("sources:")
            lines.extend(f"  {s.location} ({s.kind}): {s.records} records, imported {s.imported}"
                         for s in self.sources)
        return lines


# The outcomes of one ecosystem's update.
UPDATED, UNCHANGED, FAILED = "updated", "unchanged", "failed"


@dataclass
class UpdateResult:
    """One ecosystem's update: its archive's URL, what happened, and the import if one ran."""

    ecosystem: str
    url: str
    status: str  # UPDATED, UNCHANGED or FAILED
    message: str = ""  # why it failed
    report: ImportReport | None = None


# --- reading sources ------------------------------------------------------

@dataclass
class _Input:
    """One input's bytes and where they came from, or why it was skipped:
    ``unsafe`` for archive members refused as hostile, else not a record."""

    where: str
    name: str  # the file or member name, which is "<id>.json" in the usual layout
    data: bytes | None
    problem: str | None = None
    unsafe: bool = False
    deflated: bytes | None = None


def _source_kind(path: str) -> str:
    if os.path.isdir(path):
        return "folder"
    lower = path.lower()
    if lower.endswith(".zip") or (not lower.endswith(".json") and zipfile.is_zipfile(path)):
        return "zip"
    return "file"


def _read_file(path: str) -> bytes:
    try:
        with open(path, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            if size > MAX_RECORD_FILE:
                raise InvalidRecord(f"larger than {MAX_RECORD_FILE} bytes")
            # Reading a bound as large as the limit would reserve that much
            # memory for every file; the size plus one byte catches a file
            # that grows meanwhile.
            data = f.read(size + 1)
    except OSError as e:
        raise DatabaseError(f"cannot read '{path}': {e.strerror or e}") from None
    if len(data) > MAX_RECORD_FILE:
        raise InvalidRecord(f"larger than {MAX_RECORD_FILE} bytes")
    return data


def _file_input(path: str) -> _Input:
    try:
        return _Input(path, os.path.basename(path), _read_file(path))
    except InvalidRecord as e:
        return _Input(path, os.path.basename(path), None, str(e))


def _folder_inputs(folder: str) -> abc.Iterator[_Input]:
    # An unreadable subfolder or file is one skipped input, warned about like
    # a bad record; it does not fail the folder's other records.
    errors: list[OSError] = []
    for parent, subfolders, names in os.walk(folder, onerror=errors.append):
        while errors:
            e = errors.pop()
            where = e.filename or parent
            yield _Input(str(where), os.path.basename(str(where)), None, f"cannot read: {e.strerror or e}")
        subfolders.sort()
        for name in sorted(names):
            if name.endswith(".json"):
                path = os.path.join(parent, name)
                try:
                    item = _file_input(path)
                except DatabaseError as unreadable:
                    item = _Input(path, name, None, str(unreadable))
                yield item
    for e in errors:
        yield _Input(str(e.filename or folder), "", None, f"cannot read: {e.strerror or e}")


def _zip_inputs(path: str) -> abc.Iterator[_Input]:
    try:
        for member in archive.read_members(path):
            yield _Input(f"{path}: {member.name}", member.name, member.data, member.refused,
                         member.refused is not None, member.deflated)
    except archive.ArchiveError as e:
        raise DatabaseError(str(e)) from None


def _inputs(location: str, kind: str) -> abc.Iterator[_Input]:
    if kind == "folder":
        return _folder_inputs(location)
    if kind in ("zip", "download"):
        return _zip_inputs(location)
    return iter([_file_input(location)])


def _loads(data: bytes | str) -> Any:
    try:
        # OSV records are UTF-8; json.loads would also guess UTF-16 and 32.
        return json.loads(data.decode("utf-8-sig") if isinstance(data, bytes) else data)
    except RecursionError:
        raise InvalidRecord("nested too deeply") from None
    except UnicodeDecodeError:
        raise InvalidRecord("not UTF-8 text") from None
    except ValueError as e:
        raise InvalidRecord(f"bad JSON: {e}") from None


def _split_list(data: bytes) -> list[bytes]:
    """The texts of the records in a file: the file itself, or each member of a
    JSON list of records (a form single files may take)."""
    if not data.lstrip().startswith(b"["):
        return [data]
    items = _loads(data)
    return [json.dumps(item, ensure_ascii=False).encode() for item in items]


class _Batch:
    """Rows written to the index a batch at a time."""

    def __init__(self, conn: sqlite3.Connection) -> None:
        self.conn = conn
        self.records: list[tuple[str, str, int, int, int, bytes]] = []
        self.packages: list[tuple[str, str, str]] = []
        self.replaced: list[tuple[str]] = []
        self.pending: set[str] = set()

    def add(self, rid: str, modified: str, withdrawn: int, keys: set[tuple[str, str]], source_id: int,
            body: tuple[int, bytes], replaces: bool) -> None:
        if replaces:
            if rid in self.pending:
                # Its old package rows are still in this batch: write them
                # first, so that deleting them finds them.
                self.flush()
            self.replaced.append((rid,))
        self.pending.add(rid)
        self.records.append((rid, modified, withdrawn, source_id, *body))
        self.packages.extend((eco, name, rid) for eco, name in keys)
        if len(self.records) >= BATCH:
            self.flush()

    def flush(self) -> None:
        self.conn.executemany("DELETE FROM packages WHERE record = ?", self.replaced)
        self.conn.executemany("INSERT OR REPLACE INTO records (id, modified, withdrawn, source, encoding, body) "
                              "VALUES (?, ?, ?, ?, ?, ?)", self.records)
        self.conn.executemany("INSERT OR IGNORE INTO packages (ecosystem, name, record) VALUES (?, ?, ?)",
                              self.packages)
        self.records, self.packages, self.replaced = [], [], []
        self.pending.clear()


# --- the database ---------------------------------------------------------

class Database:
    """An advisory index in one SQLite file.

    The file is never changed in place. A writer takes a lock beside it (one
    writer at a time; another waits up to LOCK_WAIT seconds), copies it into
    a temporary file in the same folder, imports into the copy, writes the
    copy to disk and renames it over the index. So at every moment, a kill
    or a crash included, the index is one whole committed file with no
    journal to replay, which read-only openers can read at once; readers
    that opened the previous file keep reading it, untouched, until they
    close it; a failed import leaves a temporary file that the next writer
    deletes, never a half-written index. The copy is written without
    journal syncing, which is safe because it is thrown away on any fault,
    and synced once before the rename.
    """

    def __init__(self, path: str | os.PathLike[str] | None = None, *, readonly: bool = False) -> None:
        self.path = os.fspath(path) if path is not None else default_path()
        self.readonly = readonly
        self._work: sqlite3.Connection | None = None  # the new copy while writing
        self._work_path: str | None = None
        self._lock: int | None = None
        self._depth = 0
        self._opened = False
        if os.path.isdir(self.path):
            raise DatabaseError(f"'{self.path}' is a folder, not an advisory index")
        if not readonly and _blank(self.path):
            self._create()
        self._conn = self._connect()
        self._opened = True

    # Opening.

    def _connect(self) -> sqlite3.Connection:
        if not os.path.exists(self.path):
            raise DatabaseError(f"no advisory index at '{self.path}'; build one with 'quorlen db build' "
                                "or 'quorlen db update'")
        if os.path.isdir(self.path):
            raise DatabaseError(f"'{self.path}' is a folder, not an advisory index")
        uri = Path(self.path).absolute().as_uri()
        # A journal beside the file is a change an older writer left half
        # done; only a read-write connection rolls it back, which SQLite does
        # on the first read. Without one, read-only is enough.
        leftover = any(os.path.exists(self.path + end) for end in ("-journal", "-wal"))
        modes = ["rw", "ro"] if leftover else ["ro"]
        for mode in modes:
            try:
                conn = sqlite3.connect(f"{uri}?mode={mode}", uri=True, isolation_level=None)
            except sqlite3.Error as e:
                if mode == modes[-1]:
                    raise DatabaseError(f"cannot open the advisory index '{self.path}': {_reason(e)}") from None
                continue
            try:
                self._check_schema(conn)
                conn.execute("PRAGMA query_only = 1")
                return conn
            except (DatabaseError, sqlite3.Error) as e:
                conn.close()
                if mode == modes[-1]:
                    if isinstance(e, DatabaseError):
                        raise
                    raise DatabaseError(f"cannot open the advisory index '{self.path}': {_reason(e)}") from None
        raise AssertionError("unreachable")

    def _check_schema(self, conn: sqlite3.Connection) -> None:
        try:
            version = conn.execute("PRAGMA user_version").fetchone()[0]
            tables = conn.execute("SELECT count(*) FROM sqlite_master").fetchone()[0]
        except sqlite3.Error as e:
            raise DatabaseError(f"'{self.path}' is not a readable advisory index ({_reason(e)})") from None
        if version == 0:
            raise DatabaseError(f"'{self.path}' is not an advisory index"
                                + ("" if tables else "; build one with 'quorlen db build'"))
        if version > SCHEMA_VERSION:
            raise DatabaseError(f"the advisory index '{self.path}' has layout {version}, written by a newer "
                                f"quorlen; this one reads layout {SCHEMA_VERSION}: upgrade quorlen, or name "
                                "another index with --db")
        if version != SCHEMA_VERSION:
            raise DatabaseError(f"the advisory index '{self.path}' has layout {version}, this version reads "
                                f"layout {SCHEMA_VERSION}; delete it and build it again")

    # Writing: the lock, the copy, and the rename that publishes it.

    def _create(self) -> None:
        """An empty index at the path, made whole before it appears there."""
        os.makedirs(os.path.dirname(os.path.abspath(self.path)), exist_ok=True)
        with self.writing():
            if _blank(self.path):
                self._begin_copy(empty=True)

    @contextlib.contextmanager
    def writing(self) -> abc.Iterator[None]:
        """Every import within goes to one new copy of the index that replaces
        it when the outermost block ends without an exception; an exception
        leaves the index as it was. Holds the writer's lock meanwhile."""
        if self.readonly:
            raise DatabaseError(f"the advisory index '{self.path}' is open read-only")
        if self._depth:
            self._depth += 1
            try:
                yield
            finally:
                self._depth -= 1
            return
        self._acquire()
        self._depth = 1
        try:
            self._sweep()
            yield
            if self._work is not None:
                self._publish()
        finally:
            self._depth = 0
            self._discard()
            self._release()

    def _acquire(self) -> None:
        try:
            fd = os.open(self.path + ".lock", os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)
        except OSError as e:
            raise DatabaseError(f"cannot write the advisory index '{self.path}': {e.strerror or e}") from None
        deadline = time.monotonic() + LOCK_WAIT
        while True:
            try:
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except BlockingIOError:
                if time.monotonic() >= deadline:
                    os.close(fd)
                    raise DatabaseError(f"another command is still writing the advisory index '{self.path}' "
                                        f"after {LOCK_WAIT:g} s of waiting; try again when it has finished") from None
                time.sleep(0.05)
        self._lock = fd

    def _release(self) -> None:
        if self._lock is not None:
            # The lock file stays: deleting it would let two writers lock two files.
            os.close(self._lock)
            self._lock = None

    def _temp_prefix(self, kind: str) -> str:
        return f".{kind}-{os.path.basename(self.path)}-"

    def temp_file(self, kind: str, suffix: str) -> str:
        """A new empty file beside the index that the next writer deletes if
        this one dies before it does; only for use while writing()."""
        fd, path = tempfile.mkstemp(prefix=self._temp_prefix(kind), suffix=suffix,
                                    dir=os.path.dirname(os.path.abspath(self.path)))
        os.close(fd)
        return path

    def _sweep(self) -> None:
        # Holding the lock, any temporary file of this index's writers is one
        # that a killed writer left behind.
        folder = os.path.dirname(os.path.abspath(self.path))
        prefixes = tuple(self._temp_prefix(kind) for kind in ("build", "download"))
        try:
            names = [n for n in os.listdir(folder) if n.startswith(prefixes)]
        except OSError:
            return
        for name in names:
            with contextlib.suppress(OSError):
                os.unlink(os.path.join(folder, name))

    def _begin_copy(self, empty: bool = False) -> sqlite3.Connection:
        """The connection to the new copy, made from the current index on first use."""
        if self._work is not None:
            return self._work
        try:
            self._work_path = self.temp_file("build", ".sqlite3")
            try:
                mode = os.stat(self.path).st_mode & 0o777
            except OSError:
                mask = os.umask(0)
                os.umask(mask)
                mode = 0o666 & ~mask
            os.chmod(self._work_path, mode)
            work = sqlite3.connect(self._work_path, isolation_level=None)
            self._work = work
            if empty:
                work.executescript(f"BEGIN; {_SCHEMA} PRAGMA user_version = {SCHEMA_VERSION}; COMMIT;")
            else:
                # Another writer may have replaced the index since it was
                # opened: the copy starts from what is there now.
                self._conn.close()
                self._conn = self._connect()
                self._conn.backup(work)
            work.execute("PRAGMA synchronous = OFF")
            work.execute(f"PRAGMA cache_size = -{WRITE_CACHE >> 10}")
        except (OSError, sqlite3.Error) as e:
            raise IndexWriteError(f"cannot write the advisory index '{self.path}': {_reason(e)}") from None
        return work

    def _publish(self) -> None:
        assert self._work is not None and self._work_path is not None
        try:
            self._work.close()
            self._work = None
            fd = os.open(self._work_path, os.O_RDONLY)
            try:
                os.fsync(fd)
            finally:
                os.close(fd)
            os.replace(self._work_path, self.path)
            self._work_path = None
            fd = os.open(os.path.dirname(os.path.abspath(self.path)), os.O_RDONLY)
            try:
                os.fsync(fd)
            finally:
                os.close(fd)
        except OSError as e:
            raise IndexWriteError(f"cannot write the advisory index '{self.path}': {e.strerror or e}") from None
        if self._opened:
            self._conn.close()
            self._conn = self._connect()

    def _discard(self) -> None:
        if self._work is not None:
            self._work.close()
            self._work = None
        if self._work_path is not None:
            for end in ("", "-journal"):
                with contextlib.suppress(OSError):
                    os.unlink(self._work_path + end)
            self._work_path = None

    # Context manager and closing.

    def __enter__(self) -> Database:
        return self

    def __exit__(self, kind: type[BaseException] | None, value: BaseException | None,
                 tb: TracebackType | None) -> None:
        self.close()

    def close(self) -> None:
        self._discard()
        self._release()
        if self._opened:
            self._conn.close()

    def _query(self, sql: str, params: abc.Sequence[Any] = ()) -> list[Any]:
        try:
            return (self._work or self._conn).execute(sql, params).fetchall()
        except sqlite3.Error as e:
            raise DatabaseError(f"the advisory index '{self.path}' cannot be read: {_reason(e)}") from None

    # Lookups.

    def records(self, ecosystem: str, name: str) -> list[dict[str, Any]]:
        """The records, in id order, with an affected entry for the package.

        The ecosystem is an OSV name, with or without a release suffix
        (its case does not matter); the name is compared as the ecosystem
        compares names. Withdrawn records are included.
        """
        rows = self._query(
            "SELECT r.encoding, r.body FROM packages p JOIN records r ON r.id = p.record "
            "WHERE p.ecosystem = ? AND p.name = ? ORDER BY r.id",
            (base(ecosystem), normalize_name(ecosystem, name)))
        return [_decode(encoding, body) for encoding, body in rows]

    def record(self, id: str) -> dict[str, Any] | None:
        """The record with this id, or None."""
        rows = self._query("SELECT encoding, body FROM records WHERE id = ?", (id,))
        return _decode(*rows[0]) if rows else None

    def ids(self) -> list[str]:
        """The ids of all records, sorted."""
        return [rid for (rid,) in self._query("SELECT id FROM records ORDER BY id")]

    def info(self) -> DatabaseInfo:
        """Counts, sources and the time of the last change."""
        total, withdrawn = self._query("SELECT count(*), coalesce(sum(withdrawn), 0) FROM records")[0]
        ecosystems = dict(self._query(
            "SELECT ecosystem, count(DISTINCT record) FROM packages GROUP BY ecosystem ORDER BY ecosystem"))
        sources = [SourceInfo(*row) for row in self._query(
            "SELECT location, kind, ecosystem, imported, records, etag, last_modified FROM sources "
            "ORDER BY location")]
        last = self._query("SELECT value FROM meta WHERE key = 'last_update'")
        return DatabaseInfo(self.path, SCHEMA_VERSION, total, withdrawn, ecosystems, sources,
                            last[0][0] if last else None)

    def source(self, location: str) -> SourceInfo | None:
        """What the index remembers of a source (a path or a URL)."""
        rows = self._query("SELECT location, kind, ecosystem, imported, records, etag, last_modified "
                           "FROM sources WHERE location = ?", (location,))
        return SourceInfo(*rows[0]) if rows else None

    # Imports.

    def import_sources(self, sources: abc.Iterable[str | os.PathLike[str]], *,
                       warn: Warn | None = None) -> ImportReport:
        """Import folders of .json files (recursively), zip archives of them, and single .json files.

        Records that are not OSV records and unsafe archive members are
        skipped, counted and warned about; a source that cannot be read at
        all raises DatabaseError and leaves the index as it was.
        """
        plans, paths = [], []
        for source in sources:
            location = os.fspath(source)
            if not os.path.exists(location):
                raise DatabaseError(f"cannot read '{location}': No such file or directory")
            paths.append(os.path.abspath(location))
            # The index keeps text: a name's bytes that are not UTF-8 as \xff.
            shown = paths[-1].encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")
            plans.append(SourceReport(shown, _source_kind(location)))
        return self._import(plans, warn, paths)

    def _import(self, plans: list[SourceReport], warn: Warn | None,
                paths: abc.Sequence[str] | None = None) -> ImportReport:
        """Import each plan's source (read from paths[i] when given) in one transaction."""
        report = ImportReport(sources=plans)
        with self.writing():
            conn = self._begin_copy()
            try:
                conn.execute("BEGIN IMMEDIATE")
                try:
                    known: dict[str, str] = dict(conn.execute("SELECT id, modified FROM records"))
                    for i, plan in enumerate(plans):
                        path = paths[i] if paths is not None else plan.location
                        source_id = self._source_row(conn, plan)
                        try:
                            with Progress(f"importing {os.path.basename(plan.location)}") as progress:
                                self._import_one(conn, path, plan, source_id, known, report,
                                                 warn or (lambda _m: None), progress)
                        except RecursionError:
                            raise DatabaseError(f"{plan.location}: folders nested too deeply") from None
                        conn.execute("UPDATE sources SET records = ? WHERE id = ?", (plan.records, source_id))
                    conn.execute("INSERT OR REPLACE INTO meta (key, value) VALUES ('last_update', ?)", (_now(),))
                    conn.execute("COMMIT")
                except BaseException:
                    # Some failures of SQLite itself end the transaction already.
                    if conn.in_transaction:
                        conn.execute("ROLLBACK")
                    raise
            except (sqlite3.Error, OSError) as e:
                raise IndexWriteError(f"cannot write the advisory index '{self.path}': {_reason(e)}") from None
        return report

    def _source_row(self, conn: sqlite3.Connection, plan: SourceReport) -> int:
        conn.execute(
            "INSERT INTO sources (location, kind, ecosystem, imported, records, etag, last_modified) "
            "VALUES (?, ?, ?, ?, 0, ?, ?) ON CONFLICT (location) DO UPDATE SET kind = excluded.kind, "
            "ecosystem = excluded.ecosystem, imported = excluded.imported, etag = excluded.etag, "
            "last_modified = excluded.last_modified",
            (plan.location, plan.kind, plan.ecosystem, _now(), plan.etag, plan.last_modified))
        row = conn.execute("SELECT id FROM sources WHERE location = ?", (plan.location,)).fetchone()
        return int(row[0])

    def _import_one(self, conn: sqlite3.Connection, path: str, plan: SourceReport, source_id: int,
                    known: dict[str, str], report: ImportReport, warn: Warn, progress: Progress) -> None:
        named = 0
        batch = _Batch(conn)

        def skipped(where: str, reason: str) -> None:
            nonlocal named
            named += 1
            if named <= NAMED_WARNINGS:
                warn(f"{where}: skipped: {reason}")

        for item in _inputs(path, plan.kind):
            progress.update()
            if item.data is None:
                if item.unsafe:
                    plan.refused += 1
                else:
                    plan.invalid += 1
                skipped(item.where, item.problem or "unreadable")
                continue
            # Only a record the index may already hold is worth the quick look;
            # its file is named after its id.
            stem = item.name[:-len(".json")]
            quick = _quick_key(item.data) if plan.kind != "file" and stem in known else None
            if quick is not None and quick[0] == stem and known[stem] == quick[1]:
                plan.records += 1
                report.unchanged += 1
                continue
            try:
                texts = _split_list(item.data) if plan.kind == "file" else [item.data]
            except InvalidRecord as e:
                plan.invalid += 1
                skipped(item.where, str(e))
                continue
            for text in texts:
                try:
                    record, keys = read_record(text)
                except InvalidRecord as e:
                    plan.invalid += 1
                    skipped(item.where, str(e))
                    continue
                plan.records += 1
                rid, modified = record["id"], record.get("modified", "")
                old = known.get(rid)
                if old is not None and not is_newer(modified, old):
                    if old == modified:
                        report.unchanged += 1
                    else:
                        report.stale += 1
                    continue
                if old is not None:
                    report.updated += 1
                else:
                    report.added += 1
                known[rid] = modified
                deflated = item.deflated if len(texts) == 1 else None
                batch.add(rid, modified, 1 if record.get("withdrawn") else 0, keys, source_id,
                          _encode(text, deflated), replaces=old is not None)
        batch.flush()
        for count, what in ((plan.invalid, "inputs that are not OSV records skipped"),
                            (plan.refused, "archive members refused")):
            if count:
                warn(f"{plan.location}: {count} {what}")
        if not plan.records and not plan.invalid and not plan.refused:
            warn(f"{plan.location}: no OSV records found")

    def import_downloaded(self, plan: SourceReport, path: str, *, warn: Warn | None = None) -> ImportReport:
        """Import a downloaded archive at path as the source plan names (its URL)."""
        return self._import([plan], warn, [path])

    def update(self, ecosystems: abc.Sequence[str] = (), mirror: str = DEFAULT_MIRROR, *,
               progress: bool = False, warn: Warn | None = None) -> list[UpdateResult]:
        """Download ``<mirror>/<ecosystem>/all.zip`` for each ecosystem when it changed since
        the last download, and import it; with no ecosystem named, those downloaded before."""
        from quorlen.scan import download

        return download.update(self, ecosystems, mirror, progress=progress, warn=warn)
