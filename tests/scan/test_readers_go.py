import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import PATH, REGISTRY
from quorlen.scan.readers import read_file, reader_for


@pytest.mark.parametrize("path", shared("go"))
def test_every_require_of_the_real_files(path):
    text = path.read_text()
    # Outside the require blocks only the module and go lines exist in these files.
    expected = re.findall(r"(?m)^\s*(?:require\s+)?(\S+) v(\S+)(?:\s*//.*)?$", text)
    packages = read_file(str(path))
    assert [(p.name, p.version) for p in packages] == expected
    for p in packages:
        assert line_of(path, p.line).split()[0] == p.name and p.ecosystem == "Go" and p.source == REGISTRY


@pytest.mark.parametrize("commit, name, version, line", [
    ("821b6d5", "github.com/go-git/go-git/v5", "5.4.2", 17),
    ("821b6d5", "golang.org/x/xerrors", "0.0.0-20200804184101-5ec99f83aff1", 7),  # an indirect pseudo-version
    ("8374ed2", "gopkg.in/yaml.v3", "3.0.1", 35),
])
def test_hand_checked_entries(commit, name, version, line):
    packages = read_file(str(shared_file("go", commit)))
    assert (name, version, line) in {(p.name, p.version, p.line) for p in packages}


GO_MOD = """module example.com/m

go 1.21
toolchain go1.21.3

require example.com/single v1.2.3
require (
\t"example.com/quoted" v0.0.0-20200101000000-abcdefabcdef // indirect
\texample.com/old v2.0.0+incompatible
\texample.com/forked v1.0.0
\texample.com/local v1.1.0
\texample.com/pinned v1.5.0
\texample.com/other v1.6.0
)

exclude example.com/single v1.2.2
replace example.com/forked => example.com/fork v1.0.1
replace example.com/local => ../local
replace (
\texample.com/pinned v1.5.0 => example.com/pinned v1.5.1
\texample.com/pinned => ./nowhere
\texample.com/other v1.0.0 => example.com/other v1.0.9
)
retract v0.1.0
"""


def test_replacements_and_version_forms(tmp_path):
    got = [(p.name, p.version, p.source, p.line) for p in read_text(tmp_path, "go.mod", GO_MOD)]
    assert got == [
        ("example.com/single", "1.2.3", REGISTRY, 6),
        ("example.com/quoted", "0.0.0-20200101000000-abcdefabcdef", REGISTRY, 8),
        ("example.com/old", "2.0.0+incompatible", REGISTRY, 9),
        ("example.com/fork", "1.0.1", REGISTRY, 10),  # the replacement is what the build uses
        ("example.com/local", "1.1.0", PATH, 11),
        ("example.com/pinned", "1.5.1", REGISTRY, 12),  # a versioned replacement beats an unversioned one
        ("example.com/other", "1.6.0", REGISTRY, 13),  # a replacement of another version does not apply
    ]


@pytest.mark.parametrize("text, line", [
    ("module m\n\nrequire (\n\tx.org/a v1.0.0\n", 3),        # truncated: the block never closes
    ("module m\nrequire x.org/a 1.0.0\n", 2),                # a version without v
    ("module m\nrequire x.org/a\n", 2),
    ("module m\nrequires x.org/a v1.0.0\n", 2),              # unknown directive
    ("module m\nreplace x.org/a v1.0.0 x.org/b v1.0.1\n", 2),
    ("module m\nreplace x.org/a => x.org/b\n", 2),           # a module replacement needs a version
    ('module m\nrequire "x.org/a v1.0.0\n', 2),
    ("require x.org/a v1.0.0\n", 1),                         # no module line
    ("<html>\n", 1),
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "go.mod", text, line, "go.mod")


@pytest.mark.parametrize("name, format", [
    ("go.mod", "go.mod"),
    ("a__b__1234567__go.mod", "go.mod"),
    ("go.sum", None),
    ("vendor.go.mod.txt", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
