"""Installed Python distributions: ``*.dist-info/METADATA``,
``*.egg-info/PKG-INFO`` and single-file ``*.egg-info``, on
``site-packages`` and ``dist-packages`` paths. Lines: the ``Name:`` header."""

from __future__ import annotations

from quorlen.scan.model import Package
from quorlen.scan.readers.parsing import fail

FORMAT = "python-installed"
ECOSYSTEM = "PyPI"
SITE_FOLDERS = frozenset({"site-packages", "dist-packages"})


def wants(path: str) -> bool:
    parts = path.split("/")
    if len(parts) < 2 or not SITE_FOLDERS.intersection(parts[:-1]):
        return False
    name, folder = parts[-1], parts[-2]
    return ((name == "METADATA" and folder.endswith(".dist-info"))
            or (name == "PKG-INFO" and folder.endswith(".egg-info"))
            or (name.endswith(".egg-info") and folder in SITE_FOLDERS))


def read(path: str, data: bytes) -> list[Package]:
    headers: dict[str, tuple[str, int]] = {}
    for line_no, text in enumerate(data.decode("utf-8", "replace").splitlines(), 1):
        if not text.strip():
            break  # the headers end at the first blank line; the description follows
        if text[0] in " \t":
            continue
        key, sep, value = text.partition(":")
        if sep:
            headers.setdefault(key.strip().lower(), (value.strip(), line_no))
    name, line = headers.get("name", ("", 0))
    version = headers.get("version", ("", 0))[0]
    if not name or not version:
        fail(path, line or 1, FORMAT, "metadata without a Name and a Version")
    return [Package(ECOSYSTEM, name, version, path, line)]
