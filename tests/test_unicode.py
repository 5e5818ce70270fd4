"""The generated Unicode tables: up to date with the generator, and seen
through the API (trimming, numeral rejection, Maven lower-casing)."""

import pathlib
import subprocess
import sys
import unicodedata

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

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


@pytest.mark.parametrize("ws", WHITE_SPACE, ids=[f"U+{ord(c):04X}" for c in WHITE_SPACE])
def test_every_white_space_character_is_trimmed(ws):
    assert maven(f"{ws}{ws}1.0-RC1{ws}", "1-rc-1") == 0
    assert quorlen.compare(f"{ws}1.2{ws}", "1.2") == 0


@pytest.mark.parametrize(
    "cp",
    [0x200B, 0x180E, 0xFEFF, 0x2060, 0x00AD, 0x001C],
    ids=lambda cp: f"U+{cp:04X}",
)
def test_lookalikes_of_white_space_are_kept(cp):
    text = chr(cp) + "1.0"
    assert maven_error(text) == f"Maven version must start with a digit: '{text}'"


def test_generic_trims_unicode_white_space():
    assert quorlen.compare("\u3000 1.0\u2029", "1.0") == 0
    assert quorlen.compare("\u3000 1.0\u2029", "1.1") == -1
    assert quorlen.compare("1.1", "\u3000 1.0\u2029") == 1


# ---------------------------------------------------------------- numerals


def assigned(cp):
    return unicodedata.category(chr(cp)) != "Cn"


def is_numeral(ch):
    return unicodedata.category(ch) in ("Nd", "Nl", "No")


# Python's own character database is at least as old as the tables, and the
# category of an assigned character has not moved in or out of N* since.
NUMERALS = [chr(c) for c in range(0x80, 0x110000) if assigned(c) and is_numeral(chr(c))]


def test_every_numeral_is_rejected():
    assert len(NUMERALS) > 1500
    wrong = []
    for ch in NUMERALS:
        text = f"1.0-{ch}"
        try:
            maven(text, "1")
            wrong.append(ch)
        except ValueError as e:
            if str(e) != f"Maven version contains a non-ASCII numeral '{ch}': '{text}'":
                wrong.append(ch)
    assert not wrong, [f"U+{ord(c):04X}" for c in wrong[:20]]


@pytest.mark.parametrize(
    "ch",
    ["\u00e9", "\u00aa", "\u24d0", "\u0301", "\u00b0", "\u0e3f", "\U0001f600", "\U00010400", "\ufffd"],
)
def test_non_numerals_pass(ch):
    assert maven(f"1.0-{ch}", f"1-{ch}") == 0


def test_first_numeral_is_the_one_named():
    text = "1.\u00e9\u0663\u00b2"
    assert maven_error(text) == f"Maven version contains a non-ASCII numeral '\u0663': '{text}'"


# ---------------------------------------------------------------- lower-casing


def lowerable():
    for c in range(0x80, 0x110000):
        ch = chr(c)
        if assigned(c) and not is_numeral(ch) and not ch.isspace() and ch.lower() != ch:
            yield ch


def test_maven_lower_cases_every_cased_character():
    chars = list(lowerable())
    assert len(chars) > 1300
    # After a hyphen a character has no cased letter before it, so it never
    # ends a word and its context-free form is the one to expect.
    wrong = [ch for ch in chars if maven(f"1-{ch}", f"1-{ch.lower()}") != 0]
    assert not wrong, [f"U+{ord(c):04X}" for c in wrong[:20]]


@pytest.mark.parametrize(
    "upper, lower",
    [
        ("\u0130", "i\u0307"),
        ("\u212a", "k"),
        ("\u2126", "\u03c9"),
        ("\u1e9e", "\u00df"),
        ("\u01c5", "\u01c6"),
        ("\u1f88", "\u1f80"),
        ("\U0001e900", "\U0001e922"),
    ],
)
def test_special_lower_mappings(upper, lower):
    assert maven(f"1-{upper}", f"1-{lower}") == 0


@pytest.mark.parametrize("ch", ["\u00df", "\ufb00", "\u0149", "\u1e96", "\u0131", "\u00b5"])
def test_characters_without_a_lower_form_are_unchanged(ch):
    # Upper-case forms of these exist, but lower-casing leaves them alone:
    # comparing against the upper-case spelling must not find them equal.
    if ch.upper() != ch:
        assert maven(f"1-{ch}", f"1-{ch.upper()}") != 0
    assert maven(f"1-{ch}", f"1-{ch}") == 0


# ---------------------------------------------------------------- final sigma


def sigma_swapped(text):
    return text.translate({0x3C3: 0x3C2, 0x3C2: 0x3C3})


@pytest.mark.parametrize(
    "upper, lower",
    [
        # The example of the Unicode Standard's case mapping section.
        ("\u038c\u03a3\u039f\u03a3", "\u03cc\u03c3\u03bf\u03c2"),
        ("\u03a3", "\u03c3"),
        ("\u03a3\u0391\u03a3", "\u03c3\u03b1\u03c2"),
        ("\u03a3\u03a3", "\u03c3\u03c2"),
        # Case-ignorable characters (marks, full stop, apostrophe, soft hyphen)
        # are looked through on both sides.
        ("\u0391\u0301\u03a3", "\u03b1\u0301\u03c2"),
        ("\u0391\u03a3\u0301", "\u03b1\u03c2\u0301"),
        ("\u0391.\u03a3", "\u03b1.\u03c2"),
        ("\u0391'\u03a3", "\u03b1'\u03c2"),
        ("\u0391\u03a3.\u0392", "\u03b1\u03c3.\u03b2"),
        ("\u0391\u03a3\u00ad\u0392", "\u03b1\u03c3\u00ad\u03b2"),
        # A modifier letter is both cased and case-ignorable: looked through.
        ("\u02b0\u03a3", "\u02b0\u03c3"),
        ("a\u02b0\u03a3", "a\u02b0\u03c2"),
        # Digits and underscores are neither: they end the look on either side.
        ("\u0391\u03a32", "\u03b1\u03c22"),
        ("\u03912\u03a3", "\u03b12\u03c3"),
        ("\u0391_\u03a3", "\u03b1_\u03c3"),
        ("\u0391\u03a3_\u0392", "\u03b1\u03c2_\u03b2"),
        # Latin letters are cased as well.
        ("X\u03a3", "x\u03c2"),
        ("\u03a3x", "\u03c3x"),
    ],
)
def test_word_final_sigma(upper, lower):
    assert maven(f"1-{upper}", f"1-{lower}") == 0
    assert maven(f"1-{upper}", f"1-{sigma_swapped(lower)}") != 0


def test_final_sigma_applies_to_the_first_and_every_later_word():
    assert maven("1\u03a3\u03a3", "1\u03c3\u03c2") == 0
    assert maven("1-\u0391\u03a3-rc", "1-\u03b1\u03c2-rc") == 0
    assert maven("1-\u0391\u03a3.\u0392\u03a3", "1-\u03b1\u03c3.\u03b2\u03c2") == 0


# Characters whose casing properties are the same in Python's own character
# database and the tables; Python's str.lower() applies the same rule.
CONTEXT = "\u03a3\u03a3\u03a3\u0391\u03b1\u03c3\u03c2aZ0._'\u0301\u00ad\u02b0\u0345\u1d2c:\u2019 -"


@settings(max_examples=400, deadline=None)
@given(st.text(alphabet=CONTEXT, min_size=1, max_size=10))
def test_lower_casing_agrees_with_python(text):
    assert maven(f"1-{text}", f"1-{text.lower()}") == 0
