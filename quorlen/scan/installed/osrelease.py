"""The operating system's ``os-release`` file: ``KEY=value`` lines, values
optionally quoted with shell quoting rules (no expansion is done)."""

from __future__ import annotations

import shlex

from quorlen.scan import ecosystems

PATHS = ("etc/os-release", "usr/lib/os-release")


def parse(text: str) -> dict[str, str]:
    values = {}
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        key, sep, value = line.partition("=")
        if not sep or not key.isidentifier():
            continue
        try:
            words = shlex.split(value, posix=True)
        except ValueError:
            continue  # an unbalanced quote: the line is not used
        values[key] = " ".join(words)
    return values


def ecosystem(text: str) -> str | None:
    """The OSV ecosystem of the system's packages, with its release, or None
    when OSV has none for the distribution."""
    values = parse(text)
    os_id = values.get("ID")
    if not os_id:
        return None
    return ecosystems.os_release_ecosystem(os_id, values.get("VERSION_ID"), values.get("VERSION_CODENAME"),
                                           values.get("ID_LIKE", ""))
