"""Small helpers shared by the test modules."""
import json
import pathlib
import shutil
import subprocess
import sys

import pytest

# The canonical ecosystem names in their fixed order, written out by hand: the
# one copy the tests check the module's messages and lists against.
CANONICAL = [
    "generic", "semver", "pep440", "debian", "rpm", "ruby", "maven", "go", "npm", "nuget",
    "composer", "crates", "hex", "swift", "calver", "alpine", "docker", "conda", "arch", "gentoo",
    "cran", "spack", "dart", "julia", "terraform", "helm", "cpan", "nix", "homebrew", "freebsd",
]


def unsupported(name):
    """The message of an unknown ecosystem name (shown as the module shows it)."""
    return f"unsupported ecosystem '{name}'; expected one of: " + ", ".join(CANONICAL)


UNSUPPORTED_NOPE = unsupported("nope")


def fresh(text):
    """A str object of its own: identity checks cannot pass by interning, and
    dropping it really frees it."""
    return "".join(list(text))


def node_semver():
    """node and npm's semver package (installed by the test script under the
    virtual environment); skips the test when either is absent."""
    node = shutil.which("node")
    if node is None:
        pytest.skip("node is not installed")
    package = pathlib.Path(sys.prefix) / "node_semver" / "node_modules" / "semver"
    if not (package / "package.json").is_file():
        pytest.skip("npm's semver package is not installed")
    return node, package


def run_node_semver(program, job, timeout):
    """Runs a node program with the semver package as its argument and `job`
    as JSON on standard input; its JSON output."""
    node, package = node_semver()
    done = subprocess.run([node, "-e", program, str(package)], input=json.dumps(job), capture_output=True,
                          text=True, timeout=timeout, check=True)
    return json.loads(done.stdout)


def merge_sort(items, less):
    """The library's bottom-up stable merge sort, step for step, so that even
    an ordering that is not transitive yields the same permutation."""
    src, n, width = list(items), len(items), 1
    while width < n:
        dst = []
        for lo in range(0, n, 2 * width):
            a, b = src[lo:lo + width], src[lo + width:lo + 2 * width]
            if not a or not b or not less(b[0], a[-1]):
                dst += a + b
                continue
            i = j = 0
            while i < len(a) and j < len(b):
                if less(b[j], a[i]):
                    dst.append(b[j])
                    j += 1
                else:
                    dst.append(a[i])
                    i += 1
            dst += a[i:] + b[j:]
        src = dst
        width = n if width > n // 2 else width * 2
    return src
