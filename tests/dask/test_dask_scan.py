"""Scans on a cluster of two worker processes on 127.0.0.1 give the local
scan's output byte for byte, whatever happens to a worker or an input."""

from __future__ import annotations

import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import pytest
from conftest import LOCKFILES, need_shared

from quorlen.dask import prepare_index, scan_paths
from quorlen.dask.index import local_path, reference
from quorlen.scan import formats
from quorlen.scan.database import Database, DatabaseError
from quorlen.scan.scan import scan_paths as local_scan

FORMATS = ("table", "json", "sarif")


def local(index, paths, **kw):
    with Database(index, readonly=True) as db:
        return local_scan(paths, db=db, **kw)


def assert_same_output(got, want):
    for f in FORMATS:
        assert formats.render(got, f) == formats.render(want, f), f


def test_a_scan_of_the_shared_lockfiles_equals_the_local_scan(client, shared_index):
    need_shared()
    want = local(shared_index, [str(LOCKFILES)])
    got = scan_paths([str(LOCKFILES)], db=shared_index, client=client)
    assert want.findings and want.packages > 1000
    assert got == want
    assert_same_output(got, want)


def test_inputs_that_fail_are_reported_as_in_a_local_scan(client, shared_index, tmp_path):
    need_shared()
    (tmp_path / "broken").mkdir()
    (tmp_path / "broken" / "Cargo.lock").write_text("[[package]]\nname = 'x'\nversion = \n")
    (tmp_path / "broken" / "poetry.lock").write_bytes(b"\xff\xfe not text")
    (tmp_path / "quorlen.toml").write_text("[[ignore]\n")
    paths = [str(tmp_path), str(LOCKFILES / "cargo"), str(tmp_path / "absent.lock"),
             str(LOCKFILES / "requirements")]
    want = local(shared_index, paths, ignores=["GHSA-462w-v97r-4m45"])
    got = scan_paths(paths, db=shared_index, client=client, ignores=["GHSA-462w-v97r-4m45"])
    assert len(want.errors) == 4 and want.findings
    assert got == want
    assert_same_output(got, want)


def test_an_index_the_workers_cannot_see_is_shipped_to_them(client, shared_index, tmp_path):
    """Workers that share no disk with the client are played by removing the
    client's file once the copy has gone out: only a shipped copy is left."""
    need_shared()
    mine = tmp_path / "mine.sqlite3"
    shutil.copyfile(shared_index, mine)
    want = local(str(mine), [str(LOCKFILES / "requirements")])
    ref = prepare_index(client, mine, ship=True)
    opened = client.run(local_path, ref)
    assert len(opened) == 2 and all(p != str(mine) and os.path.isfile(p) for p in opened.values())
    mine.unlink()
    from quorlen.dask.scan import check_packages, read_inputs
    from quorlen.scan import units

    planned = units.plan([str(LOCKFILES / "requirements")])
    inputs = read_inputs(client, planned.inputs)
    got = units.assemble(planned, inputs, check_packages(client, units.packages_of(inputs), ref, planned.active))
    assert got == want and want.findings


def test_a_worker_that_cannot_see_the_index_and_got_no_copy_says_so(client, shared_index):
    from quorlen.dask.index import IndexRef

    real = reference(shared_index)
    stale = IndexRef(real.path, real.size, real.mtime_ns + 1)
    with pytest.raises(DatabaseError, match="cannot be read on this worker and no copy was sent"):
        client.submit(local_path, stale, pure=False).result()


def test_the_command_on_a_running_scheduler_prints_what_the_local_command_prints(client, shared_index, tmp_path):
    need_shared()
    folder = str(LOCKFILES / "poetry")
    outputs = []
    for extra in ([], ["--scheduler", client.scheduler.address]):
        run = subprocess.run([sys.executable, "-m", "quorlen", "scan", folder, "--db", shared_index,
                              "--format", "sarif", *extra], capture_output=True, text=True, cwd=tmp_path)
        outputs.append((run.returncode, run.stdout, run.stderr))
    assert outputs[0][0] == 1 and outputs[0][1]
    assert outputs[1] == outputs[0]


def _copies(tmp_path, count):
    """The shared lockfiles under ``count`` different names (folder links)."""
    roots = []
    for i in range(count):
        link = tmp_path / f"copy{i}"
        link.symlink_to(LOCKFILES, target_is_directory=True)
        roots.append(str(link))
    return roots


def test_a_worker_killed_mid_scan_loses_nothing(client, shared_index, tmp_path):
    need_shared()
    paths = _copies(tmp_path, 3)
    want = local(shared_index, paths)
    pids = client.run(os.getpid)
    outcome = {}

    def scan():
        try:
            outcome["result"] = scan_paths(paths, db=shared_index, client=client)
        except BaseException as e:  # noqa: BLE001  (handed to the test's thread)
            outcome["error"] = e

    thread = threading.Thread(target=scan)
    thread.start()
    killed = None
    deadline = time.monotonic() + 60
    while killed is None and thread.is_alive() and time.monotonic() < deadline:
        for worker, keys in client.processing().items():
            if any(str(k).startswith("quorlen-") for k in keys) and worker in pids:
                os.kill(pids[worker], signal.SIGKILL)
                killed = worker
                break
        time.sleep(0.02)
    thread.join(120)
    assert killed is not None, "the scan ended before a worker could be killed"
    assert "error" not in outcome, outcome.get("error")
    assert outcome["result"] == want
    assert_same_output(outcome["result"], want)
    # The nanny brings the worker back for the tests after this one.
    client.wait_for_workers(2, timeout=60)


def test_an_input_whose_batch_keeps_failing_is_read_alone_and_reported(client, shared_index, tmp_path):
    """A reader fault that escapes the reader (played by a patch on the
    workers) takes its batch down; the other inputs of the batch are read
    alone and only the culprit is reported."""
    need_shared()
    paths = _copies(tmp_path, 2)
    poison = tmp_path / "poison" / "requirements.txt"
    poison.parent.mkdir()
    shutil.copyfile(LOCKFILES / "requirements" / sorted(os.listdir(LOCKFILES / "requirements"))[0], poison)
    paths.insert(1, str(poison.parent))

    def install():
        from quorlen.scan import units
        original = units.read_input

        def poisoned(path, format):
            if "poison" in path:
                raise RuntimeError("poisoned")
            return original(path, format)
        poisoned.original = original
        units.read_input = poisoned

    def remove():
        from quorlen.scan import units
        units.read_input = getattr(units.read_input, "original", units.read_input)

    client.run(install)
    try:
        got = scan_paths(paths, db=shared_index, client=client, retries=0)
    finally:
        client.run(remove)
    clean = [p for p in paths if "poison" not in p]
    want = local(shared_index, clean)
    assert [str(e) for e in got.errors] == [f"{poison}:0: input: cannot be read on a worker (RuntimeError: poisoned)"]
    assert got.files == want.files[:len(want.files) // 2] + [str(poison)] + want.files[len(want.files) // 2:]
    assert (got.findings, got.unchecked, got.packages) == (want.findings, want.unchecked, want.packages)
