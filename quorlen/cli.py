"""The ``quorlen`` command: compare, sort and select version strings from a shell.

Exit statuses follow the tools people script against: 0 for success or a
true test, 1 for a false test or an empty answer, 2 for bad usage or bad
input (reported as one line on stderr, never a traceback).
"""

from __future__ import annotations

import argparse
import json
import sys
import collections.abc as abc
from typing import NoReturn

from quorlen import _quorlen as q

PROG = "quorlen"

# Operators of `quorlen test`: each spelling to the orderings (-1, 0, 1) it accepts.
TEST_OPERATORS: dict[str, frozenset[int]] = {}
for _names, _orders in (
    (("lt", "<"), {-1}),
    (("le", "<="), {-1, 0}),
    (("eq", "=="), {0}),
    (("ne", "!="), {-1, 1}),
    (("ge", ">="), {0, 1}),
    (("gt", ">"), {1}),
):
    for _name in _names:
        TEST_OPERATORS[_name] = frozenset(_orders)


class UsageError(Exception):
    """Bad input found by the command itself rather than by the library."""


class Parser(argparse.ArgumentParser):
    """An argument parser whose errors are one line, like every other error."""

    def error(self, message: str) -> NoReturn:
        sub = self.prog[len(PROG):].strip()
        fail(f"{sub}: {message}" if sub else message)


def fail(message: str) -> NoReturn:
    sys.stderr.write(f"{PROG}: error: {message}\n")
    sys.exit(2)


def read_lines(files: abc.Sequence[str]) -> list[str]:
    """Lines of the files (stdin for none or "-"), without line ends; blank lines skipped."""
    lines: list[str] = []
    for name in files or ["-"]:
        try:
            if name == "-":
                text = sys.stdin.read()
            else:
                with open(name, encoding="utf-8") as f:
                    text = f.read()
        except OSError as e:
            raise UsageError(f"cannot read '{name}': {e.strerror}") from None
        except UnicodeDecodeError:
            raise UsageError(f"{'standard input' if name == '-' else name}: not UTF-8 text") from None
        lines.extend(line for line in text.splitlines() if line.strip())
    return lines


def resolve_auto(ecosystem: str, versions: abc.Sequence[str]) -> str:
    """With "auto", the ecosystem detected from the first version; otherwise unchanged."""
    if ecosystem.lower() == "auto" and versions:
        return q.Version(versions[0]).ecosystem
    return ecosystem


def blame(error: ValueError, texts: abc.Iterable[str], ecosystem: str) -> ValueError:
    """The error, naming the first of texts that the ecosystem rejects (if one does).

    Some rejections ("Expected 3 parts, got 2") do not quote the input; with
    many inputs the user needs to know which one it was.
    """
    for text in texts:
        try:
            q.Version(text, ecosystem)
        except q.UnknownEcosystemError:
            break  # the name is at fault, not the text
        except ValueError as e:
            return ValueError(f"{ecosystem} version '{text}': {e}")
    return error


def print_lines(lines: abc.Sequence[str]) -> None:
    if lines:
        sys.stdout.write("\n".join(lines) + "\n")


# Subcommands: each takes the parsed arguments and returns the exit status.

def compare(a: str, b: str, ecosystem: str) -> int:
    try:
        return q.compare(a, b, ecosystem)
    except ValueError as e:
        raise blame(e, [a, b], ecosystem) from None


def cmd_compare(args: argparse.Namespace) -> int:
    print(compare(args.a, args.b, args.ecosystem))
    return 0


def cmd_test(args: argparse.Namespace) -> int:
    order = compare(args.a, args.b, args.ecosystem)
    return 0 if order in TEST_OPERATORS[args.op] else 1


def cmd_sort(args: argparse.Namespace) -> int:
    lines = read_lines(args.files)
    eco = resolve_auto(args.ecosystem, lines)
    try:
        ordered = q.sort_versions(lines, eco)
    except ValueError as e:
        raise blame(e, lines, eco) from None
    if args.unique and ordered:
        # Neighbours that order equal: keep the first of each run.
        orders = q.batch_compare(list(zip(ordered, ordered[1:])), eco)
        ordered = [ordered[0]] + [v for v, o in zip(ordered[1:], orders) if o != 0]
    if args.reverse:
        ordered.reverse()
    print_lines(ordered)
    return 0


