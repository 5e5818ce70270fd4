"""Maven ordering checked against Maven's own comparison.

A small Java program (tests/java/MavenOrder.java) is compiled against the
maven-artifact jar of the `maven` package and fed thousands of pairs through
one JVM; every pair must order the same way here.

Inputs where this library deliberately has its own rule stay out of the
generator:
- texts that `validate_maven` rejects: empty, not starting with an ASCII
  digit, or holding a non-ASCII numeral (Maven reads some of those as digits);
- white space at either end, which is trimmed here;
- characters whose lower-casing depends on context or differs between
  Unicode versions (Greek capital sigma, recent additions): here lower-casing
  is the unconditional full mapping of the generated tables.
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

    def order(pairs):
        text = "".join(f"{a}\t{b}\n" for a, b in pairs)
        done = subprocess.run(
            [java, "-cp", f"{out}:{jar}", "MavenOrder"],
            input=text.encode("utf-8"),
            capture_output=True,
            check=True,
        )
        return [int(x) for x in done.stdout.decode("ascii").split()]

    return order


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


def test_generated_inputs_are_valid_here():
    for a, b in generate_pairs(count=400):
        quorlen.compare(a, b, ecosystem="maven")


def test_order_matches_maven(maven_order):
    pairs = generate_pairs()
    assert len(pairs) >= 12000
    expected = maven_order(pairs)
    assert len(expected) == len(pairs)
    wrong = [
        (a, b, mine, theirs)
        for (a, b), theirs in zip(pairs, expected)
        if (mine := quorlen.compare(a, b, ecosystem="maven")) != theirs
    ]
    assert not wrong, f"{len(wrong)} of {len(pairs)} pairs differ, e.g. (a, b, here, maven): {wrong[:15]}"
