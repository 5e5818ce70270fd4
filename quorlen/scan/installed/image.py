"""Container images: a tar saved from a container engine (``manifest.json``)
or an OCI image layout (``oci-layout`` and ``index.json``, as a folder or a
tar). The layers are applied in order, in memory, into a tree holding only
the files the readers want; whiteouts delete (``.wh.NAME``) or empty
(``.wh..wh..opq``) what lower layers wrote.

Nothing is written to disk and nothing outside the image is read: blob
names are checked, entries with absolute or '..' names are refused, links
are kept as links and resolved inside the tree. Sizes, entry counts,
nesting and decompression ratios are bounded; a layer past a bound fails
the image with one error.
"""

from __future__ import annotations

import gzip
import hashlib
import json
import os
import posixpath
import re
import stat
import tarfile
import typing
import zlib
from dataclasses import dataclass
from typing import Any

from quorlen.scan.archive import unsafe_name
from quorlen.scan.installed import artifacts, tree as trees


class ImageError(ValueError):
    """An image that cannot be read, or that passes a bound."""


@dataclass(frozen=True)
class Limits:
    layers: int = 512
    layer_bytes: int = 64 << 30  # uncompressed bytes of one layer
    ratio: int = 100  # uncompressed / compressed bytes of a layer
    ratio_floor: int = 64 << 20  # a layer smaller than this may have any ratio
    entries: int = 2_000_000  # entries of one layer
    path_depth: int = 256  # folders in one entry's name
    file_bytes: int = 512 << 20  # one file kept in memory
    kept_bytes: int = 4 << 30  # all files kept in memory
    json_bytes: int = 16 << 20  # an index, manifest or configuration
    index_depth: int = 4  # indexes inside indexes


LIMITS = Limits()
DEFAULT_PLATFORM = "linux/amd64"
_DIGEST = re.compile(r"(sha256|sha512):([0-9a-f]{64,128})")
_GZIP, _ZSTD = b"\x1f\x8b", b"\x28\xb5\x2f\xfd"


# ---------------------------------------------------------------- blobs

class _Blobs(typing.Protocol):
    def open(self, name: str) -> tuple[typing.BinaryIO, int]: ...
    def exists(self, name: str) -> bool: ...


class _FolderBlobs:
    def __init__(self, root: str) -> None:
        self.root = root

    def _path(self, name: str) -> str:
        why = unsafe_name(name)
        if why is not None:
            raise ImageError(f"a blob named '{name[:80]}' with {why}")
        return os.path.join(self.root, *name.split("/"))

    def exists(self, name: str) -> bool:
        return os.path.lexists(self._path(name))

    def open(self, name: str) -> tuple[typing.BinaryIO, int]:
        path = self._path(name)
        try:
            info = os.lstat(path)
            if not stat.S_ISREG(info.st_mode):
                raise ImageError(f"'{name}' is not a regular file of the layout")
            return open(path, "rb"), info.st_size
        except OSError as e:
            raise ImageError(f"'{name}': {e.strerror or e}") from None


class _TarBlobs:
    """The members of an image tar, opened where they are, without extraction."""

    def __init__(self, tar: tarfile.TarFile) -> None:
        self.tar = tar
        self.members = {_member_name(m.name): m for m in tar.getmembers()}

    def exists(self, name: str) -> bool:
        return name in self.members

    def open(self, name: str) -> tuple[typing.BinaryIO, int]:
        why = unsafe_name(name)
        if why is not None:
            raise ImageError(f"a blob named '{name[:80]}' with {why}")
        member = self.members.get(name)
        for _ in range(trees.MAX_LINK_HOPS):
            if member is None or not (member.issym() or member.islnk()):
                break
            target = member.linkname if member.islnk() else posixpath.join(posixpath.dirname(name), member.linkname)
            name = _member_name(posixpath.normpath(target))
            member = self.members.get(name)
        if member is None or not member.isreg():
            raise ImageError(f"no member '{name[:80]}' in the image")
        f = self.tar.extractfile(member)
        assert f is not None
        return typing.cast(typing.BinaryIO, f), member.size


def _member_name(name: str) -> str:
    while name.startswith("./"):
        name = name[2:]
    return name