def _select(pick: abc.Callable[[list[str], str], str]) -> abc.Callable[[argparse.Namespace], int]:
    def run(args: argparse.Namespace) -> int:
        lines = read_lines(args.files)
        if not lines:
            return 1
        eco = resolve_auto(args.ecosystem, lines)
        try:
            print(pick(lines, eco))
        except ValueError as e:
            if str(e) == "no stable versions found":
                return 1
            raise blame(e, lines, eco) from None
        return 0
    return run


def cmd_satisfies(args: argparse.Namespace) -> int:
    versions = args.versions or read_lines([])
    try:
        inside = [v for v in versions if q.satisfies(v, args.range, args.ecosystem)]
    except ValueError as e:
        raise blame(e, versions, args.ecosystem) from None
    print_lines(inside)
    return 0 if inside else 1


def cmd_vers(args: argparse.Namespace) -> int:
    versions = args.versions or read_lines([])
    inside = [v for v in versions if q.vers_contains(args.vers, v)]
    print_lines(inside)
    return 0 if inside else 1


def cmd_range(args: argparse.Namespace) -> int:
    ranges: list[str] = args.ranges
    eco: str = args.ecosystem
    if args.op == "subset":
        if len(ranges) != 2:
            raise UsageError("range subset: give exactly two ranges, A and B")
        return 0 if q.range_subset(ranges[0], ranges[1], eco) else 1
    if args.op == "simplify":
        results = [q.range_simplify(r, eco) for r in ranges]
    elif args.op == "complement":
        results = [q.range_complement(r, eco) for r in ranges]
    else:
        combine = {"intersect": q.range_intersection, "union": q.range_union,
                   "difference": q.range_difference}[args.op]
        acc = q.range_simplify(ranges[0], eco)
        for r in ranges[1:]:
            if acc is not None:
                acc = combine(acc, r, eco)
            elif args.op == "union":
                acc = q.range_simplify(r, eco)
            else:
                q.range_simplify(r, eco)  # nothing is left, but a malformed range is still an error
        results = [acc]
    print_lines([r if r is not None else "" for r in results])
    return 0 if all(r is not None for r in results) else 1


def cmd_detect(args: argparse.Namespace) -> int:
    print_lines([q.Version(v).ecosystem for v in args.versions])
    return 0


def cmd_parse(args: argparse.Namespace) -> int:
    print(json.dumps(q.Version(args.version, args.ecosystem).to_dict(), indent=2, ensure_ascii=False))
    return 0


def cmd_bump(args: argparse.Namespace) -> int:
    if args.part == "prerelease":
        print(q.bump_prerelease(args.version, args.tag if args.tag is not None else "alpha"))
        return 0
    if args.tag is not None:
        raise UsageError("bump: --tag applies to 'prerelease' only")
    bumps: dict[str, abc.Callable[[str], str]] = {
        "major": q.bump_major, "minor": q.bump_minor, "patch": q.bump_patch, "stable": q.next_stable,
    }
    print(bumps[args.part](args.version))
    return 0


def cmd_purl(args: argparse.Namespace) -> int:
    print(json.dumps(q.parse_purl(args.purl), indent=2, ensure_ascii=False))
    return 0


def cmd_osv(args: argparse.Namespace) -> int:
    # Imported here: the other commands start faster without it.
    from quorlen import osvscan

    if args.purl is not None:
        if args.ecosystem is not None or args.package is not None or args.version is not None:
            raise UsageError("osv: --purl excludes -e, --package and --version")
        query = osvscan.Query.from_purl(args.purl)
    else:
        missing = [opt for opt, val in (("-e", args.ecosystem), ("--package", args.package),
                                        ("--version", args.version)) if val is None]
        if missing:
            raise UsageError(f"osv: give --purl, or all of -e, --package and --version (missing {', '.join(missing)})")
        query = osvscan.Query(osvscan.canonical_ecosystem(args.ecosystem), args.package, args.version)
    warnings: list[str] = []
    ids = osvscan.scan(args.paths, query, warnings)
    for warning in warnings:
        sys.stderr.write(f"{PROG}: warning: {warning}\n")
    print_lines(ids)
    return 0 if ids else 1


def _add_ecosystem(p: argparse.ArgumentParser, default: str = "generic") -> None:
    p.add_argument("-e", "--ecosystem", default=default, metavar="ECO",
                   help=f"ecosystem whose rules apply (default: {default}; 'auto' detects it from the first version)")


