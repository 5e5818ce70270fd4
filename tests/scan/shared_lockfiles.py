"""The shared real lockfiles, and writing and reading small made-up ones,
for the reader tests."""

from __future__ import annotations

import functools
import pathlib

import pytest

from quorlen.scan.model import LockfileError
from quorlen.scan.readers import read_file

LOCKFILES = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "data" / "lockfiles"


def shared(folder: str, name_part: str = "") -> list:
    """pytest params of the shared files of a folder (ids: file names), or one
    skipped param saying what is missing."""
    where = LOCKFILES / folder
    files = sorted(p for p in where.glob("*") if name_part in p.name) if where.is_dir() else []
    if not files:
        reason = f"the shared lockfiles ({where}) are absent: they sit in ../shared beside the repository"
        return [pytest.param(None, marks=pytest.mark.skip(reason=reason), id=folder)]
    return [pytest.param(p, id=p.name) for p in files]


def shared_file(folder: str, name_part: str) -> pathlib.Path:
    path = next(iter(sorted((LOCKFILES / folder).glob(f"*{name_part}*"))), None)
    if path is None:
        pytest.skip(f"{LOCKFILES / folder}/*{name_part}* is absent: the shared data sits in ../shared")
    return path


def read_text(tmp_path: pathlib.Path, name: str, text: str, format: str | None = None) -> list:
    path = tmp_path / name
    path.write_text(text, encoding="utf-8")
    return read_file(str(path), format)


def assert_error(tmp_path: pathlib.Path, name: str, text: str, line: int, format: str) -> LockfileError:
    """Reading ``text`` as file ``name`` fails with the one-line error naming
    the file, the line and the format."""
    path = tmp_path / name
    path.write_text(text, encoding="utf-8")
    with pytest.raises(LockfileError) as info:
        read_file(str(path))
    error = info.value
    assert (error.file, error.line, error.format) == (str(path), line, format), str(error)
    assert str(error).startswith(f"{path}:{line}: {format}: ") and "\n" not in str(error)
    return error


@functools.lru_cache(maxsize=8)
def _lines(path: pathlib.Path) -> list[str]:
    return path.read_text(encoding="utf-8").splitlines()


def line_of(path: pathlib.Path, line: int) -> str:
    return _lines(path)[line - 1]


def short_id(value: object) -> str | None:
    """A test id for long made-up inputs: their start, escaped."""
    return repr(value)[1:40] if isinstance(value, str) else None
