"""Writes the benchmark workloads under bench/data/: real version lists taken
from sources on this machine where there are some, realistic generated ones
elsewhere. Run it again to refresh; the files are kept small.

  pep440.txt  PyPI releases named by the advisory records in ../shared/data/osv-pypi
  debian.txt  versions of the Debian packages apt knows (apt-cache dumpavail)
  rpm.txt     generated in the shapes of Red Hat family releases
  semver.txt  generated strict SemVer, a tenth with prereleases or build metadata
  maven.txt   generated in the shapes of Maven artifact versions
  generic.txt a mix of all the above

Lists of 100,000 lines for the sorting rows, each line a real version drawn
(seeded, with replacement, so versions keep the frequency they have in their
source) from a pool found on this machine:

  debian-100k.txt  Debian archive versions: the Version field of every package
                   apt knows (apt-cache dumpavail) and of the installed ones
                   (dpkg-query)
  rpm-100k.txt     RPM epoch:version-release texts of AlmaLinux packages: the
                   introduced and fixed versions of ../shared/data/osv/AlmaLinux.zip
  npm-100k.txt     npm package versions: the resolved versions of the npm, yarn
                   and pnpm lockfiles under ../shared/data/lockfiles, the
                   Node.js packages installed under /usr/share/nodejs and the
                   SemVer versions of ../shared/data/osv/Bitnami.zip
"""
import argparse
import json
import pathlib
import random
import re
import subprocess
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
SHARED = ROOT.parent / "shared" / "data"  # replaced by --shared
LIMIT = 10_000
LARGE = 100_000
SEMVER = re.compile(
    r"(0|[1-9]\d*)\.(0|[1-9]\d*)\.(0|[1-9]\d*)"
    r"(-(0|[1-9]\d*|\d*[A-Za-z-][0-9A-Za-z-]*)(\.(0|[1-9]\d*|\d*[A-Za-z-][0-9A-Za-z-]*))*)?"
    r"(\+[0-9A-Za-z-]+(\.[0-9A-Za-z-]+)*)?"
)


def pep440_versions():
    seen = {}
    for path in sorted((SHARED / "osv-pypi").rglob("*.json")):
        record = json.loads(path.read_text())
        for affected in record.get("affected", []):
            for v in affected.get("versions", []):
                seen.setdefault(v, None)
    try:  # keep what every PEP 440 implementation on the bench accepts
        from packaging.version import InvalidVersion, Version
    except ImportError:
        return list(seen)
    ok = []
    for v in seen:
        try:
            Version(v)
        except InvalidVersion:
            continue
        ok.append(v)
    return ok


def debian_versions():
    out = subprocess.run(["apt-cache", "dumpavail"], capture_output=True, text=True, check=False).stdout
    seen = {}
    for line in out.splitlines():
        if line.startswith("Version: "):
            seen.setdefault(line[9:].strip(), None)
    return list(seen)


def rpm_versions(rng):
    out = []
    for _ in range(LIMIT):
        v = ".".join(str(rng.randrange(n)) for n in rng.choice([(5, 20), (5, 20, 30), (3, 40, 12, 9)]))
        if rng.random() < 0.05:
            v += rng.choice(["~rc1", "^git20240101.abc123", "~beta2"])
        rel = f"{rng.randrange(1, 400)}.{rng.choice(['el7', 'el8', 'el9', 'fc39', 'fc40', 'amzn2'])}"
        if rng.random() < 0.3:
            rel += f"_{rng.randrange(10)}"
        epoch = f"{rng.randrange(1, 4)}:" if rng.random() < 0.1 else ""
        out.append(f"{epoch}{v}-{rel}")
    return out


def semver_versions(rng):
    out = []
    for _ in range(LIMIT):
        v = f"{rng.randrange(20)}.{rng.randrange(40)}.{rng.randrange(60)}"
        r = rng.random()
        if r < 0.07:
            v += "-" + rng.choice(["alpha", "beta", "rc", "next", "canary"]) + f".{rng.randrange(12)}"
        elif r < 0.1:
            v += f"+build.{rng.randrange(999)}"
        out.append(v)
    return out


