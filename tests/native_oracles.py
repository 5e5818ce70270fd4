"""Real version strings per ecosystem and the ecosystems' own tools as
oracles, for the differential tests of the native orderings. Every oracle
takes many pairs at once and answers -1, 0, 1, or None where the tool
refuses one of the texts."""
import ctypes
import ctypes.util
import functools
import json
import os
import pathlib
import random
import re
import shutil
import subprocess
import tempfile
import zipfile

import pytest

import quorlen

DATA = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "data"


# ---------------------------------------------------------------- real strings


@functools.lru_cache(maxsize=None)
def debian_versions():
    """(package, version) of every package Debian's lists on this machine name."""
    if shutil.which("apt-cache") is None:
        return ()
    out = subprocess.run(["apt-cache", "dumpavail"], capture_output=True, text=True, timeout=120).stdout
    pairs, package = [], None
    for line in out.splitlines():
        if line.startswith("Package: "):
            package = line[9:].strip()
        elif line.startswith("Version: ") and package:
            pairs.append((package, line[9:].strip()))
    return tuple(pairs)


def upstream(version):
    """The upstream part of a Debian version, without Debian's repack marks."""
    version = version.split(":", 1)[-1].rsplit("-", 1)[0]
    return re.split(r"[+~]", version, maxsplit=1)[0]


def debian_upstreams(pattern):
    return {upstream(v) for p, v in debian_versions() if re.fullmatch(pattern, p)}


@functools.lru_cache(maxsize=None)
def osv_versions(*archives):
    """Versions named by the shared OSV records: listed ones and range events."""
    found = set()
    for name in archives:
        path = DATA / "osv" / name
        if not path.is_file():
            continue
        with zipfile.ZipFile(path) as zf:
            for entry in zf.namelist():
                if not entry.endswith(".json"):
                    continue
                record = json.loads(zf.read(entry))
                for affected in record.get("affected", []):
                    found.update(affected.get("versions", []))
                    for r in affected.get("ranges", []):
                        for event in r.get("events", []):
                            found.update(v for k, v in event.items() if k != "limit")
    return frozenset(v for v in found if isinstance(v, str) and v not in ("0", ""))


def gemfile_versions():
    found = set()
    for path in (DATA / "lockfiles").glob("**/Gemfile.lock"):
        found.update(re.findall(r"^ {4}\S+ \(([^)\s]+)\)$", path.read_text(), re.M))
    return found


def composer_versions():
    found = set()
    for path in (DATA / "lockfiles").glob("**/composer.lock"):
        lock = json.loads(path.read_text())
        for key in ("packages", "packages-dev"):
            found.update(p["version"] for p in lock.get(key, []))
    return found


# ---------------------------------------------------------------- pairs


def accepted(texts, eco):
    return sorted(t for t in texts if quorlen.Version.try_parse(t, eco) is not None)


def pairs_of(texts, alphabet, seed=25, count=3000, mutated=600):
    """Random pairs, neighbours in generic order, and texts against a copy
    cut, extended or changed at one place, so that differences fall inside
    digit runs, letter runs and separators alike."""
    rng = random.Random(seed)
    texts = sorted(set(texts))
    if len(texts) < 2:
        return []
    pairs = [(rng.choice(texts), rng.choice(texts)) for _ in range(count)]
    ordered = quorlen.sort_versions(texts)
    pairs += list(zip(ordered, ordered[1:]))
    for text in rng.sample(texts, min(mutated, len(texts))):
        cut = rng.randint(1, len(text))
        pairs.append((text, text[:cut]))
        pairs.append((text, text[:cut] + rng.choice(alphabet) + text[cut:]))
        pairs.append((text, text[:cut] + rng.choice(alphabet) + text[cut + 1:]))
    return pairs


def ours(pairs, eco):
    """Our answers, or None where our check refuses a text."""
    out = []
    for a, b in pairs:
        try:
            out.append(quorlen.compare(a, b, ecosystem=eco))
        except ValueError:
            out.append(None)
    return out


# ---------------------------------------------------------------- oracles


# The reference tools run without what a sanitizer run preloads into this
# interpreter: their own binaries are not built for it.
TOOL_ENV = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}


def _run(argv, pairs, timeout=300):
    job = "".join(f"{a}\t{b}\n" for a, b in pairs)
    done = subprocess.run(argv, input=job, capture_output=True, text=True, timeout=timeout, check=True,
                          env=TOOL_ENV)
    return [None if line == "E" else int(line) for line in done.stdout.split()]


