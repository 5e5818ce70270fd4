"""Container images and the root filesystem they unpack to: the same
packages and findings from the folder, a saved image tar and OCI layouts;
whiteouts honoured; every package named with the layer that installed it;
hostile images refused without reading or writing outside."""

import gzip
import io
import json
import tarfile

import pytest

from installed_inputs import (DELETED, DISTRIBUTIONS, build_go, diff_ids, docker_archive, layer_tar, machine_layers,
                              oci_blobs, oci_folder, oci_tar, write_folder)
from scan_records import MemoryRecords, OSV_PYPI, folder_records, need_shared, zip_records
from quorlen.scan import installed, scan_paths
from quorlen.scan.installed import image


@pytest.fixture(scope="session")
def layers(tmp_path_factory):
    return machine_layers(build_go(tmp_path_factory.mktemp("go")))


@pytest.fixture(scope="session")
def images(tmp_path_factory, layers):
    """The same system as a folder, a saved image, and OCI layouts (folder,
    tar; gzip, uncompressed and zstd layers; an index of two platforms)."""
    t = tmp_path_factory.mktemp("images")
    return {
        "folder": write_folder(t / "rootfs", layers),
        "docker-archive": docker_archive(t / "saved.tar", layers),
        "oci-folder": oci_folder(t / "oci", oci_blobs(layers)),
        "oci-tar": oci_tar(t / "oci.tar", oci_blobs(layers, compress="none")),
        "oci-zstd": oci_folder(t / "oci-zstd", oci_blobs(layers, compress="zstd")),
        "oci-index": oci_folder(t / "oci-index", oci_blobs(layers, platforms=("linux/arm64/v8", "linux/amd64"))),
    }


def inner(package, root):
    """The path of a package's file inside the system, whatever the input."""
    return package.file.split("!/", 1)[1] if "!/" in package.file else package.file[len(str(root)) + 1:]


def summary(path):
    found = installed.read_system(str(path))
    assert found.errors == [] and found.warnings == []
    return {(p.ecosystem, p.name, p.version, p.source, inner(p, path)) for p in found.packages}, found


@pytest.fixture(scope="session")
def db():
    need_shared()
    return MemoryRecords(zip_records("Go.zip") + zip_records("Debian.zip") + folder_records(OSV_PYPI))


def test_every_form_of_the_image_gives_the_same_packages(images, layers):
    expected, _ = summary(images["folder"])
    for kind, path in images.items():
        assert summary(path)[0] == expected, kind
    names = {(eco, name) for eco, name, *_ in expected}
    # The whiteout's deletion and the opaque folder's contents are gone; the rest is there.
    assert ("PyPI", "attrs") not in names and ("npm", "left-pad") not in names
    assert {("PyPI", d.split("-")[0]) for d in DISTRIBUTIONS if d != DELETED} <= names
    assert {("Go", "stdlib"), ("Go", "golang.org/x/text"), ("Maven", "commons-io:commons-io")} <= names
    assert any(eco.startswith("Debian:") for eco, _ in names)


def test_each_package_is_named_with_the_layer_that_installed_it(images, layers):
    ids = diff_ids(layers)
    _, found = summary(images["docker-archive"])
    layer_of = {p.name: p.layer for p in found.packages}
    assert layer_of["stdlib"] == layer_of["commons-io:commons-io"] == ids[2]
    assert layer_of["Jinja2"] == ids[1]
    assert {p.layer for p in found.packages if p.ecosystem.startswith("Debian")} == {ids[0]}
    assert all(p.layer is None for p in summary(images["folder"])[1].packages)


def test_findings_agree_between_folder_and_images_and_name_the_layer(images, db):
    results = {kind: scan_paths([str(images[kind])], db=db) for kind in ("folder", "docker-archive", "oci-tar")}
    keyed = {kind: {(f.id, f.package.name, f.package.version) for f in r.findings} for kind, r in results.items()}
    assert keyed["folder"] == keyed["docker-archive"] == keyed["oci-tar"]
    assert {name for _, name, _ in keyed["folder"]} >= {"stdlib", "golang.org/x/text"}
    assert all(f.package.layer and f.package.layer.startswith("sha256:") for f in results["oci-tar"].findings)
    assert results["folder"].status == 1 and not results["folder"].errors


def test_a_platform_the_index_lacks_is_one_clear_error(images):
    with pytest.raises(image.ImageError, match=r"no image for platform linux/s390x .*linux/amd64, linux/arm64/v8"):
        installed.read_system(str(images["oci-index"]), "linux/s390x")
    assert installed.read_system(str(images["oci-index"]), "linux/arm64").packages == []


