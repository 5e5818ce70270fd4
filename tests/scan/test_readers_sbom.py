"""The SBOM readers over the shared real SBOMs and over small made-up ones,
and the package URL to OSV ecosystem rules."""

import json
import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.readers import read_file, reader_for


def cyclonedx(components, **extra):
    return json.dumps({"bomFormat": "CycloneDX", "specVersion": "1.4", **extra, "components": components}, indent=2)


@pytest.mark.parametrize("path", shared("cyclonedx") + shared("spdx"))
def test_every_distinct_package_url_is_read(path):
    text = path.read_text()
    key = "referenceLocator" if path.name.endswith(".spdx.json") else "purl"
    purls = re.findall(rf'"{key}": "(pkg:[^"?]+)', text)
    if key == "purl":
        # The software the BOM describes is not one of its components.
        purls.remove(json.loads(text)["metadata"]["component"]["purl"].split("?")[0])
    packages = read_file(str(path))
    assert len(packages) == len(set(purls))
    assert all(p.source == "registry" and f'"{key}": "pkg:' in line_of(path, p.line) for p in packages)


@pytest.mark.parametrize("folder, commit, ecosystem, name, version, line", [
    # Checked by hand against the files.
    ("cyclonedx", "ed522d1__bom", "Maven", "com.google.guava:guava", "24.1.1-jre", 166),
    ("cyclonedx", "proton-bridge", "Go", "github.com/BurntSushi/toml", "0.3.1", 130),
    ("cyclonedx", "b6bbf6d", "npm", "body-parser", "1.19.0", 65),
    ("spdx", "b972900", "crates.io", "autocfg", "1.1.0", 131),
    ("spdx", "6dfa1a5", "crates.io", "hyper", "0.14", 55),
    ("spdx", "6dfa1a5", "Debian", "libselinux1-dev", "3.1-3", 32),
])
def test_hand_checked_entries(folder, commit, ecosystem, name, version, line):
    found = [(p.ecosystem, p.line) for p in read_file(str(shared_file(folder, commit)))
             if (p.name, p.version) == (name, version)]
    assert found == [(ecosystem, line)]


@pytest.mark.parametrize("purl, expected", [
    ("pkg:deb/debian/curl@7.74.0-1.3?arch=amd64&distro=debian-11", ("Debian:11", "curl", "7.74.0-1.3")),
    ("pkg:deb/debian/libc6@2.36-9?upstream=glibc%402.36-9%2Bdeb12u1&distro=bookworm",
     ("Debian:12", "glibc", "2.36-9+deb12u1")),
    ("pkg:deb/ubuntu/libc6@2.31-0ubuntu9?distro=ubuntu-20.04&upstream=glibc", ("Ubuntu:20.04", "glibc", "2.31-0ubuntu9")),
    ("pkg:apk/alpine/musl-utils@1.2.2-r3?distro=alpine-3.14.2&upstream=musl", ("Alpine:v3.14", "musl", "1.2.2-r3")),
    ("pkg:apk/alpine/busybox@1.24.2-r14", ("Alpine", "busybox", "1.24.2-r14")),
    ("pkg:golang/github.com/foo/bar@v1.2.3", ("Go", "github.com/foo/bar", "1.2.3")),
    ("pkg:npm/%40babel/core@7.1.0", ("npm", "@babel/core", "7.1.0")),
    ("pkg:pypi/Django_Rest@1.0", ("PyPI", "django-rest", "1.0")),
    ("pkg:maven/org.apache/commons-io@2.6?type=jar", ("Maven", "org.apache:commons-io", "2.6")),
    ("pkg:nuget/Newtonsoft.Json@12.0.1", ("NuGet", "newtonsoft.json", "12.0.1")),
    ("pkg:composer/Laravel/Framework@5.8.0", ("Packagist", "laravel/framework", "5.8.0")),
    ("pkg:gem/rails@5.2.0", ("RubyGems", "rails", "5.2.0")),
    ("pkg:rpm/redhat/openssl@1.1.1k", ("Red Hat", "openssl", "1.1.1k")),
    ("pkg:npm/left-pad", ("npm", "left-pad", None)),
])
def test_package_urls_name_osv_packages(tmp_path, purl, expected):
    [p] = read_text(tmp_path, "bom.json", cyclonedx([{"type": "library", "name": "x", "purl": purl}]))
    assert (p.ecosystem, p.name, p.version, p.source, p.line) == (*expected, "registry", 8)


