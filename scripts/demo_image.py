"""Writes a container image (a saved image tar) from files of this machine,
in three layers: the operating system's release and dpkg database, the
Python distributions of Debian's python3 packages, and a layer that deletes
one of them (a whiteout), as a Dockerfile's RUN pip uninstall would.

  python3 scripts/demo_image.py OUT.tar
"""
import hashlib
import io
import json
import pathlib
import sys
import tarfile

SITE = "usr/lib/python3/dist-packages"


def files_of(paths):
    out = {}
    for path in paths:
        path = pathlib.Path(path)
        for f in ([path] if path.is_file() else sorted(path.rglob("*"))):
            if f.is_file() and not f.is_symlink():
                out[str(f).lstrip("/")] = f.read_bytes()
    return out


def layer(files):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w") as tar:
        for name, data in files.items():
            info = tarfile.TarInfo(name)
            if data is None:  # a link to the real file, as Debian has it
                info.type, info.linkname = tarfile.SYMTYPE, "../usr/lib/os-release"
                tar.addfile(info)
                continue
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


def main(out):
    site = pathlib.Path("/") / SITE
    dists = sorted(p for p in site.glob("*-info") if p.is_dir())
    deleted = next((p for p in dists if p.name.lower().startswith("jinja2")), dists[-1])
    layers = [
        {**files_of(["/usr/lib/os-release", "/var/lib/dpkg/status"]), "etc/os-release": None},
        files_of(dists),
        {f"{SITE}/.wh.{deleted.name}": b""},
    ]
    tars = [layer(files) for files in layers]
    diff_ids = ["sha256:" + hashlib.sha256(t).hexdigest() for t in tars]
    config = json.dumps({"os": "linux", "architecture": "amd64", "rootfs": {"type": "layers", "diff_ids": diff_ids}})
    entries = {f"{i}/layer.tar": t for i, t in enumerate(tars)}
    entries["config.json"] = config.encode()
    entries["manifest.json"] = json.dumps([{"Config": "config.json", "RepoTags": ["demo:latest"],
                                            "Layers": list(entries)[:len(tars)]}]).encode()
    with tarfile.open(out, "w") as tar:
        for name, data in entries.items():
            info = tarfile.TarInfo(name)
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
    print(f"{out}: {len(dists)} Python distributions and the dpkg database in {len(tars)} layers; "
          f"the last deletes {deleted.name}")


if __name__ == "__main__":
    main(sys.argv[1])
