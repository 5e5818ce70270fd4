"""Under a tight address-space limit every public function and Version member
either returns or raises MemoryError: the process never aborts, and a normal
call right after still works."""

import os
import subprocess
import sys
import textwrap

import pytest

import quorlen

# Run in a child process: the limit is set there, after the large inputs are
# built and before any call. Each line of output names one finished call.
CHILD = textwrap.dedent(
    r'''
    import resource, sys
    import quorlen as q

    N = int(sys.argv[1])
    big = "1." * N + "1"                  # a generic text with N segments
    big_maven = "1.2" * N                 # a long, flat Maven item list
    big_semver = "1.0.0-" + "a." * N + "a"  # N prerelease identifiers
    pairs = [(big, big + "1")] * 4
    V = q.Version
    small = V("1.2.3")
    large = V(big)
    affected = {"package": {"ecosystem": "PyPI", "name": "x"},
                "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "0"}, {"fixed": big}]}]}

    CALLS = {
        "Version": lambda: (V(big_maven, "maven"), V(big_maven * 4)),
        "UnknownEcosystemError": lambda: V(big, big),
        "version": lambda: q.version(big_maven, "maven"),
        "compare": lambda: q.compare(big_maven, big_maven + "1", ecosystem="maven"),
        "compare_semver_strict": lambda: q.compare_semver_strict(big_semver, big_semver),
        "sort_versions": lambda: q.sort_versions([big_maven, big_maven + "1"], "maven"),
        "batch_compare": lambda: q.batch_compare([(big_maven, big_maven + "1")], "maven"),
        "gt": lambda: q.gt(big_maven, big_maven, "maven"),
        "ge": lambda: q.ge(big_maven, big_maven, "maven"),
        "gte": lambda: q.gte(big_maven, big_maven, "maven"),
        "lt": lambda: q.lt(big_maven, big_maven, "maven"),
        "le": lambda: q.le(big_maven, big_maven, "maven"),
        "lte": lambda: q.lte(big_maven, big_maven, "maven"),
        "eq": lambda: q.eq(big_maven, big_maven, "maven"),
        "ne": lambda: q.ne(big_maven, big_maven, "maven"),
        "max_version": lambda: q.max_version([big_maven, big_maven], "maven"),
        "min_version": lambda: q.min_version([big_maven, big_maven], "maven"),
        "stable_versions": lambda: q.stable_versions([big, big_maven], "maven"),
        "latest_stable": lambda: q.latest_stable([big, big_maven], "maven"),
        "satisfies": lambda: q.satisfies(big_maven, ">=" + big_maven, "maven"),
        "range_contains": lambda: q.range_contains(big_maven, "<" + big_maven, "maven"),
        "ranges_intersect": lambda: q.ranges_intersect(">=" + big_maven, "<" + big_maven, "maven"),
        "range_intersection": lambda: q.range_intersection(">=" + big_maven, "<" + big_maven + "1", "maven"),
        "range_union": lambda: q.range_union(">=" + big_maven, "<" + big_maven, "maven"),
        "range_subset": lambda: q.range_subset(">=" + big_maven + "1", ">=" + big_maven, "maven"),
        "range_complement": lambda: q.range_complement(" || ".join([">=" + big_maven] * 4), "maven"),
        "range_difference": lambda: q.range_difference(">=" + big_maven, "<" + big_maven + "1", "maven"),
        "range_simplify": lambda: q.range_simplify(" || ".join([">=" + big_maven] * 4), "maven"),
        "osv_range": lambda: q.osv_range(affected, "maven"),
        "parse_purl": lambda: q.parse_purl("pkg:maven/" + "a/" * N + "b@" + big),
        "build_purl": lambda: q.build_purl("maven", big, big, "a/" * N, big, big),
        "purl_ecosystem": lambda: q.purl_ecosystem("pkg:maven/" + "a/" * N + "b"),
        "build_vers": lambda: q.build_vers("maven", ">=" + big + "|<" + big),
        "vers_contains": lambda: q.vers_contains("vers:maven/>=" + big_maven, big_maven),
        "osv_affected": lambda: q.osv_affected(big_maven, affected, "maven"),
        "bump_major": lambda: q.bump_major(big),
        "bump_minor": lambda: q.bump_minor(big),
        "bump_patch": lambda: q.bump_patch(big),
        "bump_prerelease": lambda: q.bump_prerelease(big, big),
        "next_stable": lambda: q.next_stable(big),
        "ecosystems": lambda: [q.ecosystems() for _ in range(4)],
        "osv_ecosystem": lambda: q.osv_ecosystem(big),
        # Version members, on an instance with N segments
        "Version.parse": lambda: V.parse(big_maven, "maven"),
        "Version.try_parse": lambda: V.try_parse(big_maven, "maven"),
        "Version.from_dict": lambda: V.from_dict({"raw": big_maven, "ecosystem": "maven"}),
        "Version.segments": lambda: large.segments(),
        "Version.release": lambda: large.release(),
        "Version.to_dict": lambda: [large.to_dict() for _ in range(8)],
        "Version.sort_key": lambda: large.sort_key(),
        "Version.__reduce__": lambda: [large.__reduce__() for _ in range(8)],
        "Version.compare": lambda: large.compare(big_maven, "maven"),
        "Version.__str__": lambda: [str(large) for _ in range(8)],
        "Version.__repr__": lambda: [repr(large) for _ in range(8)],
        "Version.__hash__": lambda: hash(V(big_maven, "maven")),
        "Version.__eq__": lambda: large == big_maven,
        "Version.__lt__": lambda: large < big,
        "Version.__getitem__": lambda: [large[i] for i in range(N)],
        "Version.__len__": lambda: len(large),
        "Version.__bool__": lambda: bool(large),
        "Version.properties": lambda: [(large.raw, large.build, large.major, large.ecosystem, large.epoch,
                                        large.is_prerelease, large.is_postrelease, large.is_stable,
                                        large.count, large.minor, large.patch) for _ in range(8)],
    }
    if sys.argv[2] == "names":
        print("\n".join(CALLS))
        sys.exit(0)

    with open("/proc/self/status") as f:
        vm = next(int(line.split()[1]) for line in f if line.startswith("VmSize:")) * 1024
    limit = vm + int(sys.argv[2]) * 2**20
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    for name, call in CALLS.items():
        try:
            call()
            print(name, "returned", flush=True)
        except MemoryError:
            print(name, "MemoryError", flush=True)
        except (ValueError, TypeError) as e:
            print(name, type(e).__name__, flush=True)
    # A normal call after all of them.
    assert q.compare("1.0", "2.0") == -1 and str(V("1.2.3", "semver")) == "1.2.3"
    print("after: ok", flush=True)
    '''
)


