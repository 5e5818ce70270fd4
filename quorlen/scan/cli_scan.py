"""The ``quorlen scan`` command. Registering it imports nothing of the
scanner; the run does, so that the other commands start as fast as before."""

from __future__ import annotations

import argparse
import os
import sys
import tempfile
import typing
from typing import Any

from quorlen.scan.text import visible

FORMATS = ("table", "json", "sarif", "markdown", "html")

DESCRIPTION = (
    "Read lockfiles, manifests and SBOMs (files, or folders searched recursively), container images (a saved "
    "image tar, an OCI layout) and root filesystems, and report every dependency "
    "that an advisory in the database affects, with the version to move to. Exit status: 0 no findings, "
    "1 findings, 2 an input or the database could not be used (2 wins over 1: a file that does not parse is "
    "reported, the other files are still scanned). A quorlen.toml at a scanned folder may list [[ignore]] "
    "tables (id, reason, optional expires date)."
)


def register(sub: "argparse._SubParsersAction[Any]") -> None:
    p = sub.add_parser("scan", help="report the vulnerable dependencies of projects and SBOMs",
                       description=DESCRIPTION)
    p.add_argument("paths", metavar="PATH", nargs="+")
    p.add_argument("--db", metavar="FILE", help="the advisory database (default: the one 'quorlen db' builds)")
    p.add_argument("--format", choices=FORMATS, default="table", help="output format (default: table)")
    p.add_argument("--output", metavar="FILE", help="write the report to FILE instead of standard output")
    p.add_argument("--ignore", metavar="ID", action="append", default=[],
                   help="leave out findings with this id or alias (may be repeated)")
    p.add_argument("--platform", metavar="OS/ARCH",
                   help="the image to read from a multi-platform image index (default: linux/amd64)")
    p.add_argument("--input-format", metavar="NAME",
                   help="read the files named with this reader instead of the one their names pick")
    from quorlen.dask import cli as dask_cli
    dask_cli.add_options(p)
    p.set_defaults(run=run)


def _warn(text: str) -> None:
    sys.stderr.write(f"quorlen: warning: {visible(text)}\n")


def _error(text: str) -> None:
    sys.stderr.write(f"quorlen: error: {visible(text)}\n")


def _colour(stream: typing.TextIO) -> bool:
    return stream.isatty() and not os.environ.get("NO_COLOR")


def _write(path: str, text: str) -> None:
    # The report appears whole or not at all: a reader of FILE never sees
    # half, and no temporary file outlives a failure of any kind.
    folder = os.path.dirname(os.path.abspath(path))
    try:
        fd, temp = tempfile.mkstemp(prefix=f".{os.path.basename(path)}.", suffix=".tmp", dir=folder)
    except OSError as e:
        raise ValueError(f"cannot write '{path}': {e.strerror or e}") from None
    try:
        # A report is an ordinary file (mkstemp's would be private to its owner).
        mask = os.umask(0)
        os.umask(mask)
        os.fchmod(fd, 0o666 & ~mask)
        with open(fd, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(temp, path)
    except BaseException as e:
        try:
            os.unlink(temp)
        except OSError:
            pass
        if isinstance(e, OSError):
            raise ValueError(f"cannot write '{path}': {e.strerror or e}") from None
        raise


def run(args: argparse.Namespace) -> int:
    from quorlen.scan import database, formats, readers
    from quorlen.scan.scan import ScanResult, scan_paths

    if args.input_format is not None and args.input_format not in readers.FORMATS:
        raise ValueError(f"unknown input format '{args.input_format}'; expected one of: "
                         f"{', '.join(sorted(readers.FORMATS))}")
    path = args.db or database.default_path()
    if not os.path.exists(path):
        raise ValueError(f"no advisory database at '{path}'; build one with 'quorlen db build SOURCE...' "
                         "or 'quorlen db update'")
    from quorlen.dask import cli as dask_cli
    if dask_cli.wanted(args):
        result: ScanResult = dask_cli.scan(args, args.paths, path, args.input_format, args.ignore)
    else:
        with database.Database(path, readonly=True) as db:
            result = scan_paths(args.paths, db=db, format=args.input_format, ignores=args.ignore,
                                platform=args.platform)
    for warning in result.warnings:
        _warn(warning)
    for error in result.errors:
        _error(str(error))
    if args.output:
        _write(args.output, formats.render(result, args.format))
    else:
        sys.stdout.write(formats.render(result, args.format, colour=args.format == "table" and _colour(sys.stdout)))
    return result.status
