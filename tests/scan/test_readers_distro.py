import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.readers import read_file, reader_for

apt_pkg = pytest.importorskip("apt_pkg", reason="apt_pkg (python3-apt) reads dpkg databases for comparison")


def dpkg_sources(path):
    """(source, version) of each installed package, as apt's own parser reads the file."""
    apt_pkg.init_system()
    out = []
    with apt_pkg.TagFile(str(path)) as tags:
        for s in tags:
            if s["Status"].split()[2] == "installed":
                m = re.fullmatch(r"(\S+)(?: \((.+)\))?", s.get("Source") or s["Package"])
                out.append((m[1], m[2] or s["Version"]))
    return list(dict.fromkeys(out))


# The releases of the shared databases (the shared data's README), hand-checked against base-files.
RELEASES = {"industio": "Ubuntu:20.04", "debian-12-bookworm": "Debian:12", "haconiwa": "Alpine:v3.4",
            "hizlbuzz": "Alpine"}  # the 3.14 minirootfs holds neither alpine-release nor alpine-base


@pytest.mark.parametrize("path", shared("dpkg"))
def test_installed_source_packages_of_the_real_dpkg_databases(path):
    packages = read_file(str(path))
    assert [(p.name, p.version) for p in packages] == dpkg_sources(path)
    assert {p.ecosystem for p in packages} == {RELEASES[path.name.split("__")[0]]}
    assert all(line_of(path, p.line).startswith("Package: ") for p in packages)


@pytest.mark.parametrize("path", shared("apk"))
def test_origin_packages_of_the_real_apk_databases(path):
    stanzas = path.read_text().split("\n\n")
    origins = [(re.search(r"(?m)^o:(.*)$", s)[1], re.search(r"(?m)^V:(.*)$", s)[1]) for s in stanzas if "P:" in s]
    packages = read_file(str(path))
    assert [(p.name, p.version) for p in packages] == list(dict.fromkeys(origins))
    assert {p.ecosystem for p in packages} == {RELEASES[path.name.split("__")[0]]}
    assert all(line_of(path, p.line).startswith("P:") for p in packages)


@pytest.mark.parametrize("folder, commit, name, version, line", [
    ("dpkg", "debian-12", "zlib", "1:1.2.13.dfsg-1", 4892),
    ("dpkg", "debian-12", "bash", "5.2.15-2", 58),                 # "Source: bash (5.2.15-2)"
    ("dpkg", "4dee965", "glibc", "2.31-0ubuntu9", 444),            # libc-bin, the first of glibc's packages
    ("apk", "485d195", "openssl", "1.1.1k-r0", 18),                # libcrypto1.1 comes from openssl
    ("apk", "485d195", "boost1.75", "1.75.0-r8", 138),
])
def test_hand_checked_entries(folder, commit, name, version, line):
    packages = read_file(str(shared_file(folder, commit)))
    assert (name, version, line) in {(p.name, p.version, p.line) for p in packages}


def stanza(name, version, **fields):
    extra = "".join(f"{k}: {v}\n" for k, v in fields.items())
    return f"Package: {name}\nStatus: install ok installed\n{extra}Version: {version}\n\n"


@pytest.mark.parametrize("base_files, ecosystem", [
    ("12.4+deb12u5", "Debian:12"),
    ("11.1+deb11u9", "Debian:11"),
    ("11ubuntu5.8", "Ubuntu:20.04"),
    ("12ubuntu4.6", "Ubuntu:22.04"),
    ("13ubuntu10.1", "Ubuntu:24.04"),
    ("12.3ubuntu2", "Ubuntu"),         # a release missing from the table gets no suffix
    ("custom", "Debian"),
])
def test_dpkg_release(tmp_path, base_files, ecosystem):
    text = stanza("base-files", base_files) + stanza("libc6", "2.36-9", Source="glibc")
    assert {p.ecosystem for p in read_text(tmp_path, "status", text)} == {ecosystem}


@pytest.mark.parametrize("name, text, line", [
    ("status", "Package: a\nStatus: install ok installed\nVersion 1.0\n", 3),   # no colon
    ("status", "Package: a\nStatus: install ok installed\n", 1),                # no version
    ("status", "Package: a\nStatus: installed\nVersion: 1\n", 2),
    ("status", " continued\n", 1),
    ("status", "Status: install ok installed\nVersion: 1\n", 1),                # no package name
    ("status", stanza("a", "1") + "Package: b\nStatus: install ok installed\nSource: (x\nVersion: 1\n", 7),
    ("installed", "P:a\nV:1.0-r0\n\nP:b\n", 4),                                   # truncated
    ("installed", "P:a\nV:1.0-r0\nnonsense\n", 3),
], ids=short_id)
def test_malformed(tmp_path, name, text, line):
    assert_error(tmp_path, name, text, line, {"status": "dpkg-status", "installed": "apk-installed"}[name])


@pytest.mark.parametrize("name, format", [
    ("status", "dpkg-status"),
    ("a__b__1234567__status", "dpkg-status"),
    ("installed", "apk-installed"),
    ("a__b__1234567__installed", "apk-installed"),
    ("status.txt", None),
    ("not-installed", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
