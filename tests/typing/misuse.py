"""Misuse of the public API: mypy must report an error on every line marked E."""

from __future__ import annotations

import quorlen
from quorlen import Version

v = Version("1.0")
n: str = quorlen.compare("1", "2")  # E: the result is an int
quorlen.eq(v, "1.0")  # E: the boolean comparisons take str only
quorlen.satisfies("1.0", ">=1", ecosystem=None)  # E: None is not an ecosystem name
quorlen.compare("1", "2", None)  # E
major: str = v.to_dict()["major"]  # E: an int
version: str = quorlen.parse_purl("pkg:a/b")["version"]  # E: may be None
quorlen.osv_affected("1.0", [])  # E: an affected entry is a dict
quorlen.max_version([1, 2])  # E: items are str or Version
quorlen.bump_prerelease("1.0", tag=None)  # E
v.major = 2  # E: read-only
v < 1  # E
quorlen.build_purl("pypi")  # E: name is required
missing: int = v.missing  # E


class Sub(Version):  # E: Version cannot be subclassed
    pass
