"""The quorlen command, run as a separate process like a user runs it."""

import io
import json
import pathlib
import shutil
import subprocess
import sys

import pytest

from quorlen.osvscan import Progress

HERE = pathlib.Path(__file__).resolve().parent
OSV_PYPI = HERE.parent.parent / "shared" / "data" / "osv-pypi"


def run(*args, stdin=None):
    # From the tests folder: the source tree's quorlen/ must not shadow the
    # installed package.
    return subprocess.run([sys.executable, "-m", "quorlen", *map(str, args)], input=stdin,
                          capture_output=True, text=True, cwd=HERE)


def ok(*args, stdin=None):
    result = run(*args, stdin=stdin)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    return result.stdout


def error_line(result):
    """The single error line of a failed run; checks status and shape."""
    assert result.returncode == 2, (result.stdout, result.stderr)
    assert result.stdout == ""
    lines = result.stderr.splitlines()
    assert len(lines) == 1, result.stderr
    assert lines[0].startswith("quorlen: error: ")
    assert "Traceback" not in result.stderr
    return lines[0][len("quorlen: error: "):]


def test_console_script_is_installed():
    script = pathlib.Path(sys.executable).parent / "quorlen"
    result = subprocess.run([str(script), "compare", "1.0", "2.0"], capture_output=True, text=True)
    assert (result.returncode, result.stdout) == (0, "-1\n")


@pytest.mark.parametrize("command", [
    [], ["compare"], ["test"], ["sort"], ["max"], ["min"], ["latest-stable"], ["satisfies"], ["vers"],
    ["detect"], ["parse"], ["bump"], ["purl"], ["osv"], ["range"],
])
def test_every_command_has_help(command):
    out = ok(*command, "--help")
    assert out.startswith("usage: quorlen")
    assert "-h, --help" in out


@pytest.mark.parametrize("a, b, eco, expected", [
    ("1.0", "1.0.0", "generic", "0"),
    ("1.0a1", "1.0", "generic", "-1"),
    ("1.10", "1.9", "generic", "1"),
    ("1.0-final", "1.0", "generic", "0"),
    ("1.0.post1", "1.0.1", "generic", "-1"),
])
def test_compare_prints_the_ordering(a, b, eco, expected):
    assert ok("compare", a, b, "-e", eco) == expected + "\n"
    flipped = {"-1": "1", "0": "0", "1": "-1"}[expected]
    assert ok("compare", b, a, "--ecosystem", eco) == flipped + "\n"


@pytest.mark.parametrize("a, op, b, holds", [
    ("1.0", "lt", "1.1", True), ("1.0", "<", "1.1", True), ("1.1", "lt", "1.0", False),
    ("1.0", "le", "1.0.0", True), ("1.0", "<=", "0.9", False),
    ("1.0", "eq", "1.0.0", True), ("1.0", "==", "1.0.1", False),
    ("1.0", "ne", "1.0.1", True), ("1.0", "!=", "1.0.0", False),
    ("1.0", "ge", "1.0.0", True), ("1.0", ">=", "1.1", False),
    ("1.1", "gt", "1.0", True), ("1.0", ">", "1.0", False),
])
def test_test_answers_by_exit_status(a, op, b, holds):
    result = run("test", a, op, b)
    assert (result.returncode, result.stdout, result.stderr) == (0 if holds else 1, "", "")


@pytest.mark.parametrize("args, problem", [
    (["compare", "1.0", "2.0", "-e", "nope"], "unsupported ecosystem 'nope'"),
    (["compare", "1.0", "2.0", "-e", "PyPI"], "unsupported ecosystem 'pypi'"),
    (["compare", "1.0"], "compare: the following arguments are required: B"),
    (["test", "1.0", "<<", "2.0"], "test: argument OP: invalid choice: '<<'"),
    (["frobnicate"], "argument COMMAND: invalid choice: 'frobnicate'"),
    (["sort", "/nonexistent/versions.txt"], "cannot read '/nonexistent/versions.txt': No such file or directory"),
])
def test_errors_are_one_line_with_status_2(args, problem):
    assert error_line(run(*args)).startswith(problem)


