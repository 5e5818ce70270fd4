"""Gemfile.lock: the gems under ``specs:`` of its GEM, GIT, PATH and
PLUGIN SOURCE sections (the entries at four spaces; their dependencies, at
six, are listed as gems of their own elsewhere).

Lines: the line of the gem's entry. A bad line is an error of its own;
the other lines are still read.
"""

from __future__ import annotations

import re

from quorlen.scan.model import GIT, PATH, REGISTRY, URL, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import entry_error, fail

FORMAT = "Gemfile.lock"
ECOSYSTEM = "RubyGems"

# Where the gems of each section come from.
SECTION_SOURCES = {"GEM": REGISTRY, "GIT": GIT, "PATH": PATH, "PLUGIN SOURCE": URL}

_SECTION = re.compile(r"[A-Z][A-Z ]*")
_GEM_ENTRY = re.compile(r"    (?P<name>[^ ()]+) \((?P<version>[^()]+)\)")


def gem_version(version: str) -> str:
    """A gem entry's version without the platform Bundler appends to it
    (``1.13.8-x86_64-linux``). Rubygems writes a prerelease's hyphen as
    ``.pre.``, so the first hyphen always starts the platform."""
    return version.split("-", 1)[0]


def read(path: str, text: str) -> list[Package]:
    packages = []
    section: str | None = None
    in_gem_list = False
    seen_section = False
    remote: str | None = None  # where the section's gems come from
    for line_no, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            continue
        if not line[0].isspace():
            if not _SECTION.fullmatch(line.rstrip()):
                # Its lines belong to no known section and are passed over.
                entry_error(path, line_no, FORMAT, f"expected a section name, found '{line.strip()[:60]}'")
                section, in_gem_list = "", False
                continue
            section, in_gem_list, seen_section, remote = line.rstrip(), False, True, None
            continue
        if section is None:
            entry_error(path, line_no, FORMAT, "an indented line before any section")
            section = ""
            continue
        if section not in SECTION_SOURCES:
            continue
        if line.startswith("  ") and not line.startswith("   "):
            in_gem_list = line.strip() == "specs:"
            if line.strip().startswith("remote:"):
                remote = line.strip()[len("remote:"):].strip() or None
            continue
        if not in_gem_list or line.startswith("      "):
            continue
        m = _GEM_ENTRY.fullmatch(line.rstrip())
        if m is None:
            entry_error(path, line_no, FORMAT, f"expected 'name (version)', found '{line.strip()[:60]}'")
            continue
        packages.append(Package(
            ECOSYSTEM, m["name"], gem_version(m["version"]), path, line_no, source=SECTION_SOURCES[section],
            location=None if SECTION_SOURCES[section] == REGISTRY else remote,
        ))
    if not seen_section:
        fail(path, 1, FORMAT, "no sections (GEM, PLATFORMS, DEPENDENCIES ...)")
    return packages


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("Gemfile.lock", "*__Gemfile.lock", "gems.locked", "*__gems.locked"), read),)
