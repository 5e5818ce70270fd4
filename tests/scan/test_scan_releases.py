"""Packages of distributions matched against their own release's advisories,
versions read with their rpm epoch, Bitnami's packages, and the osv command
answering as the scanner does: checked against the shared real records."""

import json

import pytest

import quorlen
from quorlen import osvscan
from quorlen.scan import ecosystems, scan_paths

from scan_records import LOCKFILES, MemoryRecords, need_shared, shared_db, zip_records  # noqa: F401

ZIPS = ("AlmaLinux.zip", "Alpine.zip", "Debian.zip", "Bitnami.zip")


@pytest.fixture(scope="module")
def records():
    need_shared()
    return [r for name in ZIPS for r in zip_records(name)]


@pytest.fixture(scope="module")
def db(records):
    return MemoryRecords(records)


def cyclonedx(purls, system=None):
    bom = {"bomFormat": "CycloneDX", "specVersion": "1.5",
           "components": [{"type": "library", "name": p.split("/")[-1].split("@")[0], "purl": p} for p in purls]}
    if system is not None:
        bom["metadata"] = {"component": {"type": "operating-system", "name": system[0], "version": system[1]}}
    return json.dumps(bom, indent=2)


def spdx(purls, system):
    packages = [{"SPDXID": f"SPDXRef-{i}", "name": f"p{i}",
                 "externalRefs": [{"referenceType": "purl", "referenceLocator": p}]} for i, p in enumerate(purls)]
    packages.append({"SPDXID": "SPDXRef-os", "name": system[0], "versionInfo": system[1],
                     "primaryPackagePurpose": "OPERATING-SYSTEM"})
    return json.dumps({"spdxVersion": "SPDX-2.3", "packages": packages}, indent=2)


def scan_text(tmp_path, db, text, name="bom.json"):
    path = tmp_path / name
    path.write_text(text)
    return scan_paths([str(path)], db=db)


@pytest.mark.parametrize("fields, expected", [
    (("debian", "12", "bookworm"), "Debian:12"),
    (("debian", None, "trixie"), "Debian:13"),  # testing has no VERSION_ID
    (("ubuntu", "22.04", "jammy"), "Ubuntu:22.04"),
    (("alpine", "3.18.4"), "Alpine:v3.18"),
    (("almalinux", "9.5"), "AlmaLinux:9"),
    (("rocky", "9.3", None, "rhel centos fedora"), "Rocky Linux:9"),
    (("opensuse-leap", "15.5"), "openSUSE:Leap 15.5"),
    (("wolfi", "20230201"), "Wolfi"),  # no releases in OSV
    (("pop", "22.04", "jammy", "ubuntu debian"), "Ubuntu:22.04"),  # a derivative: its code name is Ubuntu's
    (("linuxmint", "21.3", "virginia", "ubuntu debian"), "Ubuntu"),  # its numbers are not Ubuntu's
    (("fedora", "39"), None),
])
def test_os_release_fields(fields, expected):
    assert ecosystems.os_release_ecosystem(*fields) == expected


@pytest.mark.parametrize("purl_type, namespace, distro, version, expected", [
    ("rpm", "almalinux", "almalinux-9.5", None, "AlmaLinux:9"),
    ("rpm", "almalinux", "9.5", None, "AlmaLinux:9"),
    ("rpm", "rocky", "el9", None, "Rocky Linux:9"),
    ("rpm", "almalinux", "el8_10", None, "AlmaLinux:8"),
    ("deb", "debian", "debian-bookworm", None, "Debian:12"),
    ("deb", "ubuntu", "xenial", None, "Ubuntu:16.04"),
    ("apk", "alpine", "alpine-3.14.2", None, "Alpine:v3.14"),
    ("deb", "debian", "sid", None, "Debian"),  # no release number: every release
    # Without a distro qualifier, an rpm's dist tag tells the release it was built for.
    ("rpm", "almalinux", None, "1:3.2.2-6.el9_5", "AlmaLinux:9"),
    ("rpm", "redhat", None, "1.0-1.el8_10", "Red Hat:8"),
    ("rpm", "mageia", None, "1.2-1.mga9", "Mageia:9"),
    ("rpm", "almalinux", "almalinux-8", "3.2.2-6.el9", "AlmaLinux:8"),
    ("rpm", "almalinux", None, "3.2.2-6.module_hello", "AlmaLinux"),
])
def test_distro_qualifier_spellings(purl_type, namespace, distro, version, expected):
    assert ecosystems.purl_ecosystem(purl_type, namespace, distro, version) == expected


