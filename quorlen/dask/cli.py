"""The ``--workers`` and ``--scheduler`` options of ``quorlen scan``."""

from __future__ import annotations

import argparse
import collections.abc as abc
from typing import Any


def add_options(parser: argparse.ArgumentParser) -> None:
    """Registered without importing dask: the command starts as fast without it."""
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--workers", metavar="N", type=int,
                       help="scan on a cluster of N local worker processes (needs dask.distributed)")
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="scan on the workers of a running dask.distributed scheduler (e.g. tcp://HOST:8786); "
                            "they must see the inputs' paths; the index is sent to those that do not see it")


def wanted(args: argparse.Namespace) -> bool:
    return args.workers is not None or args.scheduler is not None


def scan(args: argparse.Namespace, paths: abc.Sequence[str], db: str, format: str | None,
         ignores: abc.Sequence[str]) -> Any:
    """The ScanResult of the scan on the cluster the options name (the type
    is not named here: the scanner loads only when a scan runs)."""
    try:
        from quorlen.dask import connect, scan_paths
    except ImportError as e:
        raise ValueError(str(e)) from None
    if args.workers is not None and args.workers < 1:
        raise ValueError(f"--workers must be at least 1, not {args.workers}")
    with connect(workers=args.workers, scheduler=args.scheduler) as client:
        return scan_paths(paths, db=db, client=client, format=format, ignores=ignores)
