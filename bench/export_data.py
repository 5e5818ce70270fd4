"""Writes the benchmark workloads under bench/data/: real version lists taken
from sources on this machine where there are some, realistic generated ones
elsewhere. Run it again to refresh; the files are kept small.

  pep440.txt  PyPI releases named by the advisory records in ../shared/data/osv-pypi
  debian.txt  versions of the Debian packages apt knows (apt-cache dumpavail)
  rpm.txt     generated in the shapes of Red Hat family releases
  semver.txt  generated strict SemVer, a tenth with prereleases or build metadata
  maven.txt   generated in the shapes of Maven artifact versions
  generic.txt a mix of all the above
"""
import json
import pathlib
import random
import subprocess

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
OSV = ROOT.parent / "shared" / "data" / "osv-pypi"
LIMIT = 10_000


def pep440_versions():
    seen = {}
    for path in sorted(OSV.rglob("*.json")):
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


def write(name, versions, rng):
    versions = list(versions)
    if len(versions) > LIMIT:
        versions = rng.sample(versions, LIMIT)
    (HERE / "data" / f"{name}.txt").write_text("\n".join(versions) + "\n")
    return versions


def main():
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


if __name__ == "__main__":
    main()
