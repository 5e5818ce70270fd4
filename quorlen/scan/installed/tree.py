"""The files of an installed system as the readers see them: a map from
paths inside the tree (relative, '/'-separated) to the files the readers
want, with the symbolic links beside them.

A tree comes from a folder on disk or from an image's layers; either way,
links are resolved inside the tree only, as if it were the root of the
system: an absolute target starts at the tree's root, and '..' never climbs
above it.
"""

from __future__ import annotations

import collections.abc as abc
import os
import posixpath
import stat
import dataclasses
from dataclasses import dataclass

# Whether a reader wants a file, by its path inside the tree, mode and size.
Wanted = abc.Callable[[str, int, int], bool]

# Links followed to resolve one path; more means a loop.
MAX_LINK_HOPS = 40


class TreeError(ValueError):
    """A path that cannot be resolved inside the tree (a link loop)."""


@dataclass
class Node:
    """A regular file (``data``: its bytes, or the disk path to read them
    from) or a symbolic link (``target``); ``layer`` is the diff id of the
    image layer that wrote it."""

    data: bytes | str | None = None
    target: str | None = None
    layer: str | None = None
    size: int = 0


@dataclass
class Tree:
    nodes: dict[str, Node] = dataclasses.field(default_factory=dict)
    # How a path inside the tree is shown in findings and errors.
    prefix: str = ""
    warnings: list[str] = dataclasses.field(default_factory=list)

    def display(self, path: str) -> str:
        return self.prefix + path

    def resolve(self, path: str) -> str | None:
        """The path a name leads to through the tree's links (each component
        resolved in turn), or None when nothing the tree holds is there."""
        parts = [p for p in path.split("/") if p and p != "."]
        done: list[str] = []
        hops = 0
        while parts:
            part = parts.pop(0)
            if part == "..":
                if done:
                    done.pop()
                continue
            here = "/".join(done + [part])
            node = self.nodes.get(here)
            if node is not None and node.target is not None:
                hops += 1
                if hops > MAX_LINK_HOPS:
                    raise TreeError(f"{self.display(path)}: a loop of symbolic links")
                target = node.target
                if target.startswith("/"):
                    done = []
                parts = [p for p in target.split("/") if p and p != "."] + parts
                continue
            done.append(part)
        resolved = "/".join(done)
        node = self.nodes.get(resolved)
        return resolved if node is not None and node.data is not None else None


def read_node(node: Node, limit: int) -> bytes:
    """A file's bytes, refused past ``limit``. A file on disk is opened
    without following a link, so that a file swapped for one meanwhile is
    not read through it."""
    if isinstance(node.data, bytes):
        return node.data
    if node.data is None:
        raise ValueError("not a regular file")
    fd = os.open(node.data, os.O_RDONLY | getattr(os, "O_NOFOLLOW", 0) | getattr(os, "O_NONBLOCK", 0))
    with os.fdopen(fd, "rb") as f:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            raise ValueError("not a regular file")
        data = f.read(limit + 1)
    if len(data) > limit:
        raise ValueError(f"larger than {limit} bytes")
    return data


# Top folders of a running system that hold no installed files, only the
# kernel's views and devices.
_VIRTUAL = frozenset({"proc", "sys", "dev", "run"})


def from_folder(root: str, wanted: Wanted) -> Tree:
    """The tree of a root filesystem folder: the files ``wanted`` picks by
    path (and, for executables, by mode), and every link. Links are
    recorded, never followed by the walk."""
    tree = Tree(prefix=os.path.join(root, ""))
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        rel = "" if rel == "." else rel.replace(os.sep, "/") + "/"
        if not rel:
            dirs[:] = [d for d in dirs if d not in _VIRTUAL]
        dirs.sort()
        for name in sorted(files) + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            full = os.path.join(folder, name)
            try:
                info = os.lstat(full)
            except OSError:
                continue
            path = rel + name
            if stat.S_ISLNK(info.st_mode):
                try:
                    tree.nodes[path] = Node(target=os.readlink(full))
                except OSError:
                    pass
            elif stat.S_ISREG(info.st_mode) and wanted(path, info.st_mode, info.st_size):
                tree.nodes[path] = Node(data=full, size=info.st_size)
    return tree


def parent(path: str) -> str:
    return posixpath.dirname(path)