def _single_layer_image(tmp_path, members, compress=False):
    """A saved image of one layer written member by member (names unchecked)."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w") as tar:
        for info, data in members:
            tar.addfile(info, io.BytesIO(data) if data is not None else None)
    blob = gzip.compress(buffer.getvalue()) if compress else buffer.getvalue()
    return docker_archive_raw(tmp_path / "hostile.tar", blob)


def docker_archive_raw(path, blob):
    with tarfile.open(path, "w") as tar:
        for name, data in {"l.tar": blob, "c.json": b"{}",
                           "manifest.json": json.dumps([{"Config": "c.json", "Layers": ["l.tar"]}]).encode()}.items():
            info = tarfile.TarInfo(name)
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
    return path


def _file(name, data, type=tarfile.REGTYPE, link=""):
    info = tarfile.TarInfo(name)
    info.type, info.linkname, info.size = type, link, len(data or b"")
    return info, data


METADATA = b"Metadata-Version: 2.1\nName: demo\nVersion: 1.0\n"


@pytest.mark.parametrize("members, warned", [
    ([_file("../../etc/passwd", b"x"), _file("/abs/x", b"x")], r"2 entries refused \(the first: '\.\./\.\./etc/passwd'"),
    # os-release a link out of the tree: resolved inside it, where nothing is.
    ([_file("etc/os-release", None, tarfile.SYMTYPE, "../../../../etc/os-release")], None),
    ([_file("etc/os-release", None, tarfile.SYMTYPE, "os-release2"),
      _file("etc/os-release2", None, tarfile.SYMTYPE, "os-release")], "a loop of symbolic links"),
])
def test_hostile_entries_are_refused_and_the_rest_is_read(tmp_path, members, warned):
    good = [_file("usr/lib/python3/site-packages/demo-1.0.dist-info/METADATA", METADATA)]
    path = _single_layer_image(tmp_path, members + good)
    found = installed.read_system(str(path))
    assert [(p.name, p.version) for p in found.packages] == [("demo", "1.0")]
    # Its configuration lists no diff ids: the layer is named by the digest of its tar.
    with tarfile.open(path) as outer:
        layer_bytes = outer.extractfile("l.tar").read()
    assert found.packages[0].layer == "sha256:" + __import__("hashlib").sha256(layer_bytes).hexdigest()
    assert found.os_ecosystem is None
    if warned:
        assert any(__import__("re").search(warned, w) for w in found.warnings), found.warnings
    assert not (tmp_path / "etc").exists() and list(tmp_path.iterdir()) == [tmp_path / "hostile.tar"]


def test_a_decompression_bomb_fails_the_image_without_unpacking_it(tmp_path):
    zeros = layer_tar({"big": b"\0" * (4 << 20)})
    path = docker_archive_raw(tmp_path / "bomb.tar", gzip.compress(zeros, 9))
    limits = image.Limits(ratio=50, ratio_floor=1 << 20)
    with pytest.raises(image.ImageError, match="decompression bomb"):
        image.read_image(str(path), limits=limits)
    # Within the bounds the same layer is read.
    image.read_image(str(path), limits=image.Limits(ratio=50, ratio_floor=8 << 20))


def test_a_scan_reports_a_broken_image_as_that_input_s_error(tmp_path, db):
    broken = docker_archive_raw(tmp_path / "broken.tar", b"not a tar at all" * 100)
    result = scan_paths([str(broken)], db=db)
    assert result.status == 2 and [e.format for e in result.errors] == ["image"]
    assert "not a readable tar" in result.errors[0].message


def test_the_outputs_name_the_layer_and_the_command_takes_a_platform(images, db, tmp_path):
    import subprocess
    import sys

    import jsonschema

    import quorlen.scan
    from quorlen.scan import formats

    result = scan_paths([str(images["docker-archive"])], db=db)
    layer = result.findings[0].package.layer
    document = json.loads(formats.render(result, "json"))
    schema = json.loads((__import__("pathlib").Path(quorlen.scan.__file__).parent / "scan-result.schema.json")
                        .read_text())
    jsonschema.validate(document, schema)
    assert document["findings"][0]["package"]["layer"] == layer
    sarif = json.loads(formats.render(result, "sarif"))["runs"][0]["results"]
    assert sarif[0]["properties"]["layer"] == layer
    assert f"(layer {layer[:19]})" in formats.render(result, "table")

    def run(*args):
        return subprocess.run([sys.executable, "-m", "quorlen", "scan", str(images["oci-index"]), "--db",
                               str(tmp_path / "osv.sqlite3"), "--format", "json", *args], capture_output=True,
                              text=True, cwd=tmp_path)
    from quorlen.scan.database import Database
    with Database(str(tmp_path / "osv.sqlite3")):
        pass
    arm, amd = run("--platform", "linux/arm64"), run()
    assert arm.stdout, arm.stderr
    assert (arm.returncode, json.loads(arm.stdout)["packages"]) == (0, 0)
    assert "no installed package found" in arm.stderr
    assert json.loads(amd.stdout)["packages"] > 100
