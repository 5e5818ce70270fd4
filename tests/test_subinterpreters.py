"""The module in a sub-interpreter: its own Version type and exception, the
functions working there and here alike."""

import textwrap

import pytest

import quorlen

interpreters = pytest.importorskip("_xxsubinterpreters", reason="this Python has no sub-interpreter module")

# Runs in the sub-interpreter; results come back through a channel as text.
SCRIPT = textwrap.dedent(
    """
    import _xxsubinterpreters as interpreters
    import quorlen
    from quorlen import Version
    v = Version("1.0.0-rc.1", "semver")
    try:
        quorlen.compare("1", "2", "nope")
        raised = "nothing"
    except quorlen.UnknownEcosystemError as e:
        raised = type(e).__name__
    result = [
        str(id(Version)),
        str(id(quorlen.UnknownEcosystemError)),
        repr(sorted([Version("2.0"), Version("1.0")])),
        str(quorlen.compare("1.0", "2.0")),
        repr(quorlen.sort_versions(["1.10", "1.9", "1.0-rc1"], "pep440")),
        str(v < Version("1.0.0", "semver")),
        quorlen.osv_ecosystem("Debian:12"),
        raised,
        str(hash(Version("1.0a1", "pep440"))),
    ]
    interpreters.channel_send(CHANNEL, "\\n".join(result))
    """
)


def run_in_subinterpreter():
    interp = interpreters.create()
    channel = interpreters.channel_create()
    try:
        interpreters.run_string(interp, SCRIPT, shared={"CHANNEL": channel})
        return interpreters.channel_recv(channel).split("\n")
    finally:
        interpreters.destroy(interp)
        interpreters.channel_release(channel)


def test_a_subinterpreter_gets_its_own_types_and_the_same_answers():
    from quorlen import Version

    first = run_in_subinterpreter()
    second = run_in_subinterpreter()
    here = [
        str(id(Version)),
        str(id(quorlen.UnknownEcosystemError)),
        repr(sorted([Version("2.0"), Version("1.0")])),
        str(quorlen.compare("1.0", "2.0")),
        repr(quorlen.sort_versions(["1.10", "1.9", "1.0-rc1"], "pep440")),
        str(Version("1.0.0-rc.1", "semver") < Version("1.0.0", "semver")),
        quorlen.osv_ecosystem("Debian:12"),
        "UnknownEcosystemError",
        str(hash(Version("1.0a1", "pep440"))),
    ]
    # The classes differ between interpreters; every answer is the same.
    assert first[0] != here[0] and first[1] != here[1]
    assert first[2:] == second[2:] == here[2:]
    # The main interpreter's module still works after the others are gone.
    assert quorlen.compare("1.0", "1.1") == -1
