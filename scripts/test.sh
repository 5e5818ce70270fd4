#!/usr/bin/env bash
# Builds quorlen into a private virtual environment and runs the whole test
# suite. Installs what it lacks from apt (only when missing). Run as root on
# Debian 12 from anywhere; extra arguments go to pytest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/common.sh
. "$root/scripts/common.sh"

ensure_apt g++ meson ninja-build pkg-config python3-dev python3-venv python3-mesonpy \
    python3-pytest python3-hypothesis python3-mypy unicode-data maven
# The scanner reads YAML lockfiles; its tests validate JSON and SARIF against
# their schemas; the range tests take packaging as a reference; the optional
# Dask layer is tested on a local cluster.
ensure_apt python3-yaml python3-jsonschema python3-packaging python3-pandas python3-dask python3-distributed
# The HTML report is loaded in a headless browser.
ensure_apt chromium
# The installed-system tests build their inputs with the machine's own tools:
# zstd layers, an RPM database, a Go program, a section added to a program.
ensure_apt python3-zstandard rpm golang-go binutils
# The native orderings are checked against the ecosystems' own tools.
ensure_apt ruby r-base-core pacman-package-manager php-cli php-composer-semver nix-bin
# The Maven differential test compiles a small Java program against Maven's jar.
ensure_command javac default-jdk-headless
ensure_venv
ensure_reference_tools
install_package

cd "$root"
# Arguments that name tests replace the default of the whole folder.
targets=(tests)
for arg in "$@"; do
    case "$arg" in -*) ;; *) [ -e "${arg%%::*}" ] && targets=() ;; esac
done
set +e
"$VENV/bin/python" -m pytest -q -p no:cacheprovider "${targets[@]}" "$@"
rc=$?
set -e
# pytest's "no tests collected" is a failure here, never a silent pass.
[ "$rc" -eq 5 ] && { echo "no tests were collected" >&2; exit 1; }
exit "$rc"
