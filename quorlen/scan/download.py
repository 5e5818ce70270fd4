"""Keeping the index current from a mirror of per-ecosystem ``all.zip`` files.

A download is asked for only when the file changed since the last one (a
conditional request on the ETag and Last-Modified the mirror gave then), is
written to a temporary file beside the index, and is imported from there;
the index keeps the mirror's answers with the source, in the same
transaction as the records.
"""

from __future__ import annotations

import os
import sys
import time
import urllib.error
import urllib.parse
import urllib.request
import collections.abc as abc
import typing
from dataclasses import dataclass
from http.client import HTTPMessage

from quorlen.scan.database import (FAILED, UNCHANGED, UPDATED, Database, DatabaseError, IndexWriteError,
                                   SourceReport, UpdateResult, Warn)

# Bytes of one download at most: the largest ecosystem's archive is a
# fraction of this.
MAX_DOWNLOAD = 4 << 30
TIMEOUT = 60  # seconds without an answer before a download fails
CHUNK = 1 << 16
SCHEMES = ("http", "https")

class DownloadError(ValueError):
    """A download that failed: the mirror's answer, or the network's."""


class _HttpOnlyRedirects(urllib.request.HTTPRedirectHandler):
    """Redirects are followed only to http and https, never to other schemes."""

    def redirect_request(self, req: urllib.request.Request, fp: typing.IO[bytes], code: int, msg: str,
                         headers: HTTPMessage, newurl: str) -> urllib.request.Request | None:
        if urllib.parse.urlsplit(newurl).scheme.lower() not in SCHEMES:
            raise DownloadError(f"{req.full_url}: redirected to '{newurl}', which is not http or https")
        return super().redirect_request(req, fp, code, msg, headers, newurl)


_OPENER = urllib.request.build_opener(_HttpOnlyRedirects)


def archive_url(mirror: str, ecosystem: str) -> str:
    """``<mirror>/<ecosystem>/all.zip``; the mirror must be an http or https URL."""
    parts = urllib.parse.urlsplit(mirror)
    if parts.scheme.lower() not in SCHEMES or not parts.netloc:
        raise DatabaseError(f"mirror '{mirror}' is not an http or https URL")
    if ecosystem.strip() in ("", ".", ".."):
        raise DatabaseError(f"'{ecosystem}' is not an ecosystem name")
    return f"{mirror.rstrip('/')}/{urllib.parse.quote(ecosystem, safe='')}/all.zip"


class Progress:
    """A download's progress bar on a terminal; nothing anywhere else."""

    WIDTH = 30
    INTERVAL = 0.1

    def __init__(self, label: str, total: int | None, enabled: bool, stream: typing.TextIO = sys.stderr) -> None:
        self.label, self.total, self.stream = label, total, stream
        self.enabled = enabled and stream.isatty()
        self.last = 0.0

    def update(self, done: int) -> None:
        now = time.monotonic()
        if not self.enabled or now - self.last < self.INTERVAL:
            return
        self.last = now
        mib = done / (1 << 20)
        if self.total:
            filled = self.WIDTH * min(done, self.total) // self.total
            bar = "#" * filled + "." * (self.WIDTH - filled)
            self.stream.write(f"\r{self.label} [{bar}] {mib:.1f}/{self.total / (1 << 20):.1f} MiB")
        else:
            self.stream.write(f"\r{self.label} {mib:.1f} MiB")
        self.stream.flush()

    def close(self) -> None:
        if self.enabled:
            self.stream.write("\r\033[K")
            self.stream.flush()


@dataclass
class Fetched:
    changed: bool
    etag: str | None = None
    last_modified: str | None = None


def fetch(url: str, dest: typing.BinaryIO, *, etag: str | None = None, last_modified: str | None = None,
          progress: bool = False, label: str = "") -> Fetched:
    """Download url into dest unless the server says it has not changed."""
    request = urllib.request.Request(url, headers={"User-Agent": "quorlen"})
    if etag:
        request.add_header("If-None-Match", etag)
    if last_modified:
        request.add_header("If-Modified-Since", last_modified)
    try:
        response = _OPENER.open(request, timeout=TIMEOUT)
    except DownloadError:
        raise
    except urllib.error.HTTPError as e:
        e.close()
        if e.code == 304:
            return Fetched(False, etag, last_modified)
        raise DownloadError(f"{url}: HTTP {e.code} {e.reason}") from None
    except urllib.error.URLError as e:
        raise DownloadError(f"{url}: {e.reason}") from None
    except (OSError, ValueError) as e:
        raise DownloadError(f"{url}: {e}") from None
    with response:
        length = response.headers.get("Content-Length")
        total = int(length) if length and length.isdigit() else None
        if total is not None and total > MAX_DOWNLOAD:
            raise DownloadError(f"{url}: {total} bytes, more than {MAX_DOWNLOAD}")
        bar = Progress(label or url, total, progress)
        done = 0
        try:
            while chunk := response.read(CHUNK):
                done += len(chunk)
                if done > MAX_DOWNLOAD:
                    raise DownloadError(f"{url}: more than {MAX_DOWNLOAD} bytes")
                dest.write(chunk)
                bar.update(done)
        except OSError as e:
            raise DownloadError(f"{url}: download broke off: {e}") from None
        finally:
            bar.close()
        if total is not None and done != total:
            raise DownloadError(f"{url}: download broke off after {done} of {total} bytes")
        return Fetched(True, response.headers.get("ETag"), response.headers.get("Last-Modified"))


def default_ecosystems(db: Database) -> list[str]:
    """The ecosystems downloaded before, for an update that names none."""
    return sorted({s.ecosystem for s in db.info().sources if s.ecosystem and s.kind == "download"})


def update(db: Database, ecosystems: abc.Sequence[str], mirror: str, *, progress: bool = False,
           warn: Warn | None = None) -> list[UpdateResult]:
    """Bring each ecosystem's records up to date; each ecosystem is its own import,
    so one that fails leaves the others' done."""
    names = list(dict.fromkeys(ecosystems)) or default_ecosystems(db)
    if not names:
        raise DatabaseError("no ecosystem to update: name one or more with --ecosystem")
    urls = [archive_url(mirror, name) for name in names]
    results = []
    # One writing session for every ecosystem: the index is copied once and
    # replaced once, and a download killed midway leaves a file the next
    # session deletes.
    with db.writing():
        for name, url in zip(names, urls):
            results.append(_update_one(db, name, url, progress, warn))
    return results


def _update_one(db: Database, name: str, url: str, progress: bool, warn: Warn | None) -> UpdateResult:
    known = db.source(url)
    tmp = db.temp_file("download", ".zip")
    try:
        with open(tmp, "wb") as dest:
            fetched = fetch(url, dest, etag=known.etag if known else None,
                            last_modified=known.last_modified if known else None,
                            progress=progress, label=name)
        if not fetched.changed:
            return UpdateResult(name, url, UNCHANGED)
        plan = SourceReport(url, "download", ecosystem=name, etag=fetched.etag,
                            last_modified=fetched.last_modified)
        report = db.import_downloaded(plan, tmp, warn=warn)
        return UpdateResult(name, url, UPDATED, report=report)
    except IndexWriteError:
        # The new copy of the index is broken: no ecosystem of this update is kept.
        raise
    except (DownloadError, DatabaseError, OSError) as e:
        return UpdateResult(name, url, FAILED, str(e) if not isinstance(e, OSError) else f"{url}: {e}")
    finally:
        os.unlink(tmp)
