"""The advisory index under faults: every command after a kill, a full disk, a
corrupt or newer index, two writers, scans during a commit, or a killed
download answers from the previous index (or the new one once it is in
place), with one-line messages and exit status 2 where it fails."""

import http.server
import io
import json
import os
import pathlib
import resource
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

import pytest

from quorlen.scan.database import Database

ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)}
# Children run away from the source tree, whose quorlen folder has no built module.
AWAY = tempfile.gettempdir()


def rec(rid, modified="2024-01-01T00:00:00Z", name="demo"):
    return {"id": rid, "modified": modified,
            "affected": [{"package": {"ecosystem": "PyPI", "name": name},
                          "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "0"}, {"fixed": "1.5"}]}]}]}


def zip_bytes(records):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for r in records:
            z.writestr(f"{r['id']}.json", json.dumps(r))
    return buf.getvalue()


def write_zip(path, records):
    path.write_bytes(zip_bytes(records))
    return path


def quorlen(*argv, hook="", wait=True):
    """The command in a process of its own, with hook run first (to plant a fault)."""
    code = f"import os, sys, time\nfrom quorlen import cli\nfrom quorlen.scan import database\n{hook}\n" \
           f"sys.exit(cli.main({[str(a) for a in argv]!r}))"
    proc = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=ENV, cwd=AWAY)
    if not wait:
        return proc
    out, err = proc.communicate(timeout=120)
    return proc.returncode, out, err


def ids(db):
    with Database(db, readonly=True) as index:
        return index.ids()


def assert_fails_in_one_line(result, message):
    status, _out, err = result
    assert status == 2 and len(err.splitlines()) == 1 and message in err, err
    assert err.startswith("quorlen: error: ")


def leftovers(folder):
    return sorted(n for n in os.listdir(folder) if n.startswith((".build-", ".download-")))


@pytest.fixture
def index(tmp_path):
    """An index holding OLD-1 and OLD-2, and a source that adds 20 records and changes OLD-1."""
    db = tmp_path / "osv.sqlite3"
    with Database(db) as d:
        d.import_sources([write_zip(tmp_path / "old.zip", [rec("OLD-1"), rec("OLD-2")])])
    new = write_zip(tmp_path / "new.zip", [rec(f"NEW-{i:02}") for i in range(20)]
                    + [rec("OLD-1", "2025-01-01T00:00:00Z", name="other")])
    return db, new


def scan_answer(tmp_path, db):
    """The ids a real scan of demo 1.0 finds."""
    req = tmp_path / "project" / "requirements.txt"
    req.parent.mkdir(exist_ok=True)
    req.write_text("demo==1.0\n")
    status, out, err = quorlen("scan", req.parent, "--db", db, "--format", "json")
    assert status == 1, err
    return sorted(f["id"] for f in json.loads(out)["findings"])


# Deterministic points of an import at which the process kills itself:
# after the n-th batch written (batches of 4 records, with a page cache so
# small that every batch reaches the file), at the sync of the new copy, and
# on either side of the rename that publishes it.
KILL = {
    "batch": "import sqlite3\nconnect = sqlite3.connect\n"
             "def small(*a, **k):\n    c = connect(*a, **k)\n    c.execute('PRAGMA cache_size = 1')\n    return c\n"
             "sqlite3.connect = small\n"
             "database.BATCH = 4\nflush = database._Batch.flush\ncount = [0]\n"
             "def hooked(self):\n    flush(self)\n    count[0] += 1\n    if count[0] == {n}: os._exit(9)\n"
             "database._Batch.flush = hooked",
    "sync": "os.fsync = lambda fd: os._exit(9)",
    "before rename": "os.replace = lambda a, b: os._exit(9)",
    "after rename": "replace = os.replace\ndef hooked(a, b):\n    replace(a, b)\n    os._exit(9)\nos.replace = hooked",
}


@pytest.mark.parametrize("point, n, published", [
    ("batch", 1, False), ("batch", 3, False), ("batch", 6, False), ("sync", 0, False),
    ("before rename", 0, False), ("after rename", 0, True),
])
def test_a_killed_import_leaves_an_index_every_command_reads(tmp_path, index, point, n, published):
    db, new = index
    before = ids(db)
    status, _out, err = quorlen("db", "build", new, "--db", db, hook=KILL[point].replace("{n}", str(n)))
    assert status == 9, err
    expected = sorted(before + [f"NEW-{i:02}" for i in range(20)]) if published else before
    assert ids(db) == expected
    assert scan_answer(tmp_path, db) == (["NEW-%02d" % i for i in range(20)] + ["OLD-2"] if published
                                         else ["OLD-1", "OLD-2"])
    status, out, err = quorlen("db", "info", "--db", db)
    assert (status, err) == (0, "") and f"records: {len(expected)} " in out
    # The next writer finishes the job and clears what the killed one left.
    status, _out, err = quorlen("db", "build", new, "--db", db)
    assert (status, err) == (0, "")
    assert len(ids(db)) == 22 and leftovers(tmp_path) == []


def test_a_full_disk_fails_the_build_and_keeps_the_index(tmp_path, index):
    db, _new = index
    before, size = ids(db), db.stat().st_size
    big = write_zip(tmp_path / "big.zip", [rec(f"BIG-{i:04}", name=f"p{i}") for i in range(3000)])
    limit = size + 64 * 1024

    def small_disk():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    proc = subprocess.run([sys.executable, "-m", "quorlen", "db", "build", str(big), "--db", str(db)],
                          capture_output=True, text=True, env=ENV, cwd=AWAY, preexec_fn=small_disk, timeout=120)
    assert_fails_in_one_line((proc.returncode, proc.stdout, proc.stderr), "cannot write the advisory index")
    assert ids(db) == before and leftovers(tmp_path) == []
    assert scan_answer(tmp_path, db) == ["OLD-1", "OLD-2"]


def truncate(path):
    data = path.read_bytes()
    path.write_bytes(data[:len(data) // 2])


def scribble(path):
    data = bytearray(path.read_bytes())
    data[4096:] = b"\xa5" * (len(data) - 4096)
    path.write_bytes(bytes(data))


def newer(path):
    with Database(path):
        pass
    import sqlite3
    conn = sqlite3.connect(path)
    conn.execute("PRAGMA user_version = 2")
    conn.close()


@pytest.mark.parametrize("damage, message", [
    (truncate, "advisory index"), (scribble, "advisory index"), (newer, "written by a newer quorlen"),
])
def test_a_damaged_or_newer_index_fails_every_command_in_one_line(tmp_path, damage, message):
    db = tmp_path / "osv.sqlite3"
    with Database(db) as d:
        d.import_sources([write_zip(tmp_path / "r.zip", [rec(f"R-{i}", name=f"p{i}") for i in range(300)])])
    damage(db)
    damaged = db.read_bytes()
    (tmp_path / "requirements.txt").write_text("demo==1.0\np1==1.0\n")
    for argv in (["scan", tmp_path / "requirements.txt"], ["db", "info"], ["db", "build", tmp_path / "r.zip"]):
        assert_fails_in_one_line(quorlen(*argv, "--db", db), message)
    # A writer never replaces what it cannot read.
    assert db.read_bytes() == damaged


PAUSE = ("def pause(*args):\n    open({ready!r}, 'w').close()\n"
         "    while not os.path.exists({go!r}): time.sleep(0.02)\n")


def wait_for(path, proc):
    deadline = time.monotonic() + 60
    while not os.path.exists(path):
        assert proc.poll() is None, proc.communicate()
        assert time.monotonic() < deadline
        time.sleep(0.02)


def test_writers_take_turns_and_readers_see_whole_indexes(tmp_path, index):
    db, new = index
    ready, go = str(tmp_path / "ready"), str(tmp_path / "go")
    # The first writer stops just before its copy replaces the index.
    hook = PAUSE.format(ready=ready, go=go) + "replace = os.replace\n" \
        "def hooked(a, b):\n    pause()\n    replace(a, b)\nos.replace = hooked"
    first = quorlen("db", "build", new, "--db", db, hook=hook, wait=False)
    wait_for(ready, first)
    held = Database(db, readonly=True)
    assert scan_answer(tmp_path, db) == ["OLD-1", "OLD-2"]
    # A second writer that will not wait refuses; one that waits goes after the first.
    other = write_zip(tmp_path / "other.zip", [rec("OTHER-1")])
    assert_fails_in_one_line(quorlen("db", "build", other, "--db", db, hook="database.LOCK_WAIT = 0.2"),
                             "another command is still writing")
    second = quorlen("db", "build", other, "--db", db, wait=False)
    time.sleep(0.5)
    assert second.poll() is None
    open(go, "w").close()
    assert first.wait(timeout=120) == 0 and second.wait(timeout=120) == 0, second.communicate()
    assert ids(db) == sorted(["OLD-1", "OLD-2", "OTHER-1"] + [f"NEW-{i:02}" for i in range(20)])
    # A reader that opened the previous index keeps reading it whole.
    assert held.ids() == ["OLD-1", "OLD-2"] and held.records("PyPI", "demo")[0]["id"] == "OLD-1"
    held.close()
    assert scan_answer(tmp_path, db) == [f"NEW-{i:02}" for i in range(20)] + ["OLD-2", "OTHER-1"]


class StallingMirror(http.server.BaseHTTPRequestHandler):
    """Serves /PyPI/all.zip; while ``stall`` is set, sends half of it and stops."""

    data = b""
    stall = threading.Event()

    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Length", str(len(self.data)))
        self.end_headers()
        if self.stall.is_set():
            self.wfile.write(self.data[:len(self.data) // 2])
            self.wfile.flush()
            # Holds the connection open until the test lets it go.
            deadline = time.monotonic() + 30
            while self.stall.is_set() and time.monotonic() < deadline:
                time.sleep(0.05)
            return
        self.wfile.write(self.data)

    def log_message(self, *args):
        pass


def test_a_killed_download_leaves_nothing_for_the_next_update(tmp_path, index):
    db, _new = index
    StallingMirror.data = zip_bytes([rec(f"DL-{i:04}", name=f"p{i}") for i in range(2000)] + [rec("DL-DEMO")])
    StallingMirror.stall = threading.Event()
    StallingMirror.stall.set()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), StallingMirror)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}"
    try:
        proc = quorlen("db", "update", "-e", "PyPI", "--mirror", url, "--db", db, wait=False)
        deadline = time.monotonic() + 60
        while not any(os.path.getsize(tmp_path / n) for n in leftovers(tmp_path)):
            assert proc.poll() is None and time.monotonic() < deadline, proc.communicate()
            time.sleep(0.02)
        proc.send_signal(signal.SIGKILL)
        proc.communicate()
        assert [n.endswith(".zip") for n in leftovers(tmp_path)] == [True]
        assert scan_answer(tmp_path, db) == ["OLD-1", "OLD-2"]
        StallingMirror.stall.clear()
        status, out, err = quorlen("db", "update", "-e", "PyPI", "--mirror", url, "--db", db)
        assert (status, err) == (0, ""), err
    finally:
        StallingMirror.stall.clear()
        server.shutdown()
        server.server_close()
    assert leftovers(tmp_path) == []
    assert scan_answer(tmp_path, db) == ["DL-DEMO", "OLD-1", "OLD-2"]


def test_a_change_left_half_done_in_place_is_rolled_back_by_the_next_reader(tmp_path, index):
    # As an earlier version's writer killed mid-import leaves the index: a hot journal beside it.
    db, _new = index
    before = ids(db)
    code = (f"import os, sqlite3\nc = sqlite3.connect({str(db)!r}, isolation_level=None)\n"
            "c.execute('PRAGMA cache_size = 1')\nc.execute('BEGIN')\n"
            "c.executemany('INSERT INTO records VALUES (?, ?, 0, 1, 0, ?)', "
            "[(f'X-{i}', '', b'{}' * 500) for i in range(200)])\nos._exit(9)")
    assert subprocess.run([sys.executable, "-c", code], cwd=AWAY).returncode == 9
    assert os.path.getsize(str(db) + "-journal") > 0
    assert scan_answer(tmp_path, db) == ["OLD-1", "OLD-2"]
    assert ids(db) == before
