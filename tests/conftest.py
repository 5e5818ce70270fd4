import pathlib
import sys

# Tests run against the installed package, never the source folder, so the
# source tree's `quorlen/` (which has no extension inside) must not shadow it.
_ROOT = str(pathlib.Path(__file__).resolve().parent.parent)
sys.path[:] = [p for p in sys.path if p not in ("", _ROOT)]