def run_child(*args):
    # Started away from the source tree, whose quorlen/ has no extension.
    return subprocess.run([sys.executable, "-c", CHILD, *map(str, args)], capture_output=True, text=True, timeout=600,
                          cwd="/")


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the address sanitizer reserves more address space than any useful limit")
def test_no_call_aborts_under_an_address_space_limit():
    result = run_child(1_000_000, 48)
    assert result.returncode == 0, result.stderr[-2000:]
    lines = result.stdout.splitlines()
    assert lines[-1] == "after: ok"
    outcomes = dict(line.rsplit(" ", 1) for line in lines[:-1])
    # The inputs outgrow the limit: some calls must have hit it.
    assert "MemoryError" in outcomes.values()
    assert set(outcomes.values()) <= {"returned", "MemoryError", "ValueError", "TypeError", "UnknownEcosystemError"}


def test_the_memory_check_covers_every_public_name_and_member():
    names = set(run_child(1, "names").stdout.split())
    assert set(quorlen.__all__) <= names
    members = {n for n in dir(quorlen.Version) if not n.startswith("_")} - {
        "raw", "build", "major", "minor", "patch", "ecosystem", "epoch", "is_prerelease", "is_postrelease",
        "is_stable", "count"}
    assert {"Version." + m for m in members} <= names