def build_parser() -> argparse.ArgumentParser:
    parser = Parser(prog=PROG, description="Parse, compare, sort and select version strings of thirty package ecosystems.",
                    epilog="Exit status: 0 success or true, 1 false or nothing found, 2 bad usage or bad input. "
                           "'quorlen COMMAND --help' describes each command.")
    parser.add_argument("--version", action="version", version=f"%(prog)s {q.__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", required=True, parser_class=Parser)

    p = sub.add_parser("compare", help="print -1, 0 or 1 as A orders before, equal to or after B",
                       description="Print -1, 0 or 1 as version A orders before, equal to or after version B.")
    p.add_argument("a", metavar="A")
    p.add_argument("b", metavar="B")
    _add_ecosystem(p)
    p.set_defaults(run=cmd_compare)

    p = sub.add_parser("test", help="exit 0 when 'A OP B' holds, 1 when it does not",
                       description="Print nothing; exit 0 when 'A OP B' holds and 1 when it does not. "
                                   "OP is one of lt le eq ne ge gt or < <= == != >= > (quote the symbols in a shell).")
    p.add_argument("a", metavar="A")
    p.add_argument("op", metavar="OP", choices=list(TEST_OPERATORS))
    p.add_argument("b", metavar="B")
    _add_ecosystem(p)
    p.set_defaults(run=cmd_test)

    p = sub.add_parser("sort", help="sort versions, one per line, from files or stdin",
                       description="Sort versions, one per line, read from the files (or standard input; '-' is "
                                   "standard input too). Blank lines are skipped; lines are printed as read. "
                                   "Versions that order equal keep their input order.")
    _add_ecosystem(p)
    p.add_argument("-r", "--reverse", action="store_true", help="highest version first")
    p.add_argument("-u", "--unique", action="store_true",
                   help="print only the first of versions that order equal (1.0 and 1.0.0 under generic)")
    p.add_argument("files", metavar="FILE", nargs="*")
    p.set_defaults(run=cmd_sort)

    selections: list[tuple[str, abc.Callable[[list[str], str], str], str]] = [
        ("max", lambda vs, eco: q.max_version(vs, eco), "the highest version (the last of equal ones)"),
        ("min", lambda vs, eco: q.min_version(vs, eco), "the lowest version (the first of equal ones)"),
        ("latest-stable", lambda vs, eco: q.latest_stable(vs, eco), "the highest version that is not a pre-release"),
    ]
    for name, pick, what in selections:
        p = sub.add_parser(name, help=f"print {what}",
                           description=f"Print {what} among the lines of the files (or standard input). "
                                       "Exit 1, printing nothing, when there is none.")
        _add_ecosystem(p)
        p.add_argument("files", metavar="FILE", nargs="*")
        p.set_defaults(run=_select(pick))

    p = sub.add_parser("satisfies", help="print the versions inside a range",
                       description="Print the versions (arguments, or lines of standard input) that satisfy "
                                   "RANGE, such as '>=1.0,<2.0', '^1.2 || ^2.0', '~1.4', '1.2.x' or '[1.0,2.0)'. "
                                   "Exit 1 when none does.")
    p.add_argument("range", metavar="RANGE")
    _add_ecosystem(p)
    p.add_argument("versions", metavar="VERSION", nargs="*")
    p.set_defaults(run=cmd_satisfies)

    p = sub.add_parser("vers", help="print the versions inside a vers: range",
                       description="Print the versions (arguments, or lines of standard input) inside the VERS "
                                   "range, such as 'vers:npm/>=1.0.0,<2.0.0'. Exit 1 when none is.")
    p.add_argument("vers", metavar="VERS")
    p.add_argument("versions", metavar="VERSION", nargs="*")
    p.set_defaults(run=cmd_vers)

    p = sub.add_parser("range", help="intersect, unite, subtract, complement, compare or simplify ranges",
                       description="intersect: print the versions in every RANGE as one range; union: in any "
                                   "RANGE; difference: in the first RANGE and in none of the others; complement: "
                                   "the versions outside each RANGE, one line each; simplify: each RANGE in its "
                                   "canonical form, one line each; subset: "
                                   "print nothing, test whether every version of the first RANGE is in the second. "
                                   "Ranges are printed with branches joined by ' || ' and comparators by ','; '*' "
                                   "stands for every version. Exit status: 0 success, or a true subset test; 1 a "
                                   "false subset test, or a range that holds no version (printed as an empty line); "
                                   "2 bad usage, a malformed range, or a version the ecosystem rejects.")
    p.add_argument("op", metavar="OP",
                   choices=["intersect", "union", "difference", "complement", "subset", "simplify"],
                   help="intersect, union, difference, complement, subset or simplify")
    p.add_argument("ranges", metavar="RANGE", nargs="+")
    p.add_argument("-e", "--ecosystem", default="generic", metavar="ECO",
                   help="ecosystem whose ordering applies (default: generic)")
    p.set_defaults(run=cmd_range)

    p = sub.add_parser("detect", help="print the ecosystem detected from each version",
                       description="Print, one line per VERSION, the ecosystem detected from its shape "
                                   "(generic when nothing more specific fits).")
    p.add_argument("versions", metavar="VERSION", nargs="+")
    p.set_defaults(run=cmd_detect)

    p = sub.add_parser("parse", help="print the fields of a parsed version as JSON",
                       description="Print the fields of VERSION (raw, ecosystem, epoch, major, minor, patch, build, "
                                   "is_prerelease, is_postrelease) as a JSON object.")
    p.add_argument("version", metavar="VERSION")
    _add_ecosystem(p, default="auto")
    p.set_defaults(run=cmd_parse)

    p = sub.add_parser("bump", help="print the next major, minor, patch, pre-release or stable version",
                       description="Print a new version derived from VERSION: major, minor and patch increase "
                                   "that part; prerelease gives M.m.p-TAG.N, counting on from the same tag; "
                                   "stable gives the plain M.m.p.")
    p.add_argument("part", choices=["major", "minor", "patch", "prerelease", "stable"])
    p.add_argument("version", metavar="VERSION")
    p.add_argument("--tag", metavar="T", help="pre-release tag for 'prerelease' (default: alpha)")
    p.set_defaults(run=cmd_bump)

    p = sub.add_parser("purl", help="print the parts of a package URL as JSON",
                       description="Print the parts of a package URL (pkg:type/namespace/name@version?qualifiers"
                                   "#subpath) and its ecosystem as a JSON object.")
    p.add_argument("purl", metavar="PURL")
    p.set_defaults(run=cmd_purl)

    p = sub.add_parser("osv", help="print the OSV advisories that affect a package version",
                       description="Read OSV records (.json files, or folders searched recursively) and print, "
                                   "sorted and once each, the id of every record that affects the package version. "
                                   "Exit 1 when none does. OSV ecosystem names (PyPI, npm, Go, Maven, "
                                   "Debian:12, ...) or this library's names are accepted for -e; with --purl the "
                                   "package URL gives ecosystem, name and version. Withdrawn records and ranges of "
                                   "commit hashes are skipped.")
    p.add_argument("paths", metavar="PATH", nargs="+")
    p.add_argument("--purl", metavar="PURL", help="the package version as a package URL, e.g. pkg:pypi/django@3.2.1")
    p.add_argument("-e", "--ecosystem", metavar="ECO", help="ecosystem of the package, e.g. PyPI")
    p.add_argument("--package", metavar="NAME", help="package name as the records write it")
    p.add_argument("--version", metavar="V", help="package version")
    p.set_defaults(run=cmd_osv)

    from quorlen.scan import cli_scan  # registration only; the scanner loads when run
    cli_scan.register(sub)
    from quorlen.scan.cli_db import add_db_command  # argparse only; the database loads when used
    add_db_command(sub)
    return parser