def test_unreadable_and_non_utf8_input_are_errors(tmp_path):
    binary = tmp_path / "versions.txt"
    binary.write_bytes(b"1.0\n\xff\xfe\n")
    assert error_line(run("sort", binary)) == f"{binary}: not UTF-8 text"
    assert error_line(run("sort", tmp_path)).startswith(f"cannot read '{tmp_path}'")


SHUFFLED = "1.10\n1.9\n\n1.0.0\n  \n1.0\n2.0a1\n"


@pytest.mark.parametrize("flags, expected", [
    ([], ["1.0.0", "1.0", "1.9", "1.10", "2.0a1"]),  # equal versions keep their input order
    (["-r"], ["2.0a1", "1.10", "1.9", "1.0", "1.0.0"]),
    (["--unique"], ["1.0.0", "1.9", "1.10", "2.0a1"]),
    (["-r", "-u"], ["2.0a1", "1.10", "1.9", "1.0.0"]),
])
def test_sort_reads_stdin_and_skips_blank_lines(flags, expected):
    assert ok("sort", *flags, stdin=SHUFFLED).splitlines() == expected


def test_sort_reads_several_files_and_dash_for_stdin(tmp_path):
    first, second = tmp_path / "a", tmp_path / "b"
    first.write_text("2.0\n1.0\n")
    second.write_text("1.5")
    assert ok("sort", first, "-", second, stdin="0.5\n").splitlines() == ["0.5", "1.0", "1.5", "2.0"]
    assert ok("sort", stdin="") == ""


def test_sort_under_an_ecosystem_names_the_bad_line():
    # Debian ranks a letter after the end of the upstream version; generic takes "a" for alpha.
    assert ok("sort", stdin="1.0a\n1.0-1\n").splitlines() == ["1.0a", "1.0-1"]
    assert ok("sort", "-e", "debian", stdin="1.0a\n1.0-1\n").splitlines() == ["1.0-1", "1.0a"]
    problem = error_line(run("sort", "-e", "semver", stdin="1.0.0\n\n1.0\n"))
    assert problem == "semver version '1.0': Expected 3 parts, got 2"
    assert error_line(run("compare", "1.0.0", "2.0", "-e", "semver")) == "semver version '2.0': Expected 3 parts, got 2"


@pytest.mark.parametrize("command, lines, expected", [
    ("max", ["1.0", "1.10", "1.9"], "1.10"),
    ("max", ["1.0", "1.0.0", "0.9"], "1.0.0"),  # the last of equal maxima
    ("min", ["1.0", "1.0.0", "2"], "1.0"),  # the first of equal minima
    ("latest-stable", ["1.0", "1.1a1", "1.1", "2.0-rc.1", "2.0.post1"], "2.0.post1"),
])
def test_selections(command, lines, expected):
    assert ok(command, stdin="\n".join(lines)) == expected + "\n"


@pytest.mark.parametrize("command, stdin", [
    ("max", ""), ("min", "\n\n"), ("latest-stable", "1.0a1\n2.0rc1\n"),
])
def test_selections_with_no_answer_exit_1_silently(command, stdin):
    result = run(command, stdin=stdin)
    assert (result.returncode, result.stdout, result.stderr) == (1, "", "")


def test_satisfies_filters_arguments_or_stdin():
    assert ok("satisfies", ">=1.0,<2.0", "0.9", "1.0", "1.5", "2.0") == "1.0\n1.5\n"
    assert ok("satisfies", "^1.0 || ^2.0", stdin="2.5\n3.1\n1.2\n") == "2.5\n1.2\n"
    result = run("satisfies", "^1.0", "3.0", "0.1")
    assert (result.returncode, result.stdout) == (1, "")
    assert error_line(run("satisfies", "1.0", "1.0")).startswith("invalid comparator: '1.0'")


@pytest.mark.parametrize("args, expected", [
    (["satisfies", ">=3.2,<3.2.5", "-e", "pep440", "3.1.14", "3.2", "3.2.5"], "3.2\n"),
    (["satisfies", ">=3.2", "3.1", "-e", "pep440", "3.2rc1", "3.3"], "3.3\n"),
    (["detect", "1.0~rc1", "1!2.0"], "debian\npep440\n"),
])
def test_lists_continue_after_options(args, expected):
    assert ok(*args) == expected


