"""Installed systems for the scanner's tests, made from files of this
machine: its dpkg database and os-release, real Python distributions and a
Java archive, a Go program built from a tiny module, and container images
(a saved image tar and OCI layouts) made of them in layers."""

from __future__ import annotations

import gzip
import hashlib
import io
import json
import os
import pathlib
import shutil
import subprocess
import tarfile

import pytest

DPKG_STATUS = pathlib.Path("/var/lib/dpkg/status")
OS_RELEASE = pathlib.Path("/usr/lib/os-release")
DIST_PACKAGES = pathlib.Path("/usr/lib/python3/dist-packages")
JAR = pathlib.Path("/usr/share/java/commons-io-2.11.0.jar")
# Real distributions of Debian's python3 packages, in both installed forms.
DISTRIBUTIONS = ("Jinja2-3.1.2.egg-info", "PyYAML-6.0.dist-info", "attrs-22.2.0.dist-info",
                 "packaging-23.0.dist-info", "MarkupSafe-2.1.2.egg-info")
# The one a later layer deletes.
DELETED = "attrs-22.2.0.dist-info"


def need(*paths: pathlib.Path) -> None:
    for path in paths:
        if not path.exists():
            pytest.skip(f"{path} is not on this machine (a Debian 12 file the test copies)")


# ---------------------------------------------------------------- a Go program

GO_MOD = """module example.com/app

go 1.19

require (
\tgolang.org/x/text v0.3.5
\texample.com/local v0.0.0
)

replace example.com/local => ./local
"""
# Without fmt, a build for another system compiles little besides the runtime.
GO_MAIN = """package main

import (
\t"example.com/local"
\t"golang.org/x/text/language"
)

func main() { println(language.Tag(), local.Name()) }
"""
# A dependency vendored as its version (a stand-in package under its real
# module path: no network), and one replaced by a local folder.
GO_FILES = {
    "go.mod": GO_MOD,
    "main.go": GO_MAIN,
    "local/go.mod": "module example.com/local\n\ngo 1.19\n",
    "local/local.go": 'package local\n\nfunc Name() string { return "local" }\n',
    "vendor/example.com/local/local.go": 'package local\n\nfunc Name() string { return "local" }\n',
    "vendor/golang.org/x/text/language/language.go": 'package language\n\nfunc Tag() string { return "en" }\n',
    "vendor/modules.txt": "# example.com/local v0.0.0 => ./local\n## explicit\nexample.com/local\n"
                          "# golang.org/x/text v0.3.5\n## explicit\ngolang.org/x/text/language\n"
                          "# example.com/local => ./local\n",
}


def go_version() -> str:
    """The Go release that builds the program, as Go's tool says it."""
    out = subprocess.run(["go", "env", "GOVERSION"], capture_output=True, text=True, check=True).stdout.strip()
    return out.removeprefix("go")


def build_go(folder: pathlib.Path, goos: str = "linux") -> pathlib.Path:
    if shutil.which("go") is None:
        pytest.skip("Debian's golang-go is not installed")
    for name, text in GO_FILES.items():
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    out = folder / f"app-{goos}"
    env = dict(os.environ, GOOS=goos, GOARCH="amd64", CGO_ENABLED="0", GOFLAGS="-mod=vendor", GOPROXY="off")
    subprocess.run(["go", "build", "-o", str(out), "."], cwd=folder, env=env, check=True, capture_output=True)
    return out


# ---------------------------------------------------------------- trees and images

def machine_layers(go_program: pathlib.Path) -> list[dict[str, object]]:
    """The layers of the test image: path -> bytes, ("link", target) or
    None (a whiteout of that path)."""
    need(DPKG_STATUS, OS_RELEASE, DIST_PACKAGES, JAR)
    base: dict[str, object] = {
        "usr/lib/os-release": OS_RELEASE.read_bytes(),
        "etc/os-release": ("link", "../usr/lib/os-release"),
        "var/lib/dpkg/status": DPKG_STATUS.read_bytes(),
    }
    python: dict[str, object] = {}
    for name in DISTRIBUTIONS:
        for file in (DIST_PACKAGES / name).rglob("*"):
            if file.is_file():
                python[f"usr/lib/python3/dist-packages/{file.relative_to(DIST_PACKAGES)}"] = file.read_bytes()
    apps: dict[str, object] = {
        "usr/local/bin/app": (go_program.read_bytes(), 0o755),
        "opt/app/lib/commons-io.jar": JAR.read_bytes(),
        "opt/app/tmp/junk/node_modules/left-pad/package.json": b'{"name": "left-pad", "version": "1.1.0"}',
    }
    cleanup: dict[str, object] = {
        f"usr/lib/python3/dist-packages/{DELETED}": None,
        "opt/app/tmp": "opaque",
    }
    return [base, python, apps, cleanup]


