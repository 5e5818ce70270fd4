"""Advice on the shared lockfiles that have their manifests beside them, each
case checked by hand against the manifest, the lockfile and the records in
../shared/data (the reasoning is in the comment of each case)."""

import shutil

import pytest

from quorlen.scan import Database, scan_paths

from scan_records import LOCKFILES, SHARED, need_shared, shared_db  # noqa: F401  (a fixture)

MANIFESTS = SHARED / "manifests"


def project(tmp_path, folder, prefix):
    """The lockfile and its manifest under their real names in one folder,
    as a checkout holds them."""
    need_shared()
    where = tmp_path / prefix
    where.mkdir()
    for source in (LOCKFILES / folder, MANIFESTS / folder):
        for path in source.glob(prefix + "__*"):
            shutil.copy(path, where / path.name[len(prefix) + 2:])
    return where


def advice_of(db_path, where, name):
    with Database(db_path, readonly=True) as db:
        result = scan_paths([str(where)], db=db)
    found = {f.advice for f in result.findings if f.package.name.lower() == name}
    assert len(found) == 1, found
    return found.pop()


# (folder, prefix, package, kind, fields the advice must hold)
CASES = [
    # requests 2.23.0; pyproject.toml line 30 declares "^2.18" (>=2.18,<3). PYSEC-2023-74
    # (2.3.0 to 2.31.0) is the last advisory; 2.31.0 is inside the caret.
    ("poetry", "python-poetry__poetry__15d0130", "requests", "lockfile",
     dict(version="2.31.0", declared="^2.18", line=30, command="poetry update requests")),
    # regex 1.2.1; Cargo.toml line 14 declares "1.0.5", Cargo's caret: >=1.0.5,<2.
    # RUSTSEC-2022-0013 is fixed in 1.5.5, inside it.
    ("cargo", "BurntSushi__ripgrep__4de227f", "regex", "lockfile",
     dict(version="1.5.5", declared="1.0.5", line=14, command="cargo update -p regex")),
    # wheel 0.36.2; "wheel<1.0.0,>=0.36.2" in [project] dependencies. PYSEC-2022-43017
    # affects <0.38.1; 0.38.1 is below 1.0.0.
    ("pdm", "pdm-project__pdm__70639df", "wheel", "lockfile",
     dict(version="0.38.1", declared="<1.0.0,>=0.36.2", command="pdm update wheel")),
    # black 19.10b0; line 71 declares "^19.10b0" (<20). PYSEC-2024-48 affects every
    # version below 24.3.0, so nothing the caret admits is clean: the requirement
    # moves to 24.3.0 in the same style, which admits no affected version.
    ("poetry", "python-poetry__poetry__15d0130", "black", "requirement",
     dict(version="24.3.0", declared="^19.10b0", line=71, requirement="^24.3.0")),
    # idna 2.9 comes from requests, whose entry in poetry.lock requires ">=2.5,<3";
    # PYSEC-2024-60 affects up to 3.7: refreshing idna alone cannot reach it.
    ("poetry", "python-poetry__poetry__15d0130", "idna", "transitive",
     dict(version="3.7", via=("requests", "idna"), lockfile_alone=False)),
    # urllib3 1.25.9: requests requires "<1.26"; the fix is 1.26.18.
    ("poetry", "python-poetry__poetry__15d0130", "urllib3", "transitive",
     dict(version="1.26.18", lockfile_alone=False)),
    # certifi 2020.4.5.1: requests requires ">=2017.4.17", which admits the fix
    # 2023.7.22 (PYSEC-2023-135): the lockfile alone can move it.
    ("poetry", "python-poetry__poetry__15d0130", "certifi", "transitive",
     dict(version="2023.7.22", via=("requests", "certifi"), lockfile_alone=True, command="poetry update certifi")),
    # crossbeam-channel 0.3.9 comes from the workspace member ignore (Cargo.toml
    # declares "ignore" by path); Cargo.lock keeps no requirements, so whether
    # "ignore" allows 0.4.3 (RUSTSEC-2022-0019) is not known.
    ("cargo", "BurntSushi__ripgrep__4de227f", "crossbeam-channel", "transitive",
     dict(version="0.4.3", via=("ignore", "crossbeam-channel"), lockfile_alone=None)),
]


@pytest.mark.parametrize("folder, prefix, name, kind, fields", CASES, ids=[f"{c[3]}-{c[2]}" for c in CASES])
def test_advice_on_real_projects(shared_db, tmp_path, folder, prefix, name, kind, fields):  # noqa: F811
    advice = advice_of(shared_db, project(tmp_path, folder, prefix), name)
    assert advice is not None and advice.kind == kind, advice
    for field, value in fields.items():
        assert getattr(advice, field) == value, (field, advice)


def test_a_declared_range_without_lockfile_gets_its_vulnerable_part_and_a_clean_requirement(shared_db, tmp_path):  # noqa: F811
    # requirements-dev.txt declares flask ">1.0,<2.0". PYSEC-2023-62 affects <2.2.5 and
    # 2.3.0 to 2.3.2, so the whole declared range is vulnerable; the smallest clean
    # release is 2.2.5, and a single interval that excludes 2.3.0 and 2.3.1 is
    # ">=2.2.5,<2.3.0" (pip's specifiers have no "||").
    need_shared()
    path = LOCKFILES / "requirements" / "psf__requests__3ed6007__requirements-dev.txt"
    with Database(shared_db, readonly=True) as db:
        result = scan_paths([str(path)], db=db)
    advice = {f.advice for f in result.findings if f.package.name.lower() == "flask"}.pop()
    assert advice is not None and advice.kind == "requirement"
    assert (advice.declared, advice.vulnerable, advice.requirement) == (">1.0,<2.0", ">1.0,<2.0", ">=2.2.5,<2.3.0")
