"""The advisory index on the workers: each opens it read-only, once per
process and thread, at the client's path when it sees the very same file
there, else from a copy shipped to it.

The copy travels in a worker plugin, so a worker that joins later (a
restarted one, too) gets it as well; it is written to the worker's own
folder and removed when the plugin is.
"""

from __future__ import annotations

# dask's functions carry no annotations; ours do.
# mypy: disallow-untyped-calls=False

from quorlen.dask import deps  # noqa: F401  (first: says clearly when dask is missing)

import hashlib
import os
import tempfile
import threading
from dataclasses import dataclass
from typing import Any

import distributed

from quorlen.scan.database import Database, DatabaseError


@dataclass(frozen=True)
class IndexRef:
    """An advisory index as the client sees it: path, size and modification
    time tell a worker whether the file it sees at that path is the same."""

    path: str
    size: int
    mtime_ns: int

    @property
    def token(self) -> str:
        text = f"{self.path}\0{self.size}\0{self.mtime_ns}"
        return hashlib.sha256(text.encode("utf-8", "surrogateescape")).hexdigest()[:16]


def reference(path: str | os.PathLike[str]) -> IndexRef:
    path = os.path.abspath(os.fspath(path))
    try:
        st = os.stat(path)
    except OSError as e:
        raise DatabaseError(f"no advisory index at '{path}' ({e.strerror}); build one with 'quorlen db build' "
                            "or 'quorlen db update'") from None
    return IndexRef(path, st.st_size, st.st_mtime_ns)


def visible(ref: IndexRef) -> bool:
    """Whether this process reads the client's very index at its path."""
    try:
        st = os.stat(ref.path)
    except OSError:
        return False
    return (st.st_size, st.st_mtime_ns) == (ref.size, ref.mtime_ns) and os.access(ref.path, os.R_OK)


# Per process: shipped copies by token, and open indexes by (token, thread),
# since an SQLite connection belongs to the thread that made it.
_copies: dict[str, str] = {}
_opened: dict[tuple[str, int], Database] = {}
_lock = threading.Lock()


def _install(ref: IndexRef, data: bytes, folder: str) -> str:
    fd, temp = tempfile.mkstemp(prefix=f"quorlen-index-{ref.token}-", suffix=".sqlite3", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
    except BaseException:
        os.unlink(temp)
        raise
    with _lock:
        _copies[ref.token] = temp
    return temp


def _uninstall(ref: IndexRef) -> None:
    with _lock:
        path = _copies.pop(ref.token, None)
        for key in [k for k in _opened if k[0] == ref.token]:
            _opened.pop(key).close()
    if path is not None:
        try:
            os.unlink(path)
        except OSError:
            pass


class ShipIndex(distributed.WorkerPlugin):
    """Writes the index's bytes to a worker that cannot read it at the
    client's path (or to every worker, when ``always``)."""

    def __init__(self, ref: IndexRef, data: bytes, always: bool = False) -> None:
        self.ref = ref
        self.data = data
        self.always = always
        self.name = f"quorlen-index-{ref.token}"

    def setup(self, worker: Any) -> None:
        if self.always or not visible(self.ref):
            _install(self.ref, self.data, worker.local_directory)

    def teardown(self, worker: Any) -> None:
        _uninstall(self.ref)


def local_path(ref: IndexRef) -> str:
    """The path this process opens the index at."""
    with _lock:
        copy = _copies.get(ref.token)
    if copy is not None:
        return copy
    if visible(ref):
        return ref.path
    raise DatabaseError(f"the advisory index '{ref.path}' cannot be read on this worker and no copy was sent to "
                        "it; let the client ship it (ship=True, or leave ship unset)")


def open_index(ref: IndexRef) -> Database:
    """The index opened read-only, once per process and thread."""
    key = (ref.token, threading.get_ident())
    with _lock:
        db = _opened.get(key)
    if db is None:
        db = Database(local_path(ref), readonly=True)
        with _lock:
            _opened[key] = db
    return db


def prepare_index(client: distributed.Client, path: str | os.PathLike[str], *,
                  ship: bool | None = None) -> IndexRef:
    """Make the index at ``path`` (on the client) readable by every worker.

    ``ship=None`` sends its bytes only when some worker does not see the same
    file at the same path; ``True`` sends them and has every worker use its
    copy (as when no worker shares the client's disk); ``False`` never sends.
    """
    ref = reference(path)
    if ship is None:
        seen = client.run(visible, ref)
        ship = not seen or not all(seen.values())
        always = False
    else:
        always = ship
    if ship:
        with open(ref.path, "rb") as f:
            data = f.read()
        client.register_worker_plugin(ShipIndex(ref, data, always), name=f"quorlen-index-{ref.token}")
    return ref
