"""The readers of installed systems on real files of this machine, counted
against independent tools: python3-apt for dpkg, importlib.metadata for
Python, rpm for its database, npm for node_modules, Go's records for the
standard library of a Go program."""

import importlib.metadata
import json
import os
import pathlib
import re
import shutil
import subprocess
import zipfile
import zlib

import pytest

from installed_inputs import DIST_PACKAGES, DPKG_STATUS, JAR, OS_RELEASE, build_go, go_version, need
from scan_records import MemoryRecords, need_shared, zip_records
from quorlen.scan import installed, scan_paths
from quorlen.scan.ecosystems import os_release_ecosystem
from quorlen.scan.installed import gobuild, javaarchive, manifests, rustaudit


def rootfs(root, files):
    for name, content in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, pathlib.Path):
            shutil.copytree(content, path) if content.is_dir() else shutil.copyfile(content, path)
        else:
            path.write_bytes(content if isinstance(content, bytes) else content.encode())
    return root


def packages(root, ecosystem_prefix=""):
    found = installed.read_system(str(root))
    assert found.errors == [], found.errors
    return [p for p in found.packages if p.ecosystem.startswith(ecosystem_prefix)], found


# ---------------------------------------------------------------- operating system

def apt_installed_sources(path):
    apt_pkg = pytest.importorskip("apt_pkg", reason="python3-apt reads dpkg databases for comparison")
    apt_pkg.init_system()
    out = set()
    with apt_pkg.TagFile(str(path)) as tags:
        for s in tags:
            if s.get("Status", "install ok installed").split()[2] == "installed":
                m = re.fullmatch(r"(\S+)(?: \((.+)\))?", s.get("Source") or s["Package"])
                out.add((m[1], m[2] or s["Version"]))
    return out


def test_the_machine_s_dpkg_database_with_its_os_release(tmp_path):
    need(DPKG_STATUS, OS_RELEASE)
    root = rootfs(tmp_path, {"var/lib/dpkg/status": DPKG_STATUS, "usr/lib/os-release": OS_RELEASE})
    (root / "etc").mkdir()
    (root / "etc/os-release").symlink_to("../usr/lib/os-release")
    found, scan = packages(root)
    release = re.search(r'(?m)^VERSION_ID="?(\d+)', OS_RELEASE.read_text())[1]
    assert {p.ecosystem for p in found} == {f"Debian:{release}"} == {scan.os_ecosystem}
    assert {(p.name, p.version) for p in found} == apt_installed_sources(DPKG_STATUS)


def test_status_d_of_an_image_without_dpkg_reads_as_the_status_file(tmp_path):
    need(DPKG_STATUS)
    stanzas = [s for s in DPKG_STATUS.read_text().split("\n\n") if s.strip()]
    installed_only = [s for s in stanzas if re.search(r"(?m)^Status: .* installed$", s)]
    files = {f"var/lib/dpkg/status.d/{re.search(r'(?m)^Package: (.+)$', s)[1]}":
             re.sub(r"(?m)^Status: .*\n", "", s) + "\n" for s in installed_only}
    files["var/lib/dpkg/status.d/base-files.md5sums"] = "0123  etc/debian_version\n"
    found, _ = packages(rootfs(tmp_path, files))
    assert {(p.name, p.version) for p in found} == apt_installed_sources(DPKG_STATUS)


@pytest.mark.parametrize("os_id, version_id, codename, expected", [
    ("debian", "12", None, "Debian:12"),
    ("debian", None, "bookworm", "Debian:12"),   # testing images carry no VERSION_ID
    ("ubuntu", "22.04", "jammy", "Ubuntu:22.04"),
    ("alpine", "3.18.4", None, "Alpine:v3.18"),
    ("almalinux", "9.5", None, "AlmaLinux:9"),
    ("rocky", "8.10", None, "Rocky Linux:8"),
    ("arch", None, None, None),
])
def test_os_release_names_the_osv_ecosystem(os_id, version_id, codename, expected):
    assert os_release_ecosystem(os_id, version_id, codename) == expected


def test_os_release_overrides_the_guess_of_the_apk_database(tmp_path):
    apk = "P:musl\nV:1.2.4-r2\no:musl\n\nP:busybox\nV:1.36.1-r5\no:busybox\n\n"
    root = rootfs(tmp_path, {"lib/apk/db/installed": apk,
                             "etc/os-release": 'ID=alpine\nVERSION_ID="3.18.4"\nNAME="Alpine Linux"\n'})
    found, _ = packages(root)
    assert [(p.ecosystem, p.name) for p in found] == [("Alpine:v3.18", "musl"), ("Alpine:v3.18", "busybox")]


