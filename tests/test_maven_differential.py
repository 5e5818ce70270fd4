"""Maven ordering checked against Maven's own comparison.

A small Java program (tests/java/MavenOrder.java) is compiled against the
maven-artifact jar of the `maven` package and fed thousands of pairs through
one JVM; every pair must order the same way here.

Inputs where this library deliberately has its own rule stay out of the
generator:
- texts that `validate_maven` rejects: empty, not starting with an ASCII
  digit, or holding a non-ASCII numeral (Maven reads some of those as digits);
- white space at either end, which is trimmed here;
- characters whose lower-casing differs between Unicode versions (recent
  additions);
- texts with more than one run of letters: Java's test for a word-final
  capital sigma parts from Unicode's (the one used here) there. Java looks
  for cased letters across hyphens, digits and spaces of its own word
  breaks, so `1-a-Σ` lower-cases to `1-a-ς` in Java and to `1-a-σ` here
  (a hyphen is neither cased nor case-ignorable).
"""

import glob
import pathlib
import random
import shutil
import subprocess

import pytest

import quorlen

JAVA_SOURCE = pathlib.Path(__file__).resolve().parent / "java" / "MavenOrder.java"
JAR_PATTERNS = (
    "/usr/share/maven/lib/maven-artifact-*.jar",
    "/usr/share/java/maven-artifact-*.jar",
    "/usr/share/java/maven3-artifact*.jar",
)


def find_jar():
    for pattern in JAR_PATTERNS:
        found = sorted(glob.glob(pattern))
        if found:
            return found[0]
    return None


@pytest.fixture(scope="module")
def maven_order(tmp_path_factory):
    javac, java, jar = shutil.which("javac"), shutil.which("java"), find_jar()
    if not (javac and java and jar):
        pytest.skip("needs javac, java and the maven-artifact jar (apt: maven, default-jdk-headless)")
    out = tmp_path_factory.mktemp("maven-order")
    subprocess.run([javac, "-d", str(out), "-cp", jar, str(JAVA_SOURCE)], check=True, capture_output=True)

    def ask(lines):
        done = subprocess.run(
            [java, "-cp", f"{out}:{jar}", "MavenOrder"],
            input="".join(line + "\n" for line in lines).encode("utf-8"),
            capture_output=True,
            check=True,
        )
        return done.stdout.decode("utf-8").splitlines()

    return ask


def order(ask, pairs):
    return [int(x) for x in ask(f"{a}\t{b}" for a, b in pairs)]


QUALIFIERS = [
    "alpha", "beta", "milestone", "rc", "cr", "snapshot", "ga", "final", "release", "sp",
    "a", "b", "m", "c", "jre", "android", "incubating", "pre", "dev", "xyz", "",
]
# Lower-case and upper-case letters whose mappings are the same in every
# Unicode version since 4.0, and characters on both sides of the surrogate
# range, where UTF-16 and code-point order part.
NON_ASCII = ["é", "É", "ß", "Ä", "ø", "Ω", "ж", "Ж", "İ", "\ue000", "\uffee", "\U0001f600", "\U00010400", "\u00a0x"]


def realistic(rng):
    parts = [str(rng.randint(0, 12)) for _ in range(rng.randint(1, 4))]
    if rng.random() < 0.2:
        parts[rng.randrange(len(parts))] = "0" * rng.randint(1, 2) + parts[-1]
    text = ".".join(parts)
    for _ in range(rng.choice([0, 0, 1, 1, 2])):
        q = rng.choice(QUALIFIERS)
        q = rng.choice([q, q.upper(), q.capitalize()])
        sep = rng.choice(["-", "-", ".", "", "_"])
        num = rng.choice(["", "", str(rng.randint(0, 20)), "." + str(rng.randint(0, 3))])
        glue = rng.choice(["", "-", "."]) if num and not num.startswith(".") else ""
        text += sep + q + glue + num
    if rng.random() < 0.05:
        text += "-" + "".join(rng.choice("0123456789") for _ in range(rng.randint(18, 40)))
    return text


SOUP = "0123456789" * 2 + "..--" * 2 + "abmrcsAMRSLGx_+ "


def soup(rng):
    n = rng.randint(0, 14)
    text = rng.choice("0123456789") + "".join(rng.choice(SOUP) for _ in range(n))
    if rng.random() < 0.15:
        pos = rng.randint(1, len(text))
        text = text[:pos] + rng.choice(NON_ASCII) + text[pos:]
    return text.rstrip()


TOKENS = [
    "0", "00", "1", "2", "10", "007", "a", "b", "m", "A", "alpha", "ga", "Final", "sp", "rc", "cr",
    "SNAPSHOT", "x", "y", "-", ".", "-", ".", "_", "+", "İ", "é", "\ue000", "\U00010400", "\U0001f600",
]


def token_soup(rng):
    """Qualifiers, numbers and separators run together in any order."""
    return (rng.choice("0123456789") + "".join(rng.choice(TOKENS) for _ in range(rng.randint(0, 8)))).rstrip()


def mutate(rng, text):
    """A near neighbour: one character added, dropped or changed."""
    # The first character stays: it must be a digit.
    pos = rng.randint(1, len(text))
    op = rng.randrange(3)
    if op == 0:
        return text[:pos] + rng.choice(SOUP.strip()) + text[pos:]
    if op == 1 and pos < len(text):
        return (text[:pos] + text[pos + 1:]).rstrip()
    return (text[:pos] + rng.choice("0.-a") + text[pos + 1:]).rstrip()