def test_code_name_tables_hold_every_release():
    # Ubuntu releases every April and October since 4.10 (6.06 came two months late).
    ubuntu = {"4.10"} | {f"{y}.{m}" for y in range(5, 26) for m in ("04", "10")}
    assert set(ecosystems.UBUNTU_RELEASES.values()) == ubuntu - {"6.04"} | {"6.06"}
    assert len(ecosystems.UBUNTU_RELEASES) == len(ubuntu)
    debian = set(ecosystems.DEBIAN_RELEASES.values())
    assert {str(n) for n in range(4, 16)} <= debian and {"1.1", "2.0", "3.0", "3.1"} <= debian


def _expected_alma(records, name, installed, release):
    # Every record with an entry of this release whose fix is above the version.
    return {r["id"] for r in records for e in r.get("affected", [])
            if e["package"]["ecosystem"] == f"AlmaLinux:{release}" and e["package"]["name"] == name
            and any(quorlen.compare(installed, ev["fixed"], "rpm") < 0
                    for rng in e["ranges"] for ev in rng["events"] if "fixed" in ev)}


def test_an_sbom_of_four_distributions_gets_each_release_its_own_advisories(tmp_path, db, records):
    openssl = "1:3.2.2-6.el9_5"
    result = scan_text(tmp_path, db, cyclonedx([
        f"pkg:rpm/almalinux/openssl@{openssl}?distro=almalinux-9.5",
        "pkg:apk/alpine/mariadb@10.5.15-r0?distro=alpine-3.14.2",
        "pkg:apk/alpine/mariadb@10.4.24-r0?distro=3.12",
        "pkg:apk/alpine/mariadb@10.4.24-r0?distro=alpine-3.17",  # no entry for v3.17
        "pkg:deb/debian/nginx@1.2.1-2.2%2Bwheezy2?distro=wheezy",
        "pkg:deb/debian/nginx@1.2.1-2.2?distro=debian-12",  # the record is for Debian 7 only
        "pkg:deb/ubuntu/nginx@1.2.1-2.2?distro=jammy",  # nor for Ubuntu
        "pkg:bitnami/activemq@5.15.9",
    ]))
    assert result.errors == [] and result.unchecked == [] and result.warnings == []
    found = {}
    for f in result.findings:
        found.setdefault((f.package.ecosystem, f.package.name, f.package.version), {})[f.records[0]] = f.fix.version
    alma = found.pop(("AlmaLinux:9", "openssl", openssl))
    assert set(alma) == _expected_alma(records, "openssl", openssl, 9) != set()
    fix = next(iter(alma.values()))
    assert ".el9" in fix and quorlen.compare(fix, openssl, "rpm") > 0
    assert "BIT-activemq-2020-1941" in found.pop(("Bitnami", "activemq", "5.15.9"))
    assert found == {
        # Each Alpine release its own fix (the records' v3.14 and v3.12 entries).
        ("Alpine:v3.14", "mariadb", "10.5.15-r0"): {"CVE-2022-27449": "10.5.16-r0"},
        ("Alpine:v3.12", "mariadb", "10.4.24-r0"): {"CVE-2022-27449": "10.4.25-r0"},
        ("Debian:7", "nginx", "1.2.1-2.2+wheezy2"): {"DSA-3029-1": "1.2.1-2.2+wheezy3"},
    }