def _blob_name(descriptor: Any) -> str:
    digest = descriptor.get("digest") if isinstance(descriptor, dict) else None
    m = _DIGEST.fullmatch(digest) if isinstance(digest, str) else None
    if m is None:
        raise ImageError(f"a descriptor without a valid digest: {str(descriptor)[:80]}")
    return f"blobs/{m.group(1)}/{m.group(2)}"


def _json(blobs: _Blobs, name: str, limits: Limits) -> Any:
    f, size = blobs.open(name)
    with f:
        if size > limits.json_bytes:
            raise ImageError(f"'{name}' is {size} bytes, more than {limits.json_bytes}")
        try:
            return json.loads(f.read(limits.json_bytes + 1))
        except (ValueError, RecursionError) as e:
            raise ImageError(f"'{name}' is not JSON ({e})") from None


# ---------------------------------------------------------------- manifests

def _platform(descriptor: dict[str, Any]) -> str | None:
    p = descriptor.get("platform")
    if not isinstance(p, dict):
        return None
    parts = [str(p.get("os", "")), str(p.get("architecture", ""))] + ([str(p["variant"])] if p.get("variant") else [])
    return "/".join(parts)


def _matches(found: str | None, wanted: str) -> bool:
    # "linux/arm64" chooses "linux/arm64/v8"; a descriptor naming no platform suits any.
    return found is None or found == wanted or found.startswith(wanted + "/")


def _select(blobs: _Blobs, descriptors: Any, platform: str, limits: Limits, depth: int = 0) -> dict[str, Any]:
    """The image manifest for the platform among an index's descriptors."""
    if depth > limits.index_depth:
        raise ImageError(f"indexes nested deeper than {limits.index_depth} levels")
    if not isinstance(descriptors, list) or not descriptors:
        raise ImageError("an index that lists no manifests")
    descriptors = [d for d in descriptors if isinstance(d, dict)]
    # Attestations and signatures are stored as manifests of no platform.
    usable = [d for d in descriptors if _platform(d) != "unknown/unknown"]
    chosen = next((d for d in usable if _matches(_platform(d), platform)), None)
    if chosen is None:
        offered = ", ".join(sorted({p for d in usable if (p := _platform(d))}))
        raise ImageError(f"no image for platform {platform} (the index offers: {offered or 'none'})")
    doc = _json(blobs, _blob_name(chosen), limits)
    if not isinstance(doc, dict):
        raise ImageError("a manifest that is not an object")
    if "manifests" in doc and "layers" not in doc:
        return _select(blobs, doc["manifests"], platform, limits, depth + 1)
    return doc


def _diff_ids(config: Any, count: int) -> list[str | None]:
    rootfs = config.get("rootfs") if isinstance(config, dict) else None
    ids = rootfs.get("diff_ids") if isinstance(rootfs, dict) else None
    if isinstance(ids, list) and len(ids) == count and all(isinstance(i, str) for i in ids):
        return list(ids)
    return [None] * count  # computed while the layers are read


def _oci_layers(blobs: _Blobs, platform: str, limits: Limits) -> list[tuple[str, str | None]]:
    index = _json(blobs, "index.json", limits)
    if not isinstance(index, dict):
        raise ImageError("index.json is not an object")
    manifest = _select(blobs, index.get("manifests"), platform, limits)
    layers = manifest.get("layers")
    if not isinstance(layers, list):
        raise ImageError("a manifest without a list of layers")
    config = _json(blobs, _blob_name(manifest.get("config")), limits)
    return list(zip([_blob_name(d) for d in layers], _diff_ids(config, len(layers))))


def _docker_layers(blobs: _Blobs, limits: Limits, warnings: list[str]) -> list[tuple[str, str | None]]:
    manifest = _json(blobs, "manifest.json", limits)
    if not isinstance(manifest, list) or not manifest or not isinstance(manifest[0], dict):
        raise ImageError("manifest.json lists no image")
    if len(manifest) > 1:
        warnings.append(f"the archive holds {len(manifest)} images; only the first is scanned")
    entry = manifest[0]
    layers, config_name = entry.get("Layers"), entry.get("Config")
    if not isinstance(layers, list) or not all(isinstance(n, str) for n in layers) or not isinstance(config_name, str):
        raise ImageError("manifest.json: an image without Config and Layers")
    config = _json(blobs, config_name, limits)
    return list(zip(layers, _diff_ids(config, len(layers))))


