"""Recreate the advisory sample bundled with the package, and the example lockfiles.

From the shared data beside the repository (../shared, or the folder given
with --shared or $QUORLEN_SHARED):
- copies three real lockfiles and the manifest beside one, bytes unchanged, into examples/;
- picks every advisory that names a package of those lockfiles, plus the
  advisories of a few widely used packages, from the PyPI records (CC BY
  4.0), Go.zip (CC BY 4.0) and crates.io.zip (CC0; its records adapted from
  GitHub's database under CC BY 4.0 are left out);
- writes them, bytes unchanged, as one zip per ecosystem in the all.zip
  layout (flat <ID>.json members) into quorlen/scan/data/, with a README.

The output depends only on the input: members sorted, fixed times and modes.

  python tools/make_sample.py [--shared DIR]
"""
from __future__ import annotations

import argparse
import json
import os
import pathlib
import re
import shutil
import sys
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[1]

# (file in examples/, its source under the shared data)
EXAMPLES = [
    ("requirements.txt", "lockfiles/requirements/pypa__pipenv__ecf984d__requirements.txt"),
    ("Cargo.lock", "lockfiles/cargo/BurntSushi__ripgrep__4de227f__Cargo.lock"),
    ("Cargo.toml", "manifests/cargo/BurntSushi__ripgrep__4de227f__Cargo.toml"),
    ("go.mod", "lockfiles/go/gin-gonic__gin__8374ed2__go.mod"),
]

# Packages whose advisories are added beyond those of the examples, so the
# sample holds a few hundred records of packages people meet often.
EXTRA_PACKAGES = {
    "PyPI": ["pillow", "flask", "werkzeug", "pyyaml", "cryptography", "lxml"],
    "Go": ["stdlib", "github.com/gin-gonic/gin"],
    "crates.io": ["openssl-src", "openssl", "hyper", "tokio", "time", "chrono", "smallvec"],
}

ZIP_TIME = (1980, 1, 1, 0, 0, 0)


def pep503(name: str) -> str:
    return re.sub(r"[-_.]+", "-", name).lower()


def requirement_names(text: str) -> set[str]:
    names = set()
    for line in text.splitlines():
        match = re.match(r"\s*([A-Za-z0-9][A-Za-z0-9._-]*)\s*==", line)
        if match:
            names.add(pep503(match.group(1)))
    return names


def go_modules(text: str) -> set[str]:
    """Module paths of require lines, in blocks or alone."""
    modules, block = set(), False
    for line in text.splitlines():
        words = line.split("//", 1)[0].split()
        if words[:2] == ["require", "("]:
            block = True
        elif block and words[:1] == [")"]:
            block = False
        elif block and len(words) >= 2:
            modules.add(words[0])
        elif words[:1] == ["require"] and len(words) >= 3:
            modules.add(words[1])
    return modules


def crate_names(text: str) -> set[str]:
    return set(re.findall(r'^name = "([^"]+)"', text, re.M))


def names_of(data: bytes, ecosystem: str) -> set[str]:
    record = json.loads(data)
    found = set()
    for entry in record.get("affected", []):
        package = entry.get("package") or {}
        if package.get("ecosystem", "").split(":")[0] == ecosystem and package.get("name"):
            name = package["name"]
            found.add(pep503(name) if ecosystem == "PyPI" else name)
    return found


def cc_by(data: bytes) -> bool:
    return (json.loads(data).get("database_specific") or {}).get("license") == "CC-BY-4.0"


def pypi_records(folder: pathlib.Path) -> dict[str, bytes]:
    records = {}
    for path in sorted(folder.rglob("*.json")):
        data = path.read_bytes()
        records[json.loads(data)["id"]] = data
    return records


def zip_records(path: pathlib.Path) -> dict[str, bytes]:
    with zipfile.ZipFile(path) as archive:
        return {info.filename[:-len(".json")]: archive.read(info)
                for info in archive.infolist() if info.filename.endswith(".json")}


