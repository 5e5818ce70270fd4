"""A progress line on standard error for work that takes a while: shown
only on a terminal, and only once the work has run for a second, so that
quick runs, pipes and logs stay as they were."""

from __future__ import annotations

import sys
import time
import typing
import collections.abc as abc

# Seconds of work before the line appears, and between two redraws.
DELAY = 1.0
INTERVAL = 0.1


class Progress:
    """``what`` names the items counted; ``total`` is their number when
    known beforehand (a count alone is shown otherwise)."""

    def __init__(self, what: str, total: int | None = None, *, stream: typing.TextIO | None = None,
                 clock: abc.Callable[[], float] = time.monotonic) -> None:
        self.what = what
        self.total = total
        self.stream = stream if stream is not None else sys.stderr
        self.clock = clock
        self.enabled = _is_terminal(self.stream)
        self.start = clock()
        self.last = float("-inf")
        self.done = 0
        self.shown = False

    def update(self, done: int | None = None) -> None:
        """The count so far (one more than before when not given)."""
        self.done = self.done + 1 if done is None else done
        if not self.enabled:
            return
        now = self.clock()
        if now - self.start < DELAY or now - self.last < INTERVAL:
            return
        self.last = now
        count = f"{self.done}/{self.total}" if self.total else str(self.done)
        self.stream.write(f"\r\033[K{self.what}: {count}")
        self.stream.flush()
        self.shown = True

    def close(self) -> None:
        """Clear the line, if it was ever shown."""
        if self.shown:
            self.stream.write("\r\033[K")
            self.stream.flush()
            self.shown = False

    def __enter__(self) -> Progress:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def _is_terminal(stream: typing.TextIO) -> bool:
    try:
        return stream.isatty()
    except (AttributeError, ValueError):  # a closed or odd stream
        return False