@functools.lru_cache(maxsize=None)
def _alpm():
    name = ctypes.util.find_library("alpm")
    if name is None:
        return None
    f = ctypes.CDLL(name).alpm_pkg_vercmp
    f.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    f.restype = ctypes.c_int
    return f


def alpm_vercmp(pairs):
    f = _alpm()
    if f is None:
        pytest.skip("libalpm (pacman-package-manager) is not installed")
    return [(lambda r: (r > 0) - (r < 0))(f(a.encode(), b.encode())) for a, b in pairs]


RUBY = r"""
STDIN.each_line do |line|
  a, b = line.chomp("\n").split("\t", 2)
  if Gem::Version.correct?(a) && Gem::Version.correct?(b)
    puts(Gem::Version.new(a) <=> Gem::Version.new(b))
  else
    puts "E"
  end
end
"""


def gem_version(pairs):
    if shutil.which("ruby") is None:
        pytest.skip("ruby is not installed")
    return _run(["ruby", "-e", RUBY], pairs)


PERL = r"""
use version; no warnings;
while (my $line = <STDIN>) {
  chomp $line; my ($a, $b) = split /\t/, $line, 2;
  my $r = eval { version->parse($a) <=> version->parse($b) };
  print defined $r ? "$r\n" : "E\n";
}
"""


def perl_version(pairs):
    return _run(["perl", "-e", PERL], pairs)


# R's version class (package_version) takes two digit runs or more joined by
# '.' or '-', each a 32-bit R integer; compareVersion reads any such text.
R = r"""
mode <- commandArgs(trailingOnly = TRUE)[1]
ok <- function(v) grepl("^([0-9]+[.-])+[0-9]+$", v) && all(nchar(strsplit(v, "[.-]")[[1]]) < 10)
cmp <- function(a, b) {
  if (mode == "compareVersion") return(compareVersion(a, b))
  a <- package_version(a); b <- package_version(b)
  if (a < b) -1 else if (a > b) 1 else 0
}
for (line in readLines(file("stdin"))) {
  p <- strsplit(line, "\t", fixed = TRUE)[[1]]
  cat(if (length(p) == 2 && ok(p[1]) && ok(p[2])) cmp(p[1], p[2]) else "E", "\n", sep = "")
}
"""


def _r(mode, pairs):
    if shutil.which("Rscript") is None:
        pytest.skip("R (r-base-core) is not installed")
    return _run(["Rscript", "-e", R, mode], pairs)


def r_package_version(pairs):
    return _r("package_version", pairs)


def r_compare_version(pairs):
    return _r("compareVersion", pairs)


NIX = """{ file }: map (p: builtins.compareVersions (builtins.elemAt p 0) (builtins.elemAt p 1))
  (builtins.fromJSON (builtins.readFile file))"""


def nix_compare_versions(pairs):
    """builtins.compareVersions, evaluated offline (no store is touched)."""
    if shutil.which("nix-instantiate") is None:
        pytest.skip("nix-instantiate (nix-bin) is not installed")
    with tempfile.NamedTemporaryFile("w", suffix=".json") as job:
        json.dump(pairs, job)
        job.flush()
        done = subprocess.run(["nix-instantiate", "--eval", "--strict", "--json", "--expr", NIX, "--argstr", "file",
                               job.name], capture_output=True, text=True, timeout=300, check=True, env=TOOL_ENV)
    return json.loads(done.stdout)


COMPOSER_AUTOLOAD = "/usr/share/php/Composer/Semver/autoload.php"
PHP = r"""
require $argv[1];
$p = new Composer\Semver\VersionParser();
while (($line = fgets(STDIN)) !== false) {
  [$a, $b] = explode("\t", rtrim($line, "\n"), 2);
  try { echo version_compare($p->normalize($a), $p->normalize($b)), "\n"; }
  catch (Exception $e) { echo "E\n"; }
}
"""


def composer_compare(pairs):
    if shutil.which("php") is None or not pathlib.Path(COMPOSER_AUTOLOAD).is_file():
        pytest.skip("php with composer/semver (php-composer-semver) is not installed")
    return _run(["php", "-r", PHP, COMPOSER_AUTOLOAD], pairs)