# The list each command's trailing arguments go to. argparse stops filling a
# positional list at the first option, so `satisfies RANGE -e pep440 1.0 2.0`
# leaves 1.0 and 2.0 over; they belong to that list.
TRAILING_LISTS = {"sort": "files", "max": "files", "min": "files", "latest-stable": "files",
                  "satisfies": "versions", "vers": "versions", "range": "ranges", "detect": "versions",
                  "osv": "paths", "scan": "paths"}


def parse_args(argv: abc.Sequence[str] | None) -> argparse.Namespace:
    parser = build_parser()
    args, extras = parser.parse_known_args(argv)
    dest = TRAILING_LISTS.get(args.command)
    if extras and dest is not None and not any(e.startswith("-") and e != "-" for e in extras):
        setattr(args, dest, getattr(args, dest) + extras)
    elif extras:
        parser.error(f"unrecognized arguments: {' '.join(extras)}")
    return args


def main(argv: abc.Sequence[str] | None = None) -> int:
    args = parse_args(argv)
    run: abc.Callable[[argparse.Namespace], int] = args.run
    try:
        status = run(args)
        sys.stdout.flush()
        return status
    except (ValueError, TypeError, IndexError, UsageError) as e:
        fail(str(e))
    except BrokenPipeError:
        # The reader went away (`quorlen sort | head`): not an error of ours.
        sys.stderr.close()
        return 0
    except KeyboardInterrupt:
        return 130
