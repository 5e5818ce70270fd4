"""Scanning what is installed: container images and root filesystems,
with the package databases and installed artifacts inside them."""

from __future__ import annotations

import os

from quorlen.scan.installed.image import ImageError, is_image, read_image
from quorlen.scan.installed.system import SystemScan, is_root_filesystem, scan_folder, scan_tree


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


__all__ = ["ImageError", "SystemScan", "is_system", "read_system"]
