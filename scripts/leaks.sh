#!/usr/bin/env bash
# Builds the extension against Debian's debug interpreter (python3-dbg, which
# counts every reference) into build/leaks and runs tests/leakcheck.py: every
# module function and Version member, on success and error paths, many times;
# the total reference count and the resident memory must stay flat.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/common.sh
. "$root/scripts/common.sh"

ensure_apt g++ meson ninja-build pkg-config python3-dbg python3-dev

dbg_py=/usr/bin/python3-dbg
build=${LEAKS_BUILD:-$root/build/leaks}
native="$build.native.ini"
mkdir -p "$(dirname "$build")"
printf "[binaries]\npython = '%s'\n" "$dbg_py" >"$native"
if [ ! -f "$build/build.ninja" ]; then
    meson setup "$build" "$root" --native-file "$native" -Dbuildtype=debugoptimized >/dev/null ||
        { tail -n 30 "$build/meson-logs/meson-log.txt" >&2; exit 1; }
fi
ninja -C "$build" >/dev/null || { ninja -C "$build" -j1 >&2; exit 1; }

site="$build/site"
rm -rf "$site" && mkdir -p "$site/quorlen"
for f in "$root"/quorlen/*; do ln -s "$f" "$site/quorlen/"; done
ln -s "$build"/_quorlen*.so "$site/quorlen/"

cd "$root"
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$site" "$dbg_py" -X dev tests/leakcheck.py "$@"