def test_options_after_files_and_unknown_options(tmp_path):
    first, second = tmp_path / "a", tmp_path / "b"
    first.write_text("1.0\n")
    second.write_text("3.0\n2.0\n")
    assert ok("sort", first, "-r", second).splitlines() == ["3.0", "2.0", "1.0"]
    assert error_line(run("sort", first, "--frobnicate", second)) == "unrecognized arguments: --frobnicate " + str(second)
    assert error_line(run("compare", "1", "2", "3")) == "unrecognized arguments: 3"


def test_vers_filters_versions():
    assert ok("vers", "vers:npm/>=1.0.0,<2.0.0", "0.9.0", "1.4.2", "2.0.0") == "1.4.2\n"
    result = run("vers", "vers:npm/^3.0.0", "1.0.0")
    assert (result.returncode, result.stdout) == (1, "")
    assert error_line(run("vers", "VERS:npm/>=1.0", "1.0")).startswith("invalid VERS 'VERS:npm/>=1.0'")


def test_detect_prints_one_ecosystem_per_version():
    assert ok("detect", "1!2.0", "1.0~rc1", "2.17-326.el7", "3.18.4-r0", "1.2.3").splitlines() == [
        "pep440", "debian", "rpm", "alpine", "generic"]


def test_parse_prints_the_fields_as_json():
    fields = json.loads(ok("parse", "v1.2.3-rc.1+build.5", "-e", "semver"))
    assert fields == {"raw": "v1.2.3-rc.1+build.5", "ecosystem": "semver", "epoch": 0, "major": 1, "minor": 2,
                      "patch": 3, "build": "build.5", "is_prerelease": True, "is_postrelease": False}
    assert json.loads(ok("parse", "1!2.0.post1"))["ecosystem"] == "pep440"
    assert error_line(run("parse", "1.0", "-e", "semver"))


@pytest.mark.parametrize("args, expected", [
    (["major", "1.2.3"], "2.0.0"),
    (["minor", "1.2.3"], "1.3.0"),
    (["patch", "1.2"], "1.2.1"),
    (["stable", "1.2.3-alpha.1+build"], "1.2.3"),
    (["prerelease", "1.2.3-alpha.1"], "1.2.3-alpha.2"),
    (["prerelease", "1.2.3-rc1", "--tag", "RC"], "1.2.3-rc.2"),
    (["prerelease", "1.2.3-beta.4"], "1.2.3-alpha.0"),
])
def test_bump(args, expected):
    assert ok("bump", *args) == expected + "\n"


def test_bump_tag_belongs_to_prerelease_only():
    assert error_line(run("bump", "major", "1.0", "--tag", "rc")) == "bump: --tag applies to 'prerelease' only"


def test_purl_prints_its_parts():
    parts = json.loads(ok("purl", "pkg:maven/org.example/demo-lib@3.12.0?type=jar#sources"))
    assert parts == {"type": "maven", "namespace": "org.example", "name": "demo-lib", "version": "3.12.0",
                     "qualifiers": "type=jar", "subpath": "sources", "ecosystem": "maven"}
    assert error_line(run("purl", "PKG:npm/x")).startswith("invalid purl 'PKG:npm/x'")


# OSV records. The expected ids come from reading the records' ranges.

def record(rid, name="demo", eco="PyPI", events=(), versions=(), rtype="ECOSYSTEM", **extra):
    affected = {"package": {"name": name, "ecosystem": eco}, "ranges": [{"type": rtype, "events": list(events)}]}
    if versions:
        affected["versions"] = list(versions)
    return {"id": rid, "affected": [affected], **extra}


def write_records(folder, *records):
    for rec in records:
        path = folder / rec["id"][:4] / f"{rec['id']}.json"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(json.dumps(rec))