# ---------------------------------------------------------------- RPM

@pytest.fixture(scope="session")
def rpm_db(tmp_path_factory):
    """An RPM database in SQLite form made by Debian's rpm tools: two
    packages built with rpmbuild and recorded with --justdb."""
    if not (shutil.which("rpmbuild") and shutil.which("rpm")):
        pytest.skip("Debian's rpm and rpmbuild are not installed")
    t = tmp_path_factory.mktemp("rpm")
    sqlite = ["--define", "_db_backend sqlite", "--dbpath", str(t / "root/var/lib/rpm")]
    for name, version, release, epoch in [("demo", "1.2.3", "4", "0"), ("openssl-libs", "3.0.7", "18.el9", "1")]:
        spec = t / f"{name}.spec"
        spec.write_text(f"Name: {name}\nVersion: {version}\nRelease: {release}\nEpoch: {epoch}\nSummary: t\n"
                        f"License: MIT\nBuildArch: noarch\n%description\nt\n%files\n")
        subprocess.run(["rpmbuild", "-bb", "--define", f"_topdir {t / 'top'}", str(spec)], check=True,
                       capture_output=True)
    subprocess.run(["rpm", "--initdb", *sqlite], check=True, capture_output=True)
    built = sorted(str(p) for p in (t / "top").rglob("*.rpm"))
    subprocess.run(["rpm", "-i", "--justdb", "--nodeps", "--noscripts", *sqlite, *built], check=True,
                   capture_output=True)
    listed = subprocess.run(["rpm", "-qa", *sqlite, "--qf", "%{NAME} %{EPOCHNUM} %{VERSION}-%{RELEASE}\n"],
                            check=True, capture_output=True, text=True).stdout
    expected = set()
    for line in listed.splitlines():
        name, epoch, rest = line.split()
        expected.add((name, rest if epoch == "0" else f"{epoch}:{rest}"))
    return t / "root", expected


def test_the_rpm_sqlite_database_against_rpm_itself(rpm_db, tmp_path):
    root, expected = rpm_db
    found, scan = packages(root)
    assert {(p.name, p.version) for p in found} == expected and len(found) == len(expected) == 2
    assert {p.ecosystem for p in found} == {"RPM"} and any("not checked" in w for w in scan.warnings)
    (root / "etc").mkdir(exist_ok=True)
    (root / "etc/os-release").write_text('ID="almalinux"\nVERSION_ID="9.5"\nID_LIKE="rhel centos fedora"\n')
    found, _ = packages(root)
    assert {p.ecosystem for p in found} == {"AlmaLinux:9"}


@pytest.mark.parametrize("name, reason", [("Packages", "Berkeley DB"), ("Packages.db", "NDB")])
def test_rpm_databases_in_other_forms_are_named_as_not_checked(tmp_path, name, reason):
    root = rootfs(tmp_path, {f"var/lib/rpm/{name}": b"\0" * 4096})
    found = installed.read_system(str(root))
    assert found.packages == [] and any(reason in w and "not checked" in w for w in found.warnings)


# ---------------------------------------------------------------- language packages

def test_python_distributions_against_importlib_metadata(tmp_path):
    need(DIST_PACKAGES)
    site = tmp_path / "usr/lib/python3/dist-packages"
    site.mkdir(parents=True)
    for entry in DIST_PACKAGES.iterdir():
        if entry.name.endswith((".dist-info", ".egg-info")):
            (shutil.copytree if entry.is_dir() else shutil.copyfile)(entry, site / entry.name)
    expected = {(d.metadata["Name"], d.version) for d in importlib.metadata.distributions(path=[str(site)])}
    found, _ = packages(tmp_path)
    assert {(p.name, p.version) for p in found} == expected and len(expected) > 10
    assert all(pathlib.Path(p.file).read_text(errors="replace").splitlines()[p.line - 1].startswith("Name:")
               for p in found)


@pytest.mark.parametrize("layout, system", [
    ("lib/python3.11/site-packages/demo-1.0.dist-info/METADATA", True),          # a virtual environment
    ("usr/local/lib/python3.11/dist-packages/demo-1.0.dist-info/METADATA", True),
    ("src/site-packages/demo-1.0.dist-info/METADATA", False),                     # a project's own folder
    ("requirements.txt", False),
])
def test_which_folders_are_read_as_installed_systems(tmp_path, layout, system):
    rootfs(tmp_path, {layout: "Metadata-Version: 2.1\nName: demo\nVersion: 1.0\n"})
    assert installed.is_system(str(tmp_path)) is system
    if system:
        assert [(p.name, p.version) for p in installed.read_system(str(tmp_path)).packages] == [("demo", "1.0")]