def layer_tar(files: dict[str, object]) -> bytes:
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for path, content in files.items():
            folder, name = os.path.split(path)
            if content is None:
                path = f"{folder}/.wh.{name}"
            elif content == "opaque":
                path = f"{path}/.wh..wh..opq"
            info = tarfile.TarInfo(path)
            if isinstance(content, tuple) and content[0] == "link":
                info.type, info.linkname = tarfile.SYMTYPE, content[1]
                tar.addfile(info)
                continue
            data, mode = content if isinstance(content, tuple) else (content, 0o644)
            data = data if isinstance(data, bytes) else b""
            info.size, info.mode = len(data), mode
            tar.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


def write_folder(root: pathlib.Path, layers: list[dict[str, object]]) -> pathlib.Path:
    """The root filesystem the layers make, written as an engine would."""
    for files in layers:
        for path, content in files.items():
            target = root / path
            if content is None:
                shutil.rmtree(target) if target.is_dir() else target.unlink(missing_ok=True)
            elif content == "opaque":
                shutil.rmtree(target, ignore_errors=True)
                target.mkdir(parents=True)
            elif isinstance(content, tuple) and content[0] == "link":
                target.parent.mkdir(parents=True, exist_ok=True)
                target.symlink_to(content[1])
            else:
                data, mode = content if isinstance(content, tuple) else (content, 0o644)
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(data)
                target.chmod(mode)
    return root


def _digest(data: bytes) -> str:
    return "sha256:" + hashlib.sha256(data).hexdigest()


def _descriptor(media_type: str, data: bytes, **extra: object) -> dict[str, object]:
    return {"mediaType": media_type, "digest": _digest(data), "size": len(data), **extra}


def _config(tars: list[bytes]) -> bytes:
    return json.dumps({"architecture": "amd64", "os": "linux",
                       "rootfs": {"type": "layers", "diff_ids": [_digest(t) for t in tars]}}).encode()


def diff_ids(layers: list[dict[str, object]]) -> list[str]:
    return [_digest(layer_tar(files)) for files in layers]


def docker_archive(path: pathlib.Path, layers: list[dict[str, object]]) -> pathlib.Path:
    tars = [layer_tar(files) for files in layers]
    config = _config(tars)
    entries = {f"{i}/layer.tar": t for i, t in enumerate(tars)}
    entries["config.json"] = config
    entries["manifest.json"] = json.dumps([{"Config": "config.json", "RepoTags": ["test:latest"],
                                            "Layers": [f"{i}/layer.tar" for i in range(len(tars))]}]).encode()
    return _tar(path, entries)


def oci_blobs(layers: list[dict[str, object]], compress: str = "gzip",
              platforms: tuple[str, ...] = ()) -> dict[str, bytes]:
    """The files of an OCI layout: one image, or (with platforms) an index of
    one image per platform, the layers the same."""
    tars = [layer_tar(files) for files in layers]
    if compress == "gzip":
        blobs = [gzip.compress(t, mtime=0) for t in tars]
    elif compress == "zstd":
        zstandard = pytest.importorskip("zstandard", reason="python3-zstandard compresses zstd layers")
        blobs = [zstandard.ZstdCompressor().compress(t) for t in tars]
    else:
        blobs = tars
    config = _config(tars)
    manifest = json.dumps({
        "schemaVersion": 2, "mediaType": "application/vnd.oci.image.manifest.v1+json",
        "config": _descriptor("application/vnd.oci.image.config.v1+json", config),
        "layers": [_descriptor("application/vnd.oci.image.layer.v1.tar", b) for b in blobs],
    }).encode()
    files = {f"blobs/sha256/{_digest(b)[7:]}": b for b in [*blobs, config, manifest]}
    top = [_descriptor("application/vnd.oci.image.manifest.v1+json", manifest)]
    if platforms:
        # Every platform but the last gets an image without layers.
        empty_config = _config([])
        empty = json.dumps({"schemaVersion": 2, "config": _descriptor("application/json", empty_config),
                            "layers": []}).encode()
        files[f"blobs/sha256/{_digest(empty)[7:]}"] = empty
        files[f"blobs/sha256/{_digest(empty_config)[7:]}"] = empty_config
        described = [dict(_descriptor("application/vnd.oci.image.manifest.v1+json",
                                      manifest if p == platforms[-1] else empty),
                          platform=dict(zip(("os", "architecture", "variant"), p.split("/"))))
                     for p in platforms]
        nested = json.dumps({"schemaVersion": 2, "manifests": described}).encode()
        files[f"blobs/sha256/{_digest(nested)[7:]}"] = nested
        top = [_descriptor("application/vnd.oci.image.index.v1+json", nested)]
    files["oci-layout"] = b'{"imageLayoutVersion": "1.0.0"}'
    files["index.json"] = json.dumps({"schemaVersion": 2, "manifests": top}).encode()
    return files


def oci_folder(folder: pathlib.Path, files: dict[str, bytes]) -> pathlib.Path:
    for name, data in files.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(data)
    return folder


def _tar(path: pathlib.Path, entries: dict[str, bytes]) -> pathlib.Path:
    with tarfile.open(path, "w") as tar:
        for name, data in entries.items():
            info = tarfile.TarInfo(name)
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
    return path


def oci_tar(path: pathlib.Path, files: dict[str, bytes]) -> pathlib.Path:
    return _tar(path, files)