@pytest.mark.parametrize("component, expected", [
    ({"name": "x", "version": "1", "purl": "pkg:rpm/fedora/x@1"}, ("pkg:rpm/fedora/x@1", "1")),
    ({"name": "x", "version": "1", "purl": "pkg:github/foo/x@1"}, ("pkg:github/foo/x@1", "1")),
    ({"name": "x", "version": "2", "purl": "not a package url"}, ("x", "2")),
    ({"name": "x", "group": "org.example", "version": "3"}, ("org.example/x", "3")),
])
def test_components_no_advisory_database_covers_are_unknown(tmp_path, component, expected):
    [p] = read_text(tmp_path, "app.cdx.json", cyclonedx([component]))
    assert (p.name, p.version, p.source, p.ecosystem) == (*expected, "unknown", "")


def test_nested_components_are_read_in_document_order(tmp_path):
    text = cyclonedx([
        {"name": "outer", "purl": "pkg:npm/outer@1.0.0", "components": [
            {"name": "inner", "purl": "pkg:npm/inner@2.0.0"}]},
        {"name": "after", "purl": "pkg:npm/after@3.0.0"},
    ], metadata={"component": {"name": "app", "purl": "pkg:npm/app@9.0.0"}})
    lines = text.splitlines()
    found = [(p.name, lines[p.line - 1].strip()) for p in read_text(tmp_path, "bom.json", text)]
    assert found == [(n, f'"purl": "pkg:npm/{n}@{v}"' + ("," if n == "outer" else ""))
                     for n, v in [("outer", "1.0.0"), ("inner", "2.0.0"), ("after", "3.0.0")]]


def test_spdx_package_without_a_package_url_is_unknown(tmp_path):
    text = json.dumps({"spdxVersion": "SPDX-2.3", "packages": [
        {"SPDXID": "SPDXRef-a", "name": "a", "versionInfo": "1.0"},
        {"SPDXID": "SPDXRef-b", "name": "b", "versionInfo": "2.0", "externalRefs": [
            {"referenceCategory": "SECURITY", "referenceType": "cpe23Type", "referenceLocator": "cpe:2.3:a:b:b:2.0"},
            {"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl", "referenceLocator": "pkg:cargo/b@2.0.0"}]},
    ]}, indent=1)
    lines = text.splitlines()
    found = [(p.ecosystem, p.name, p.version, p.source, lines[p.line - 1].strip())
             for p in read_text(tmp_path, "x.spdx.json", text)]
    assert found == [("", "a", "1.0", "unknown", '"SPDXID": "SPDXRef-a",'),
                     ("crates.io", "b", "2.0.0", "registry", '"referenceLocator": "pkg:cargo/b@2.0.0"')]


@pytest.mark.parametrize("name, text, line", ids=short_id, argvalues=[
    ("bom.json", '{"bomFormat": "CycloneDX",\n "components": [\n  {"name": "a", "purl": "pkg:npm/a@1"},\n', 4),
    ("bom.json", '{"specVersion": "1.4", "components": []}', 1),
    ("bom.json", '{"bomFormat": "CycloneDX", "components": {}}', 1),
    ("bom.json", '{"bomFormat": "CycloneDX",\n "components": [\n  "pkg:npm/a@1"]}', 1),
    ("bom.json", '{"bomFormat": "CycloneDX",\n "components": [\n  {"name": "a", "purl": 7}]}', 1),
    ("bom.json", '{"bomFormat": "CycloneDX",\n "components": [\n  {"type": "library"}]}', 1),
    ("bom.json", '{"bomFormat": "CycloneDX", "components": ' + "[" * 100_000, 1),
    ("x.spdx.json", '{"packages": []}', 1),
    ("x.spdx.json", '{"spdxVersion": "SPDX-2.3",\n "packages": {"a": 1}}', 1),
    ("x.spdx.json", '{"spdxVersion": "SPDX-2.3",\n "packages": [\n  {"name": "a", "externalRefs": {}}]}', 1),
    ("x.spdx.json", '{"spdxVersion": "SPDX-2.3",\n "packages": [\n  {"name": "a",\n', 4),
])
def test_malformed_sboms_give_one_line_errors(tmp_path, name, text, line):
    assert_error(tmp_path, name, text, line, "spdx-json" if name.endswith(".spdx.json") else "cyclonedx-json")


@pytest.mark.parametrize("name, format", [
    ("bom.json", "cyclonedx-json"), ("o__r__1234567__bom.json", "cyclonedx-json"),
    ("proton-bridge-v1.8.0.bom.json", "cyclonedx-json"), ("app.cdx.json", "cyclonedx-json"),
    ("app-bom.json", "cyclonedx-json"), ("sbom.spdx.json", "spdx-json"), ("o__r__1234567__sbom.spdx.json", "spdx-json"),
    ("bom.xml", None), ("package.json", None), ("tombom.json.txt", None), ("sbom.spdx", None),
])
def test_recognised_names(name, format):
    reader = reader_for(name)
    assert (reader.format if reader else None) == format
