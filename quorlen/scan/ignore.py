"""Advisories the user has chosen to ignore: ``--ignore ID`` and the
``[[ignore]]`` tables of a ``quorlen.toml`` at a scanned root.

    [[ignore]]
    id = "PYSEC-2019-217"
    reason = "the sandbox is not used"
    expires = 2027-01-31        # optional; from this day on it no longer applies
"""

from __future__ import annotations

import datetime
import os
import collections.abc as abc
from dataclasses import dataclass
from typing import Any

CONFIG_NAME = "quorlen.toml"
# A configuration file is a few lines; anything larger is not one.
MAX_CONFIG_BYTES = 1024 * 1024
IGNORE_KEYS = frozenset({"id", "reason", "expires"})


class ConfigError(ValueError):
    """A quorlen.toml that cannot be used; the text names the file."""

    def __init__(self, file: str, message: str) -> None:
        super().__init__(f"{file}: {message}")
        self.file = file
        self.message = message


@dataclass(frozen=True)
class Ignore:
    id: str
    reason: str = ""
    expires: datetime.date | None = None
    source: str = "--ignore"  # the file it came from, or the option

    def expired(self, today: datetime.date) -> bool:
        return self.expires is not None and today >= self.expires


def _toml(text: str) -> dict[str, Any]:
    try:
        import tomllib
    except ModuleNotFoundError:  # Python before 3.11
        import tomli as tomllib  # type: ignore[no-redef]
    return tomllib.loads(text)


def _date(value: Any, where: str, source: str) -> datetime.date:
    if isinstance(value, datetime.datetime):
        return value.date()
    if isinstance(value, datetime.date):
        return value
    if isinstance(value, str):
        try:
            return datetime.date.fromisoformat(value.strip())
        except ValueError:
            pass
    raise ConfigError(source, f"{where}: 'expires' is not a date (write it as 2027-01-31)")


def _ignore(table: Any, where: str, source: str) -> Ignore:
    if not isinstance(table, dict):
        raise ConfigError(source, f"{where}: not a table")
    unknown = sorted(set(table) - IGNORE_KEYS)
    if unknown:
        raise ConfigError(source, f"{where}: unknown key '{unknown[0]}' (expected id, reason, expires)")
    ident, reason = table.get("id"), table.get("reason", "")
    if not isinstance(ident, str) or not ident.strip():
        raise ConfigError(source, f"{where}: 'id' is missing or not a string")
    if not isinstance(reason, str):
        raise ConfigError(source, f"{where}: 'reason' is not a string")
    expires = _date(table["expires"], where, source) if "expires" in table else None
    return Ignore(ident.strip(), reason, expires, source)


def parse_config(text: str, path: str) -> list[Ignore]:
    """The ignores of a quorlen.toml's text; ConfigError naming the file."""
    try:
        data = _toml(text)
    except (ValueError, RecursionError) as e:  # tomllib.TOMLDecodeError, or nesting too deep
        raise ConfigError(path, f"not valid TOML: {e}") from None
    tables = data.get("ignore", [])
    if not isinstance(tables, list):
        raise ConfigError(path, "'ignore' must be an array of tables, written [[ignore]]")
    return [_ignore(t, f"ignore #{n}", path) for n, t in enumerate(tables, 1)]


def load_config(root: str) -> list[Ignore]:
    """The ignores of the quorlen.toml in a folder, none when there is no such file."""
    path = os.path.join(root, CONFIG_NAME)
    if not os.path.isfile(path):
        return []
    try:
        with open(path, "rb") as f:
            data = f.read(MAX_CONFIG_BYTES + 1)
    except OSError as e:
        raise ConfigError(path, e.strerror or str(e)) from None
    if len(data) > MAX_CONFIG_BYTES:
        raise ConfigError(path, "too large for a configuration file")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        raise ConfigError(path, "not UTF-8 text") from None
    return parse_config(text, path)


def from_ids(ids: abc.Iterable[str]) -> list[Ignore]:
    return [Ignore(i.strip()) for i in ids if i.strip()]


def in_force(ignores: abc.Sequence[Ignore], today: datetime.date) -> tuple[dict[str, Ignore], list[str]]:
    """The ignores that apply today, by id, and a warning for each expired one."""
    active: dict[str, Ignore] = {}
    warnings: list[str] = []
    for ignore in ignores:
        if ignore.expired(today):
            warnings.append(f"{ignore.source}: the ignore of {ignore.id} expired on "
                            f"{ignore.expires}; it no longer applies")
        else:
            active.setdefault(ignore.id, ignore)
    return active, warnings