@pytest.mark.parametrize("make", [cyclonedx, spdx], ids=["cyclonedx", "spdx"])
@pytest.mark.parametrize("system, ecosystem, found", [
    (("debian", "7"), "Debian:7", True),
    (("Debian", "12.4"), "Debian:12", False),
    (("alpine", "3.18.0"), "Debian", True),  # another distribution's: the release stays unknown
])
def test_the_release_of_the_described_system(tmp_path, db, make, system, ecosystem, found):
    purls = ["pkg:deb/debian/nginx@1.2.1-2.2%2Bwheezy2", "pkg:deb/debian/nginx-light@1.0"]
    name = "bom.json" if make is cyclonedx else "bom.spdx.json"
    result = scan_text(tmp_path, db, make(purls, system), name)
    packages = {f.package.ecosystem for f in result.findings} | {u.package.ecosystem for u in result.unchecked}
    assert {f.id for f in result.findings} == ({"DSA-3029-1"} if found else set())
    assert packages <= {ecosystem, ""}
    # Unknown: said once for the input and the ecosystem, not once per package.
    told = [w for w in result.warnings if "Debian release is not known" in w]
    assert len(told) == (ecosystem == "Debian")


def _epoch_purls(records):
    """A package URL for every fixed version with an epoch of the shared
    AlmaLinux records, the epoch given as a qualifier as SBOM generators
    write it, and the version that URL names."""
    purls = {}
    for record in records:
        for entry in record.get("affected", []):
            eco, name = entry["package"]["ecosystem"], entry["package"]["name"]
            if not eco.startswith("AlmaLinux:"):
                continue
            for fixed in (ev["fixed"] for rng in entry["ranges"] for ev in rng["events"] if "fixed" in ev):
                epoch, _, version = fixed.rpartition(":")
                if epoch:
                    purls[f"pkg:rpm/almalinux/{name}@{version}?epoch={epoch}&distro=almalinux-{eco[10:]}"] = fixed
    return purls


def test_no_fix_shown_is_the_installed_version(tmp_path, db, records):
    purls = _epoch_purls(records)
    assert len(purls) > 1000  # the shared records hold many epochs
    result = scan_text(tmp_path, db, cyclonedx(purls))
    assert result.errors == [] and result.unchecked == []
    fixes = set(purls.values())
    for finding in result.findings:
        installed = finding.package.version
        assert installed in fixes  # read with its epoch
        fix = finding.fix.version
        assert fix is None or quorlen.compare(fix, installed, "rpm") > 0, (finding.id, installed, fix)
    # The issue's own example: up to date with its epoch, so nothing is found for it.
    result = scan_text(tmp_path, db, cyclonedx(["pkg:rpm/almalinux/openssl@3.5.5-4.el10_2.alma.1?epoch=1"]))
    assert all(f.fix.version != "1:3.5.5-4.el10_2.alma.1" for f in result.findings)


def test_no_fix_shown_is_the_installed_version_over_the_shared_lockfiles(shared_db):  # noqa: F811
    from quorlen.scan import Database

    with Database(shared_db, readonly=True) as db:
        result = scan_paths([str(LOCKFILES)], db=db)
    assert result.findings
    for finding in result.findings:
        library = ecosystems.library_ecosystem(finding.package.ecosystem)
        installed, fix = finding.package.version, finding.fix.version
        if installed is not None and fix is not None:
            assert quorlen.compare(fix, installed, library) > 0, (finding.id, installed, fix)


@pytest.mark.parametrize("purl", [
    "pkg:rpm/almalinux/openssl@3.2.2-6.el9_5?epoch=1&distro=almalinux-9.5",
    "pkg:apk/alpine/mariadb@10.5.15-r0?distro=alpine-3.14.2",
    "pkg:deb/debian/nginx@1.2.1-2.2%2Bwheezy2?distro=wheezy",
    "pkg:bitnami/activemq@5.15.9",
])
def test_the_osv_command_answers_as_the_scanner(tmp_path, db, records, purl):
    query = osvscan.Query.from_purl(purl)
    folder = tmp_path / "records"
    folder.mkdir()
    for i, record in enumerate(r for r in records if any(e["package"]["name"] == query.name
                                                        for e in r.get("affected", []))):
        (folder / f"{i}.json").write_text(json.dumps(record))
    ids = osvscan.scan([str(folder)], query, [])
    result = scan_text(tmp_path, db, cyclonedx([purl]))
    assert ids and ids == sorted({i for f in result.findings for i in f.records})