@pytest.fixture
def advisories(tmp_path):
    write_records(
        tmp_path,
        # Two introduced/fixed pairs in one range: both count.
        record("TWO-1", events=[{"introduced": "0"}, {"fixed": "1.2.7"}, {"introduced": "1.3"}, {"fixed": "1.3.1"}]),
        record("LAST-1", events=[{"introduced": "2.0"}, {"last_affected": "2.4"}]),
        record("LIST-1", versions=["1.0.5"], events=[]),
        record("OTHER-1", name="other", events=[{"introduced": "0"}]),
        record("GONE-1", events=[{"introduced": "0"}], withdrawn="2024-01-01T00:00:00Z"),
        record("GIT-1", events=[{"introduced": "a1b2c3"}, {"fixed": "d4e5f6"}], rtype="GIT"),
        record("GOPKG-1", name="example.com/demo", eco="Go", events=[{"introduced": "1.2.0"}, {"fixed": "1.4.0"}]),
        record("DEB-1", name="demo", eco="Debian:12", events=[{"introduced": "0"}, {"fixed": "1.0-2"}]),
        record("MVN-1", name="org.example:demo-lib", eco="Maven", events=[{"introduced": "0"}, {"fixed": "3.12.1"}]),
    )
    return tmp_path


@pytest.mark.parametrize("query, expected", [
    (["--purl", "pkg:pypi/demo@1.0"], ["TWO-1"]),  # first pair of TWO-1
    (["--purl", "pkg:pypi/demo@1.0.5"], ["LIST-1", "TWO-1"]),  # sorted ids
    (["--purl", "pkg:pypi/demo@1.3"], ["TWO-1"]),
    (["--purl", "pkg:pypi/Demo@2.4"], ["LAST-1"]),
    (["-e", "PyPI", "--package", "DEMO", "--version", "2.0"], ["LAST-1"]),
    (["-e", "pep440", "--package", "demo", "--version", "0.1"], ["TWO-1"]),
    (["--purl", "pkg:golang/example.com/demo@v1.3.0"], ["GOPKG-1"]),
    (["-e", "Go", "--package", "example.com/demo", "--version", "1.3.0"], ["GOPKG-1"]),
    (["--purl", "pkg:deb/debian/demo@1.0-1"], ["DEB-1"]),
    (["--purl", "pkg:maven/org.example/demo-lib@3.12.0"], ["MVN-1"]),
])
def test_osv_prints_the_affecting_records(advisories, query, expected):
    assert ok("osv", advisories, *query).splitlines() == expected


@pytest.mark.parametrize("query", [
    ["--purl", "pkg:pypi/demo@1.2.7"],  # fixed in the first pair, not yet in the second
    ["--purl", "pkg:pypi/demo@1.3.1"],
    ["--purl", "pkg:pypi/demo@2.4.1"],
    ["--purl", "pkg:golang/example.com/demo@v1.4.0"],
    ["--purl", "pkg:maven/org.example/demo-lib@3.12.1"],
    ["--purl", "pkg:npm/demo@1.0.0"],  # an ecosystem without records here
])
def test_osv_exits_1_when_nothing_affects(advisories, query):
    result = run("osv", advisories, *query)
    assert (result.returncode, result.stdout, result.stderr) == (1, "", "")


@pytest.mark.parametrize("args, problem", [
    (["--purl", "pkg:pypi/demo"], "package URL 'pkg:pypi/demo' has no version"),
    (["--purl", "pkg:github/x/demo@1.0"], "package URL type 'github' has no known version ordering"),
    (["--purl", "pkg:pypi/demo@1.0", "--package", "x"], "osv: --purl excludes -e, --package and --version"),
    (["--package", "demo", "--version", "1.0"], "osv: give --purl, or all of -e, --package and --version (missing -e)"),
    (["-e", "Nowhere", "--package", "demo", "--version", "1.0"], "unsupported ecosystem 'nowhere'"),
])
def test_osv_query_errors(advisories, args, problem):
    assert error_line(run("osv", advisories, *args)).startswith(problem)


def test_osv_bad_files_are_errors(tmp_path):
    bad = tmp_path / "bad.json"
    bad.write_text("{not json")
    assert error_line(run("osv", bad, "--purl", "pkg:pypi/demo@1.0")).startswith(f"{bad}: bad JSON")
    bad.write_text('{"affected": []}')
    assert error_line(run("osv", bad, "--purl", "pkg:pypi/demo@1.0")) == f'{bad}: not an OSV record (no "id")'
    assert error_line(run("osv", tmp_path / "missing", "--purl", "pkg:pypi/demo@1.0")).startswith("cannot read")
    bad.write_text(json.dumps(record("X-1", events=[{"introduced": "0"}])))
    assert error_line(run("osv", bad, "--purl", "pkg:pypi/demo@not a version"))