def maven_versions(rng):
    quals = ["", "", "", "-SNAPSHOT", ".RELEASE", ".Final", "-alpha-1", "-beta2", "-M3", "-RC1", "-sp1", ".GA"]
    out = []
    for _ in range(LIMIT):
        core = ".".join(str(rng.randrange(n)) for n in rng.choice([(6, 20), (6, 20, 30), (3, 12, 9, 40)]))
        out.append(core + rng.choice(quals))
    return out


def debian_archive_versions():
    """Every package's version, repeats kept: one line per package."""
    out = []
    for cmd in (["apt-cache", "dumpavail"], ["dpkg-query", "-W", "-f", "Version: ${Version}\n"]):
        text = subprocess.run(cmd, capture_output=True, text=True, check=False).stdout
        out += [line[9:].strip() for line in text.splitlines() if line.startswith("Version: ")]
    return [v for v in out if v]


def osv_events(zip_path):
    """The introduced, fixed and last-affected versions of every record."""
    out = []
    with zipfile.ZipFile(zip_path) as z:
        for name in z.namelist():
            record = json.loads(z.read(name))
            for affected in record.get("affected", []):
                for r in affected.get("ranges", []):
                    for event in r.get("events", []):
                        out += [v for k, v in event.items() if k in ("introduced", "fixed", "last_affected")]
    # "0" only marks the start of every range.
    return [v for v in out if v != "0"]


def npm_versions():
    out = []
    lockfiles = SHARED / "lockfiles"
    for path in sorted((lockfiles / "npm").glob("*")):
        for key, entry in json.loads(path.read_text()).get("packages", {}).items():
            if key and isinstance(entry, dict) and "version" in entry:
                out.append(entry["version"])
    for path in sorted((lockfiles / "yarn").glob("*")):
        out += re.findall(r'^  version "([^"]+)"$', path.read_text(), re.M)
    for path in sorted((lockfiles / "pnpm").glob("*")):
        out += re.findall(r"^  /(?:@[^/]+/)?[^/]+/([^:/_(]+)[:_(]", path.read_text(), re.M)
    for path in sorted(pathlib.Path("/usr/share/nodejs").rglob("package.json")):
        try:
            out.append(json.loads(path.read_text())["version"])
        except (ValueError, KeyError, TypeError):
            continue
    out += osv_events(SHARED / "osv" / "Bitnami.zip")
    return [v for v in out if isinstance(v, str) and SEMVER.fullmatch(v)]


def write_large(name, pool, rng):
    if not pool:
        print(f"{name}: no source on this machine, left as it is")
        return
    versions = [rng.choice(pool) for _ in range(LARGE)]
    (HERE / "data" / f"{name}.txt").write_text("\n".join(versions) + "\n")
    print(name, len(versions), "lines from", len(set(pool)), "distinct versions")


def write(name, versions, rng):
    versions = list(versions)
    if len(versions) > LIMIT:
        versions = rng.sample(versions, LIMIT)
    (HERE / "data" / f"{name}.txt").write_text("\n".join(versions) + "\n")
    return versions


def main():
    global SHARED
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--shared", type=pathlib.Path, default=SHARED.parent, help="the shared folder (holds data/)")
    SHARED = ap.parse_args().shared / "data"
    rng = random.Random(20261208)
    (HERE / "data").mkdir(exist_ok=True)
    sets = {
        "pep440": write("pep440", pep440_versions(), rng),
        "debian": write("debian", debian_versions(), rng),
        "rpm": write("rpm", rpm_versions(rng), rng),
        "semver": write("semver", semver_versions(rng), rng),
        "maven": write("maven", maven_versions(rng), rng),
    }
    mix = [v for vs in sets.values() for v in vs[: LIMIT // len(sets)]]
    rng.shuffle(mix)
    write("generic", mix, rng)
    for name in list(sets) + ["generic"]:
        print(name, sum(1 for _ in open(HERE / "data" / f"{name}.txt")))
    write_large("debian-100k", debian_archive_versions(), random.Random(1))
    write_large("rpm-100k", osv_events(SHARED / "osv" / "AlmaLinux.zip"), random.Random(2))
    write_large("npm-100k", npm_versions(), random.Random(3))


if __name__ == "__main__":
    main()