@pytest.fixture(scope="session")
def node_project(tmp_path_factory):
    """node_modules installed by npm from its registry, with npm's own list of them."""
    if shutil.which("npm") is None:
        pytest.skip("npm is not installed")
    project = tmp_path_factory.mktemp("npm") / "srv/app"
    project.mkdir(parents=True)
    (project / "package.json").write_text('{"name": "app", "version": "0.1.0", "private": true}')
    try:
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--ignore-scripts", "lodash@4.17.20",
                        "debug@2.6.8", "@babel/helper-validator-identifier@7.22.5"], cwd=project, check=True,
                       capture_output=True, timeout=120)
        listed = subprocess.run(["npm", "ls", "--all", "--json"], cwd=project, capture_output=True, text=True,
                                timeout=60).stdout
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
        pytest.skip(f"npm install needs the npm registry: {e}")
    expected = set()

    def walk(deps):
        for name, dep in (deps or {}).items():
            expected.add((name, dep["version"]))
            walk(dep.get("dependencies"))
    walk(json.loads(listed).get("dependencies"))
    return project, expected


def test_node_modules_against_npm_s_own_list(node_project):
    project, expected = node_project
    root = project.parent.parent
    (root / "etc").mkdir(exist_ok=True)
    (root / "etc/os-release").write_text("ID=debian\nVERSION_ID=12\n")
    found, _ = packages(root, "npm")
    assert {(p.name, p.version) for p in found} == expected and ("ms", "2.0.0") in expected
    assert all("app" != p.name for p in found)  # the project's own package.json is not a dependency


def nested_war(jar_bytes):
    import io
    inner = io.BytesIO()
    with zipfile.ZipFile(inner, "w") as z:
        z.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\nImplementation-Title: shaded\n"
                                           "Implementation-Version: 0.9\nImplementation-Vendor-Id: org.example\n")
        z.writestr("lib/real.jar", jar_bytes)
    war = io.BytesIO()
    with zipfile.ZipFile(war, "w") as z:
        z.writestr("WEB-INF/lib/shaded.jar", inner.getvalue())
    return war.getvalue()


def test_java_archives_real_and_nested():
    need(JAR)
    with zipfile.ZipFile(JAR) as z:
        props = z.read("META-INF/maven/commons-io/commons-io/pom.properties").decode()
    version = re.search(r"(?m)^version=(.+)$", props)[1].strip()
    war = javaarchive.read("app.war", nested_war(JAR.read_bytes()))
    assert [(p.name, p.version, p.file) for p in war] == [
        ("org.example:shaded", "0.9", "app.war!/WEB-INF/lib/shaded.jar"),
        ("commons-io:commons-io", version, "app.war!/WEB-INF/lib/shaded.jar!/lib/real.jar"),
    ]


def test_java_archives_nested_past_the_bound_are_reported_and_skipped():
    from quorlen.scan.readers.parsing import collecting
    data = JAR.read_bytes() if JAR.exists() else b""
    for _ in range(javaarchive.MAX_DEPTH + 1):
        data = nested_war(data)
    with collecting() as bad:
        javaarchive.read("deep.war", data)
    assert len(bad) == 1 and "nested deeper than" in bad[0].message


@pytest.mark.parametrize("read, text, expected", [
    (manifests.read_gemspec, '# -*- encoding: utf-8 -*-\nGem::Specification.new do |s|\n  s.name = "rack".freeze\n'
     '  s.version = "2.2.3"\n  s.add_runtime_dependency(%q<x>.freeze, ["= 1.0"])\nend\n', [("rack", "2.2.3", 3)]),
    (manifests.read_composer, '{"packages": [\n {"name": "Symfony/Console", "version": "v5.4.1"},\n'
     ' {"name": "monolog/monolog", "version": "2.3.0"}\n]}', [("symfony/console", "5.4.1", 2),
                                                              ("monolog/monolog", "2.3.0", 3)]),
    (manifests.read_composer, '[{"name": "a/b", "version": "1.0.0"}]', [("a/b", "1.0.0", 1)]),  # Composer 1
    (manifests.read_deps_json, '{"libraries": {\n "App/1.0.0": {"type": "project"},\n'
     ' "Newtonsoft.Json/12.0.1": {"type": "package"}\n}}', [("Newtonsoft.Json", "12.0.1", 3)]),
])
def test_package_manager_records(read, text, expected):
    assert [(p.name, p.version, p.line) for p in read("f", text.encode())] == expected


