"""go.mod: the modules of its ``require`` directives, with ``replace``
directives applied.

A replacement by a local folder makes the dependency a path source; a
replacement by another module version is what the build uses, so that is
what is reported. The ``go`` directive is not reported as the standard
library: it names the least language version the module needs, not the
toolchain that builds it, and matching the standard library's advisories
against it would report fixed releases as vulnerable and miss old ones.

Lines: the line of the ``require`` entry. A bad line is an error of its
own; the other lines are still read.
"""

from __future__ import annotations

from dataclasses import dataclass

from quorlen.scan.model import PATH, REGISTRY, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import each_entry, entry_error, fail

FORMAT = "go.mod"
ECOSYSTEM = "Go"

DIRECTIVES = frozenset({
    "module", "go", "toolchain", "godebug", "require", "replace", "exclude", "retract", "tool", "ignore",
})


@dataclass(frozen=True)
class Require:
    module: str
    version: str
    line: int


@dataclass(frozen=True)
class Replace:
    module: str
    version: str | None  # None: every version of the module
    new: str
    new_version: str | None  # None: a local folder
    line: int


def tokens(path: str, line_no: int, line: str) -> list[str]:
    """A line's tokens: quoted strings unquoted, a ``//`` comment dropped."""
    out: list[str] = []
    i, n = 0, len(line)
    while i < n:
        c = line[i]
        if c in " \t\r":
            i += 1
        elif line.startswith("//", i):
            break
        elif c in "\"`":
            end = line.find(c, i + 1)
            if end < 0:
                fail(path, line_no, FORMAT, "unterminated quoted string")
            # Interpreted strings of module paths never need escapes.
            out.append(line[i + 1:end])
            i = end + 1
        else:
            j = i
            while j < n and line[j] not in " \t\r\"`" and not line.startswith("//", j):
                j += 1
            out.append(line[i:j])
            i = j
    return out


def go_version(path: str, line: int, version: str) -> str:
    """A module version as OSV writes Go versions: without the ``v``."""
    if len(version) < 2 or version[0] != "v" or not version[1].isdigit():
        fail(path, line, FORMAT, f"invalid module version '{version}'")
    return version[1:]


def is_local(path: str) -> bool:
    """Whether a replacement names a folder rather than a module."""
    return path.startswith(("./", "../", "/", ".\\", "..\\")) or path in (".", "..") or (
        len(path) > 2 and path[1] == ":" and path[2] in "/\\")


def parse_require(path: str, line: int, args: list[str]) -> Require:
    if len(args) != 2:
        fail(path, line, FORMAT, "a require needs a module path and a version")
    return Require(args[0], go_version(path, line, args[1]), line)


def parse_replace(path: str, line: int, args: list[str]) -> Replace:
    if "=>" not in args:
        fail(path, line, FORMAT, "a replace needs '=>'")
    arrow = args.index("=>")
    old, new = args[:arrow], args[arrow + 1:]
    if len(old) not in (1, 2) or len(new) not in (1, 2):
        fail(path, line, FORMAT, "a replace is 'module [version] => module version' or '=> folder'")
    old_version = go_version(path, line, old[1]) if len(old) == 2 else None
    if len(new) == 1:
        if not is_local(new[0]):
            fail(path, line, FORMAT, f"a replacement module needs a version: '{new[0]}'")
        return Replace(old[0], old_version, new[0], None, line)
    return Replace(old[0], old_version, new[0], go_version(path, line, new[1]), line)


def statements(path: str, text: str) -> list[tuple[int, str, list[str]]]:
    """(line, directive, arguments) for each statement, blocks unfolded."""
    out = []
    block: str | None = None
    block_line = 0
    for line_no, raw in enumerate(text.splitlines(), 1):
        toks: list[str] = []
        with each_entry():
            toks = tokens(path, line_no, raw)
        if not toks:
            continue
        if block is not None:
            if toks == [")"]:
                block = None
            else:
                out.append((line_no, block, toks))
            continue
        verb, args = toks[0], toks[1:]
        if verb not in DIRECTIVES:
            entry_error(path, line_no, FORMAT, f"unknown directive '{verb}'")
        elif args == ["("]:
            block, block_line = verb, line_no
        elif args != ["(", ")"]:
            out.append((line_no, verb, args))
    if block is not None:
        # Its lines were read as the block's entries; the error says they
        # may have been meant otherwise.
        entry_error(path, block_line, FORMAT, f"the '{block} (' block is never closed")
    return out


def read(path: str, text: str) -> list[Package]:
    requires: list[Require] = []
    replaces: list[Replace] = []
    module_seen = False
    for line, verb, args in statements(path, text):
        with each_entry():
            if verb == "module":
                module_seen = True
            elif verb == "require":
                requires.append(parse_require(path, line, args))
            elif verb == "replace":
                replaces.append(parse_replace(path, line, args))
    if not module_seen and requires:
        entry_error(path, 1, FORMAT, "no module directive")
    return [resolve(path, r, replaces) for r in requires]


def resolve(path: str, req: Require, replaces: list[Replace]) -> Package:
    # A replacement of one version wins over one of every version.
    exact = [r for r in replaces if r.module == req.module and r.version == req.version]
    every = [r for r in replaces if r.module == req.module and r.version is None]
    if not exact and not every:
        return Package(ECOSYSTEM, req.module, req.version, path, req.line)
    chosen = (exact or every)[-1]
    if chosen.new_version is None:
        return Package(ECOSYSTEM, req.module, req.version, path, req.line, source=PATH, location=chosen.new)
    return Package(ECOSYSTEM, chosen.new, chosen.new_version, path, req.line, source=REGISTRY)


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("go.mod", "*__go.mod"), read),)