def generate_pairs(seed=20240611, count=4000):
    rng = random.Random(seed)
    third = count // 3
    versions = [realistic(rng) for _ in range(third)] + [soup(rng) for _ in range(third)]
    versions += [token_soup(rng) for _ in range(count - 2 * third)]
    pairs = []
    for v in versions:
        pairs.append((v, rng.choice(versions)))
        pairs.append((v, mutate(rng, v)))
        # Trailing nulls and the difference between the two separators.
        pairs.append((v, rng.choice([v + "-0", v + ".0", v + "-ga", v + ".a", v.replace("-", ".", 1)])))
    # Long digit runs around the 64-bit limit and around each other.
    for digits in (19, 20, 29, 30, 31):
        big = "9" * digits
        pairs += [(big, "1" + "0" * digits), ("1." + big, "1." + big + "0"), (big + "-rc", big)]
    return pairs


# Greek words: the capital sigma at word ends, before digits, before
# separators and beside combining marks and full stops (case-ignorable), the
# small sigma and final sigma written out, and Latin letters in the same word.
GREEK_LETTERS = "ΣΣΣΣσςΑΒΟΩαοωaXr"
MARKS = ["\u0301", "\u0308"]


def greek_word(rng):
    word = ""
    for k in range(rng.randint(1, 5)):
        if k and rng.random() < 0.15:
            word += "."
        word += rng.choice(GREEK_LETTERS)
        if rng.random() < 0.2:
            word += rng.choice(MARKS)
    return word


def greek(rng):
    """A number, one Greek word, then digits and separators."""
    head = str(rng.randint(1, 12)) + rng.choice(["-", ".", "", "-1.", "-0-", ".2"])
    tail = rng.choice(["", "", "1", "-1", ".1.0", "-", "2-3", "."])
    return (head + greek_word(rng) + tail).rstrip()


# Versions where the word-final form decides, written out by hand.
SIGMA_PAIRS = [
    ("1ΣΣ", "1σς"), ("10ΣΣ", "10σς"), ("0cr-ΣΣ", "0CR-σς"), ("1ΣΣ", "1σσ"), ("1Σa", "1σa"),
    ("1-ΑΣ", "1-ας"), ("1-ΑΣ", "1-ασ"), ("1-ΑΣ2", "1-ας2"), ("1-ΑΣ.2", "1-ας.2"), ("1-Α.Σ", "1-α.ς"),
    ("1-ΑΣ.Β", "1-ασ.β"), ("1-Α\u0301Σ", "1-α\u0301ς"), ("1-ΑΣ\u0301", "1-ας\u0301"), ("1.Σ", "1.σ"),
]


def generate_greek(seed=20261208, count=1500):
    rng = random.Random(seed)
    versions = [greek(rng) for _ in range(count)]
    pairs = list(SIGMA_PAIRS)
    for v in versions:
        pairs.append((v, rng.choice(versions)))
        # The same text with every sigma written in the other small form.
        pairs.append((v, v.lower().translate({0x3C3: 0x3C2, 0x3C2: 0x3C3})))
        pairs.append((v, v.lower()))
    return pairs


def test_generated_inputs_are_valid_here():
    for a, b in generate_pairs(count=400) + generate_greek(count=100):
        quorlen.compare(a, b, ecosystem="maven")


def assert_same_order(maven_order, pairs):
    expected = order(maven_order, pairs)
    assert len(expected) == len(pairs)
    wrong = [
        (a, b, mine, theirs)
        for (a, b), theirs in zip(pairs, expected)
        if (mine := quorlen.compare(a, b, ecosystem="maven")) != theirs
    ]
    assert not wrong, f"{len(wrong)} of {len(pairs)} pairs differ, e.g. (a, b, here, maven): {wrong[:15]}"


def test_order_matches_maven(maven_order):
    pairs = generate_pairs()
    assert len(pairs) >= 12000
    assert_same_order(maven_order, pairs)


def test_greek_order_matches_maven(maven_order):
    pairs = generate_greek()
    assert sum("Σ" in a for a, _ in pairs) > 1000
    assert_same_order(maven_order, pairs)


def test_greek_canonical_texts_match_maven(maven_order):
    texts = sorted({a for a, _ in generate_greek() if a[0] != "0"})
    canonical = maven_order(texts)
    assert len(canonical) == len(texts)
    # Each text starts with a number above zero, so its canonical text starts
    # with a digit and is a version here too. The hash is taken from the
    # canonical text: a text and Maven's canonical text of it hash alike when
    # this library renders the text the same way.
    wrong = [
        (text, canon)
        for text, canon in zip(texts, canonical)
        if hash(quorlen.Version(text, "maven")) != hash(quorlen.Version(canon, "maven"))
    ]
    assert not wrong, f"{len(wrong)} of {len(texts)} differ, e.g. (text, Maven's canonical): {wrong[:15]}"
    # The rendering drops a hyphen before a list that opens a list, so a
    # canonical text need not equal its version; the order says how they part.
    assert_same_order(maven_order, list(zip(texts, canonical)))