# ---------------------------------------------------------------- programs

@pytest.fixture(scope="session")
def go_programs(tmp_path_factory):
    return tmp_path_factory.mktemp("go-programs")


@pytest.mark.parametrize("goos", ["linux", "windows", "darwin"])  # ELF, PE, Mach-O
def test_go_program_modules_from_each_executable_format(go_programs, goos):
    program = build_go(go_programs / goos, goos)
    found = gobuild.read(str(program), program.read_bytes())
    assert [(p.name, p.version, p.source) for p in found] == [
        ("stdlib", go_version(), "registry"), ("example.com/local", "0.0.0", "path"),
        ("golang.org/x/text", "0.3.5", "registry")]


def test_go_programs_of_the_older_layout_with_addresses(go_programs):
    """Before Go 1.18 the header held the addresses of two Go strings: the
    program rewritten that way, its strings put in its read-only data."""
    import struct
    from quorlen.scan.installed import binaries
    program = build_go(go_programs / "linux-old", "linux")
    data = bytearray(program.read_bytes())
    binary = binaries.parse(bytes(data))
    version, mod = gobuild.build_info(binary)
    info = next(s for s in binary.sections if s.name == ".go.buildinfo")
    rodata = next(s for s in binary.sections if s.name == ".rodata")
    framed = ("\0" * 16 + mod + "\n" + "\0" * 15).encode()
    strings_at = rodata.addr + 32
    data[rodata.offset:rodata.offset + 32] = struct.pack("<QQQQ", strings_at, len(version),
                                                         strings_at + len(version), len(framed))
    data[rodata.offset + 32:rodata.offset + 32 + len(version) + len(framed)] = version.encode() + framed
    data[info.offset + 14:info.offset + 32] = bytes([8, 0]) + struct.pack("<QQ", rodata.addr, rodata.addr + 16)
    found = gobuild.read("old", bytes(data))
    assert [(p.name, p.version) for p in found] == [("stdlib", go_version()), ("example.com/local", "0.0.0"),
                                                    ("golang.org/x/text", "0.3.5")]


def semver_key(v):
    return tuple(int(x) for x in v.split("."))


def test_the_go_standard_library_is_checked_against_go_s_records(go_programs):
    need_shared()
    records = zip_records("Go.zip")
    program = build_go(go_programs / "scan", "linux")
    result = scan_paths([str(program)], db=MemoryRecords(records))
    found = {i for f in result.findings if f.package.name == "stdlib" for i in f.records}
    # The records whose plain numeric ranges hold the Go release, read here without the library.
    ours = semver_key(go_version())
    expected = set()
    for record in records:
        for entry in record["affected"]:
            if entry["package"]["name"] != "stdlib":
                continue
            for r in entry.get("ranges", []):
                events = [(k, v) for e in r["events"] for k, v in e.items()]
                if all(re.fullmatch(r"\d+\.\d+\.\d+", v) or v == "0" for _, v in events):
                    lo = None
                    for kind, v in events:
                        if kind == "introduced":
                            lo = (0,) if v == "0" else semver_key(v)
                        elif kind == "fixed" and lo is not None and lo <= ours < semver_key(v):
                            expected.add(record["id"])
    assert expected and expected <= found
    assert {f.package.file for f in result.findings} == {str(program)}


def test_a_rust_auditable_program_s_crates(tmp_path):
    if shutil.which("objcopy") is None:
        pytest.skip("binutils' objcopy adds the section to a real program")
    deps = {"packages": [
        {"name": "app", "version": "0.1.0", "source": "local", "root": True},
        {"name": "smallvec", "version": "1.6.0", "source": "crates.io"},
        {"name": "mylib", "version": "0.2.0", "source": "git"},
    ]}
    section = tmp_path / "deps.z"
    section.write_bytes(zlib.compress(json.dumps(deps).encode()))
    program = tmp_path / "app"
    subprocess.run(["objcopy", "--add-section", f".dep-v0={section}", os.path.realpath(shutil.which("ls")),
                    str(program)], check=True)
    found = rustaudit.read(str(program), program.read_bytes())
    assert [(p.name, p.version, p.source) for p in found] == [("smallvec", "1.6.0", "registry"),
                                                              ("mylib", "0.2.0", "git")]
    program.chmod(0o755)
    (tmp_path / "etc").mkdir()
    (tmp_path / "etc/os-release").write_text("ID=debian\nVERSION_ID=12\n")
    assert {p.name for p in installed.read_system(str(tmp_path)).packages} == {"smallvec", "mylib"}
