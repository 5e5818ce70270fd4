import pathlib
import sys

# Tests run against the installed package, never the source folder, so the
# source tree's `quorlen/` (which has no extension inside) must not shadow it.
_ROOT = str(pathlib.Path(__file__).resolve().parent.parent)
sys.path[:] = [p for p in sys.path if p not in ("", _ROOT)]

from hypothesis import HealthCheck, settings  # noqa: E402

# The properties are about results, not speed: under the sanitizer build or on
# a busy machine, drawing examples is slower, which must not fail a run.
settings.register_profile("quorlen", deadline=None, suppress_health_check=[HealthCheck.too_slow])
settings.load_profile("quorlen")
