"""Readers: javascript."""

from __future__ import annotations

from quorlen.scan.readers import Reader

READERS: tuple[Reader, ...] = ()
