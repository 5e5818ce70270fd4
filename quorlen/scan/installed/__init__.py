"""Scanning what is installed: container images and root filesystems,
with the package databases and installed artifacts inside them."""

from __future__ import annotations

import os

from quorlen.scan.installed import artifacts
from quorlen.scan.installed.image import ImageError, is_image, read_image
from quorlen.scan.installed.system import MAX_FILE_BYTES, SystemScan, is_root_filesystem, scan_folder, scan_tree
from quorlen.scan.installed.tree import Node, read_node
from quorlen.scan.model import LockfileError, Package


def is_system(path: str) -> bool:
    """Whether a path is read as an installed system: an image, or a folder
    that holds an operating system's release file or package database."""
    return is_image(path) or (os.path.isdir(path) and is_root_filesystem(path))


def read_system(path: str, platform: str | None = None) -> SystemScan:
    """The packages of an image or root filesystem. Raises ImageError for an
    image that cannot be read."""
    if os.path.isdir(path) and not is_image(path):
        return scan_folder(path)
    return scan_tree(read_image(path, platform))


def read_artifact(path: str) -> list[Package] | None:
    """The packages of one installed file named on its own (a program, a
    Java archive), or None when it is neither."""
    name = os.path.basename(path)
    artifact = artifacts.artifact_for(name)
    if artifact is None and not os.path.isfile(path):
        return None
    try:
        data = read_node(Node(data=path), MAX_FILE_BYTES)
    except (OSError, ValueError) as e:
        raise LockfileError(path, 0, artifact.format if artifact else "program", f"cannot be read ({e})") from None
    if artifact is not None:
        return artifact.read(path, data)
    if not artifacts.is_program(data):
        return None
    return [p for _, probe, read in artifacts.PROGRAMS if probe(data) for p in read(path, data)]


__all__ = ["ImageError", "SystemScan", "is_system", "read_artifact", "read_system"]
