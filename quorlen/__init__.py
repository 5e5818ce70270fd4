"""Version strings of thirty package ecosystems: parse, compare, sort and select
versions, test them against ranges, read package URLs and VERS ranges, decide
OSV "affected" entries, and bump versions."""

from quorlen import _quorlen
from quorlen._quorlen import *  # noqa: F401,F403
from quorlen._quorlen import __version__

__all__ = list(_quorlen.__all__)