# ---------------------------------------------------------------- layers

class _Bounded:
    """A stream that fails once more than ``limit`` bytes come out of it,
    hashing them when asked."""

    def __init__(self, raw: Any, limit: int, message: str, hashing: bool) -> None:
        self.raw, self.left, self.message = raw, limit, message
        self.hash = hashlib.sha256() if hashing else None

    def read(self, size: int = -1) -> bytes:
        data = self.raw.read(size if size >= 0 else self.left + 1)
        self.left -= len(data)
        if self.left < 0:
            raise ImageError(self.message)
        if self.hash is not None:
            self.hash.update(data)
        return typing.cast(bytes, data)


def _decompressed(f: typing.BinaryIO) -> Any:
    head = f.read(4)
    f.seek(0)
    if head[:2] == _GZIP:
        return gzip.GzipFile(fileobj=f, mode="rb")
    if head == _ZSTD:
        try:
            import zstandard
        except ImportError:
            raise ImageError("a zstd-compressed layer, and the zstandard module is not installed") from None
        return zstandard.ZstdDecompressor().stream_reader(f, read_across_frames=True)
    return f


def _clean(name: str, limits: Limits) -> tuple[str, str | None]:
    """An entry's path inside the tree, or why it is refused."""
    why = unsafe_name(name)
    if why is not None:
        return "", why
    path = "/".join(p for p in name.split("/") if p and p != ".")
    if path.count("/") >= limits.path_depth:
        return "", f"more than {limits.path_depth} folders deep"
    return path, None


def _remove(nodes: dict[str, trees.Node], folder: str, itself: bool) -> None:
    prefix = folder + "/" if folder else ""
    for path in [p for p in nodes if p.startswith(prefix) or (itself and p == folder)]:
        del nodes[path]


class _Layers:
    def __init__(self, tree: trees.Tree, limits: Limits) -> None:
        self.tree, self.limits, self.kept = tree, limits, 0

    def apply(self, blobs: _Blobs, name: str, diff_id: str | None) -> None:
        f, size = blobs.open(name)
        with f:
            limit = min(self.limits.layer_bytes, max(self.limits.ratio * size, self.limits.ratio_floor))
            label = diff_id or name
            stream = _Bounded(_decompressed(f), limit,
                              f"layer {label} unpacks to more than {limit} bytes (from {size}): a decompression bomb?",
                              hashing=diff_id is None)
            try:
                with tarfile.open(fileobj=typing.cast(typing.IO[bytes], stream), mode="r|") as tar:
                    pending, gone, emptied, refused = self._entries(tar, diff_id or name)
                # Trailing bytes past the tar's end still count towards the id.
                while stream.read(1 << 20):
                    pass
            except (tarfile.TarError, EOFError, OSError, zlib.error) as e:
                raise ImageError(f"layer {label} is not a readable tar ({e})") from None
            except Exception as e:
                if type(e).__module__.startswith("zstandard"):
                    raise ImageError(f"layer {label} is not a readable zstd stream ({e})") from None
                raise
        if diff_id is None and stream.hash is not None:
            diff_id = "sha256:" + stream.hash.hexdigest()
            for node in pending.values():
                node.layer = diff_id
        if refused:
            first, why = refused[0]
            self.tree.warnings.append(f"layer {diff_id}: {len(refused)} entr{'y' if len(refused) == 1 else 'ies'} "
                                      f"refused (the first: '{first[:80]}', with {why})")
        # Whiteouts hide what the lower layers wrote, not this layer's own files.
        for folder in emptied:
            _remove(self.tree.nodes, folder, itself=False)
        for path in gone:
            _remove(self.tree.nodes, path, itself=True)
        self.tree.nodes.update(pending)

    def _entries(self, tar: tarfile.TarFile, layer: str) -> tuple[dict[str, trees.Node], list[str], list[str],
                                                                  list[tuple[str, str]]]:
        pending: dict[str, trees.Node] = {}
        gone: list[str] = []
        emptied: list[str] = []
        refused: list[tuple[str, str]] = []
        for count, member in enumerate(tar, 1):
            if count > self.limits.entries:
                raise ImageError(f"layer {layer} has more than {self.limits.entries} entries")
            path, why = _clean(member.name, self.limits)
            if why is not None:
                refused.append((member.name, why))
                continue
            folder, base = posixpath.split(path)
            if base == ".wh..wh..opq":
                emptied.append(folder)
            elif base.startswith(".wh."):
                gone.append(posixpath.join(folder, base[4:]))
            elif member.issym():
                pending[path] = trees.Node(target=member.linkname, layer=layer)
            elif member.islnk():
                target, why = _clean(member.linkname, self.limits)
                source = pending.get(target) or self.tree.nodes.get(target) if why is None else None
                if source is not None and source.data is not None:
                    pending[path] = trees.Node(data=source.data, layer=layer, size=source.size)
            elif member.isreg():
                pending[path] = self._file(tar, member, path, layer)
            elif path in self.tree.nodes or path in pending:
                pending[path] = trees.Node(layer=layer)  # a folder or device now stands there
        return pending, gone, emptied, refused

    def _file(self, tar: tarfile.TarFile, member: tarfile.TarInfo, path: str, layer: str) -> trees.Node:
        """The node of a regular file: its bytes when a reader wants them,
        else an empty node that hides what a lower layer had there."""
        if not artifacts.wanted(path, member.mode, member.size):
            return trees.Node(layer=layer)
        if member.size > self.limits.file_bytes:
            self.tree.warnings.append(f"{self.tree.display(path)}: {member.size} bytes, more than "
                                      f"{self.limits.file_bytes}: not read")
            return trees.Node(layer=layer)
        f = tar.extractfile(member)
        data = f.read(member.size) if f is not None else b""
        if not artifacts.keep(path, member.mode, data):
            return trees.Node(layer=layer)
        self.kept += len(data)
        if self.kept > self.limits.kept_bytes:
            raise ImageError(f"the files to read pass {self.limits.kept_bytes} bytes in all")
        return trees.Node(data=data, layer=layer, size=len(data))