@pytest.mark.skipif(not OSV_PYPI.is_dir(), reason="the shared advisory records are not present")
def test_osv_on_real_django_records(tmp_path):
    # PYSEC-2021-7: fixed in 3.2.1. PYSEC-2021-8: 3.2 before 3.2.2. PYSEC-2021-109: 3.2.x before 3.2.5.
    for rid in ("PYSEC-2021-7", "PYSEC-2021-8", "PYSEC-2021-109"):
        shutil.copy(OSV_PYPI / "django" / f"{rid}.json", tmp_path)
    assert ok("osv", tmp_path, "--purl", "pkg:pypi/django@3.2.1").splitlines() == ["PYSEC-2021-109", "PYSEC-2021-8"]
    assert ok("osv", tmp_path, "--purl", "pkg:pypi/django@3.2").splitlines() == [
        "PYSEC-2021-109", "PYSEC-2021-7", "PYSEC-2021-8"]
    assert run("osv", tmp_path, "--purl", "pkg:pypi/django@3.2.5").returncode == 1
    everything = ok("osv", OSV_PYPI, "--purl", "pkg:pypi/django@3.2.1").splitlines()
    assert {"PYSEC-2021-109", "PYSEC-2021-8"} <= set(everything)
    assert "PYSEC-2021-7" not in everything
    assert everything == sorted(set(everything))


class Stream(io.StringIO):
    def __init__(self, tty):
        super().__init__()
        self.tty = tty

    def isatty(self):
        return self.tty


@pytest.mark.parametrize("tty, total, drawn", [(True, 500, True), (False, 500, False), (True, 10, False)])
def test_progress_bar_only_on_a_terminal_and_for_many_records(tty, total, drawn):
    stream = Stream(tty)
    bar = Progress(total, stream)
    for done in range(1, total + 1):
        bar.update(done)
    bar.close()
    text = stream.getvalue()
    assert (f"{total}/{total}" in text and text.endswith("\r\033[K")) if drawn else text == ""


@pytest.mark.parametrize("args, status, out", [
    (["intersect", "^1.0 || ^2.0", ">=1.5,<2.5"], 0, ">=1.5,<2.5\n"),
    (["intersect", "^1", "^1.5", ">=1.7"], 0, ">=1.7,<2.0.0\n"),
    (["intersect", "^1", "^2", "^1"], 1, "\n"),
    (["intersect", "^1.0"], 0, ">=1.0.0,<2.0.0\n"),
    (["union", "<1.0", ">1.0"], 0, "!=1.0\n"),
    (["union", ">2,<1", ">=3"], 0, ">=3\n"),
    (["union", ">2,<1", ">3,<2"], 1, "\n"),
    (["subset", "^1.2", ">=1.0"], 0, ""),
    (["subset", ">=1.0", "^1.2"], 1, ""),
    (["simplify", "~=1.2", "==1.2.*,!=1.2.3", ">2,<1", "-e", "pep440"], 1,
     ">=1.2,<2.0.0\n>=1.2.0,<1.3.0,!=1.2.3\n\n"),
    (["simplify", "-e", "pep440", "<1 || >1"], 0, "!=1\n"),
    (["difference", ">=1.0,<3.0", "==2.0", ">=2.5"], 0, ">=1.0,<2.5,!=2.0\n"),
    (["difference", "^1", "*", "^1"], 1, "\n"),
    (["complement", "<1 || >1", "*"], 1, "==1\n\n"),
])
def test_range(args, status, out):
    result = run("range", *args)
    assert (result.returncode, result.stdout, result.stderr) == (status, out, "")


@pytest.mark.parametrize("args, problem", [
    (["subset", "^1"], "range subset: give exactly two ranges, A and B"),
    (["intersect", "^1", "1.0"],
     "invalid comparator: '1.0'; expected operator (>=, <=, >, <, ==, !=) followed by version"),
    (["intersect", "^1", "^2", "<1.0", "-e", "semver"], "Expected 3 parts, got 2"),
    (["union", "^1", "-e", "nope"], "unsupported ecosystem 'nope'"),
    (["merge", "^1"], "range: argument OP: invalid choice"),
    (["difference", "^1", "*", "1.0"], "invalid comparator: '1.0'"),
])
def test_range_errors(args, problem):
    assert error_line(run("range", *args)).startswith(problem)
