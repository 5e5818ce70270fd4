"""Which files a folder search hands to the readers, and what reading refuses."""

import os

import pytest

from quorlen.scan import readers
from quorlen.scan.model import LockfileError


def touch(path, text="x"):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return path


def found(root):
    return [os.path.relpath(p, root) for p in readers.find_inputs(str(root))]


@pytest.mark.parametrize("rel, taken", [
    ("var/lib/dpkg/status", True),
    ("rootfs/var/lib/dpkg/status", True),
    ("lib/apk/db/installed", True),
    ("docs/status", False),          # a name too common to mean dpkg anywhere else
    ("build/installed", False),
    ("debian-12__status", True),     # a copy that keeps its origin in its name
    ("node_modules/x/package-lock.json", False),
    (".git/requirements.txt", False),
    ("app/poetry.lock", True),
])
def test_folder_search_takes_system_files_only_where_systems_keep_them(tmp_path, rel, taken):
    touch(tmp_path / rel)
    assert found(tmp_path) == ([os.path.normpath(rel)] if taken else [])


def test_links_out_of_the_folder_are_not_followed(tmp_path):
    secret = touch(tmp_path / "outside" / "credentials")
    repo = tmp_path / "repo"
    touch(repo / "real" / "poetry.lock")
    (repo / "requirements.txt").symlink_to(secret)
    (repo / "Cargo.lock").symlink_to(repo / "real" / "poetry.lock")  # stays inside: still read
    assert found(repo) == ["Cargo.lock", os.path.join("real", "poetry.lock")]


def test_a_fifo_is_refused_not_read(tmp_path):
    fifo = tmp_path / "requirements.txt"
    os.mkfifo(fifo)
    with pytest.raises(LockfileError, match="not a regular file"):
        readers.read_file(str(fifo))