# ---------------------------------------------------------------- images

def is_image(path: str) -> bool:
    """Whether a path is an image this module reads (an OCI layout folder,
    or a tar holding an image)."""
    if os.path.isdir(path):
        return os.path.isfile(os.path.join(path, "oci-layout")) and os.path.isfile(os.path.join(path, "index.json"))
    if not os.path.isfile(path):
        return False
    try:
        if not tarfile.is_tarfile(path):
            return False
        with tarfile.open(path) as tar:
            return any(_member_name(m.name) in ("manifest.json", "oci-layout") for m in tar)
    except (tarfile.TarError, OSError, EOFError, zlib.error):
        return False


def read_image(path: str, platform: str | None = None, limits: Limits = LIMITS) -> trees.Tree:
    """The tree the image's layers make. Raises ImageError."""
    tree = trees.Tree(prefix=f"{path.rstrip('/')}!/")
    platform = platform or DEFAULT_PLATFORM
    try:
        if os.path.isdir(path):
            _read(_FolderBlobs(path), platform, limits, tree)
        else:
            with tarfile.open(path) as tar:
                _read(_TarBlobs(tar), platform, limits, tree)
    except (tarfile.TarError, EOFError) as e:
        raise ImageError(f"not a readable image archive ({e})") from None
    except OSError as e:
        raise ImageError(e.strerror or str(e)) from None
    return tree


def _read(blobs: _Blobs, platform: str, limits: Limits, tree: trees.Tree) -> None:
    if blobs.exists("oci-layout") and blobs.exists("index.json"):
        layers = _oci_layers(blobs, platform, limits)
    elif blobs.exists("manifest.json"):
        layers = _docker_layers(blobs, limits, tree.warnings)
    else:
        raise ImageError("neither an OCI layout (oci-layout, index.json) nor a saved image (manifest.json)")
    if len(layers) > limits.layers:
        raise ImageError(f"more than {limits.layers} layers")
    applier = _Layers(tree, limits)
    for name, diff_id in layers:
        applier.apply(blobs, name, diff_id)