def write_zip(path: pathlib.Path, records: dict[str, bytes]) -> None:
    with zipfile.ZipFile(path, "w") as archive:
        for rid in sorted(records):
            info = zipfile.ZipInfo(f"{rid}.json", date_time=ZIP_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = 0o644 << 16
            archive.writestr(info, records[rid], compresslevel=9)


README = """\
# The bundled advisory sample

A few hundred real OSV vulnerability records, so that a scan works on a fresh
installation before any download: `quorlen db build --sample`. They are the
records that name a package of the three lockfiles in the repository's
`examples/` folder, plus those of a few widely used packages ({extras}).
Each zip holds flat `<ID>.json` members, the layout osv.dev publishes as
`all.zip`; each member's bytes are the record as found in its source,
unchanged. `tools/make_sample.py` recreates these files.

| file | records | source repository (folder or branch) | commit | licence |
| --- | ---: | --- | --- | --- |
| PyPI.zip | {PyPI} | pypa/advisory-database, `vulns/` (converted from YAML to JSON without other change) | 3ccb612573e2511ab5cad7dafecd838605c80cda (2024-10-10) | CC BY 4.0 |
| Go.zip | {Go} | golang/vulndb, `data/osv/` | a752ea54fd1b989d208a270aeef772f55a36b87a (2026-08-20) | CC BY 4.0 |
| crates.io.zip | {crates} | rustsec/advisory-db, branch `osv`, `crates/` | 7fa931cb90251ad2affbddac32885f3ed29a63eb (2026-08-21) | CC0 1.0 |

## Licences and attribution

- **PyPI.zip**: from the Python Packaging Advisory Database
  (https://github.com/pypa/advisory-database) by the Python Packaging
  Authority's advisory database contributors, licensed Creative Commons
  Attribution 4.0 International (https://creativecommons.org/licenses/by/4.0/).
  Changes: converted from YAML to JSON; a selection of the records.
- **Go.zip**: from the Go vulnerability database
  (https://go.dev/security/vuln/database) by the Go Authors, licensed Creative
  Commons Attribution 4.0 International
  (https://creativecommons.org/licenses/by/4.0/). Records unchanged; a
  selection of them.
- **crates.io.zip**: from the RustSec Advisory Database
  (https://github.com/rustsec/advisory-db), dedicated to the public domain
  under CC0 1.0 Universal
  (https://creativecommons.org/publicdomain/zero/1.0/). The records that
  database adapts from the GitHub Advisory Database under CC BY 4.0 (marked
  `"license": "CC-BY-4.0"`) are not included.
"""


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shared", default=os.environ.get("QUORLEN_SHARED") or str(ROOT.parent / "shared"),
                        help="the shared data's folder (default: ../shared beside the repository)")
    parser.add_argument("--out", default=str(ROOT), help="the repository root to write into (default: this one)")
    args = parser.parse_args()
    data = pathlib.Path(args.shared) / "data"
    if not (data / "osv").is_dir() or not (data / "osv-pypi").is_dir():
        print(f"make_sample: the shared OSV data is absent under {data}", file=sys.stderr)
        return 1
    out = pathlib.Path(args.out)
    examples = out / "examples"
    examples.mkdir(parents=True, exist_ok=True)
    for name, source in EXAMPLES:
        shutil.copyfile(data / source, examples / name)

    wanted = {
        "PyPI": requirement_names((examples / "requirements.txt").read_text()),
        "Go": go_modules((examples / "go.mod").read_text()),
        "crates.io": crate_names((examples / "Cargo.lock").read_text()),
    }
    for ecosystem, extra in EXTRA_PACKAGES.items():
        wanted[ecosystem] |= {pep503(n) if ecosystem == "PyPI" else n for n in extra}
    sources = {
        "PyPI": pypi_records(data / "osv-pypi"),
        "Go": zip_records(data / "osv" / "Go.zip"),
        "crates.io": zip_records(data / "osv" / "crates.io.zip"),
    }
    target = out / "quorlen" / "scan" / "data"
    target.mkdir(parents=True, exist_ok=True)
    counts = {}
    for ecosystem, records in sources.items():
        chosen = {rid: body for rid, body in records.items()
                  if names_of(body, ecosystem) & wanted[ecosystem] and not cc_by(body)}
        write_zip(target / f"{ecosystem}.zip", chosen)
        counts[ecosystem] = len(chosen)
    extras = "; ".join(f"{eco}: {', '.join(names)}" for eco, names in EXTRA_PACKAGES.items())
    (target / "README.md").write_text(README.format(extras=extras, PyPI=counts["PyPI"], Go=counts["Go"],
                                                    crates=counts["crates.io"]))
    print(f"sample: {sum(counts.values())} records ({', '.join(f'{k} {v}' for k, v in counts.items())})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
