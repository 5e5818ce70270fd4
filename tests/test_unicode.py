"""The generated Unicode tables: up to date with the generator, and seen
through the API (trimming, numeral rejection, Maven lower-casing)."""

import pathlib
import subprocess
import sys

import pytest

import quorlen

ROOT = pathlib.Path(__file__).resolve().parent.parent
GENERATOR = ROOT / "tools" / "gen_unicode.py"
TABLES = ROOT / "src" / "core" / "unicode_tables.cpp"
UCD = pathlib.Path("/usr/share/unicode")

# PropList.txt White_Space, unchanged since Unicode 6.3.
WHITE_SPACE = [chr(c) for c in [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
                                0x2028, 0x2029, 0x202F, 0x205F, 0x3000]]


def maven(a, b):
    return quorlen.compare(a, b, ecosystem="maven")


def maven_error(text):
    with pytest.raises(ValueError) as info:
        maven(text, "1")
    return str(info.value)


@pytest.mark.skipif(not (UCD / "UnicodeData.txt").exists(), reason="needs the unicode-data package")
def test_committed_tables_are_what_the_generator_writes():
    done = subprocess.run([sys.executable, str(GENERATOR), "--stdout"], capture_output=True, check=True, text=True)
    assert done.stdout == TABLES.read_text(encoding="utf-8"), "run tools/gen_unicode.py and commit the result"


def test_tables_name_their_unicode_version():
    head = TABLES.read_text(encoding="utf-8").splitlines()[:3]
    assert any("tools/gen_unicode.py" in line for line in head)
    assert any("version 15.0.0" in line for line in head)


# ---------------------------------------------------------------- white space


def test_generic_trims_unicode_white_space():
    assert quorlen.compare("\u3000 1.0\u2029", "1.0") == 0
    assert quorlen.compare("\u3000 1.0\u2029", "1.1") == -1
    assert quorlen.compare("1.1", "\u3000 1.0\u2029") == 1
