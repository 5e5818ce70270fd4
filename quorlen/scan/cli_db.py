"""The ``quorlen db`` command: build, update and describe the advisory index.

Only argparse is needed to register the command; the database module is
imported when a db command runs, so the other commands start without it.
"""

from __future__ import annotations

import argparse
import sys
import typing

from quorlen.scan.text import visible

PROG = "quorlen"


def warn(message: str) -> None:
    sys.stderr.write(f"{PROG}: warning: {visible(message)}\n")


def error(message: str) -> None:
    sys.stderr.write(f"{PROG}: error: {visible(message)}\n")


def cmd_build(args: argparse.Namespace) -> int:
    from quorlen.scan.database import Database, sample_sources

    sources = list(args.sources) + (sample_sources() if args.sample else [])
    if not sources:
        raise ValueError("db build: name a SOURCE, or --sample for the bundled advisories")
    with Database(args.db) as db:
        report = db.import_sources(sources, warn=warn)
    print(report.summary())
    return 0


def cmd_update(args: argparse.Namespace) -> int:
    from quorlen.scan.database import DEFAULT_MIRROR, FAILED, UNCHANGED, Database

    with Database(args.db) as db:
        results = db.update(args.ecosystems, args.mirror or DEFAULT_MIRROR, progress=True, warn=warn)
    status = 0
    for result in results:
        if result.status == FAILED:
            error(result.message)
            status = 2
        elif result.status == UNCHANGED:
            print(f"{visible(result.ecosystem)}: unchanged since the last download")
        elif result.report is not None:
            print(f"{visible(result.ecosystem)}: {result.report.summary()}")
    return status


def cmd_info(args: argparse.Namespace) -> int:
    from quorlen.scan.database import Database

    with Database(args.db, readonly=True) as db:
        lines = db.info().lines()
    # Source locations are whatever paths and URLs were imported.
    sys.stdout.write("\n".join(visible(line) for line in lines) + "\n")
    return 0


def _add_db_option(p: argparse.ArgumentParser) -> None:
    p.add_argument("--db", metavar="FILE",
                   help="the advisory index (default: $XDG_CACHE_HOME/quorlen/osv.sqlite3, "
                        "else ~/.cache/quorlen/osv.sqlite3)")


def add_db_command(sub: typing.Any) -> None:
    """Register ``db build|update|info`` on the command's subparsers."""
    db = sub.add_parser("db", help="build, update or describe the advisory index that scans use",
                        description="Build, update or describe the offline index of OSV advisories.")
    commands = db.add_subparsers(dest="db_command", metavar="DB_COMMAND", required=True,
                                 parser_class=type(db))

    p = commands.add_parser("build", help="import OSV records from folders, all.zip archives or .json files",
                            description="Import OSV records into the index: folders of .json files (searched "
                                        "recursively), all.zip archives of them and single .json files. "
                                        "Records already held with the same modified time are skipped; a "
                                        "failed import leaves the index as it was.")
    p.add_argument("sources", metavar="SOURCE", nargs="*")
    p.add_argument("--sample", action="store_true", help="also import the advisories bundled with quorlen")
    _add_db_option(p)
    p.set_defaults(run=cmd_build)

    p = commands.add_parser("update", help="download and import <mirror>/<ecosystem>/all.zip when changed",
                            description="Download each ecosystem's all.zip from the mirror when it changed "
                                        "since the last download, and import it. Without --ecosystem, the "
                                        "ecosystems downloaded before are updated.")
    p.add_argument("-e", "--ecosystem", dest="ecosystems", metavar="NAME", action="extend", nargs="+",
                   default=[], help="OSV ecosystem as the mirror names it (PyPI, npm, Go, crates.io, ...)")
    p.add_argument("--mirror", metavar="URL", help="http or https URL of the mirror "
                                                   "(default: osv.dev's public bucket)")
    _add_db_option(p)
    p.set_defaults(run=cmd_update)

    p = commands.add_parser("info", help="print records per ecosystem, sources and the last update",
                            description="Print the index's records per ecosystem, its sources and the "
                                        "time of its last update.")
    _add_db_option(p)
    p.set_defaults(run=cmd_info)
