#!/usr/bin/env bash
# Builds quorlen and runs the benchmark suite against the floors and the peers
# (Debian's python3-packaging, python3-semver, python3-apt, python3-rpm).
# Extra arguments go to bench/run.py (--quick, --rounds N).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
ensure_apt g++ meson ninja-build pkg-config python3-dev python3-venv python3-mesonpy \
    python3-packaging python3-semver python3-apt python3-rpm
ensure_venv
install_package
cd "$root"
exec "$VENV/bin/python" bench/run.py "$@"
