"""Typed use of the public API: `mypy --strict` must accept every line."""

from __future__ import annotations

import pickle
from typing import Literal

import quorlen
from quorlen import Version

Order = Literal[-1, 0, 1]


def newest(texts: list[str]) -> str:
    return quorlen.max_version(texts, "pep440")


def newest_stable(items: tuple[Version, ...]) -> Version:
    return quorlen.latest_stable(items, ecosystem="auto")


def orders() -> list[Order]:
    return quorlen.batch_compare([("1.0", "2.0"), (Version("1.0"), "1.0")])


v: Version = quorlen.version("1.2.3", "semver")
w: Version = Version.parse("2.0", ecosystem="pep440")
maybe: Version | None = Version.try_parse("x", "semver")
again: Version = Version.from_dict(v.to_dict())
loose: Version = Version.from_dict({"raw": "1.0"})
restored: Version = pickle.loads(pickle.dumps(v))

numbers: list[int] = [v.major, v.minor, v.patch, v.epoch, v.count, len(v)]
flags: list[bool] = [v.is_prerelease, v.is_postrelease, v.is_stable, bool(v)]
texts: list[str] = [v.raw, v.ecosystem, v.build, str(v), repr(v)]
segments: tuple[int | str, ...] = v.segments()
first: int | str = v[0]
release: tuple[int, ...] = v.release()
key: tuple[tuple[int, int, str], ...] = v.sort_key()
fields = v.to_dict()
raw: str = fields["raw"]
prerelease: bool = fields["is_prerelease"]
by_version: dict[Version, str] = {v: "x"}
less: bool = v < w or v <= "1.0" or v == w or v != 3
orders_of_v: list[Order] = [v.compare("1.0"), v.compare(w, ecosystem=None)]

pairwise: list[bool] = [
    quorlen.gt("1", "2"), quorlen.ge("1", "2"), quorlen.gte("1", "2"),
    quorlen.lt("1", "2"), quorlen.le("1", "2"), quorlen.lte("1", "2"),
    quorlen.eq("1", "2", "debian"), quorlen.ne("1", "2", ecosystem="rpm"),
]
c: Order = quorlen.compare(v, "1.0", ecosystem="auto")
strict: Order = quorlen.compare_semver_strict("1.0.0", "1.0.1")
only_text: list[str] = quorlen.sort_versions(["1.0", "0.9"])
mixed: list[str | Version] = quorlen.sort_versions([v, "1.0"])
pool: list[str | Version] = ["1.0", w]
lowest: str | Version = quorlen.min_version(pool)
stable: list[str] = quorlen.stable_versions(["1.0", "1.1a1"], "pep440")

inside: bool = quorlen.satisfies("1.5", ">=1.0,<2.0")
contains: bool = quorlen.range_contains(version="1.5", range="^1.0", ecosystem="npm")
overlap: bool = quorlen.ranges_intersect("^1.0", "^2.0")

purl = quorlen.parse_purl("pkg:pypi/django@3.2.1")
name: str = purl["name"]
pversion: str | None = purl["version"]
url: str = quorlen.build_purl("pypi", "django", version="3.2.1", qualifiers=None)
eco: str | None = quorlen.purl_ecosystem(url)
vers: str = quorlen.build_vers("npm", ">=1.0,<2.0")
in_vers: bool = quorlen.vers_contains(vers, "1.5.0")
affected: bool = quorlen.osv_affected("1.0", {"ranges": [{"events": [{"introduced": "0"}]}]}, ecosystem="pep440")

bumped: list[str] = [
    quorlen.bump_major("1.2.3"), quorlen.bump_minor("1.2.3"), quorlen.bump_patch("1.2.3"),
    quorlen.bump_prerelease("1.2.3", tag="rc"), quorlen.next_stable("1.2.3-rc.1"),
]
names: list[str] = quorlen.__all__
