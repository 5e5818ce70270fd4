#!/usr/bin/env bash
# Quick development loop: an incremental build of the extension into
# build/dev and the tests named in the arguments (default: all) run against
# it from the source tree, without installing anything. Tests of the
# installed command are left out; scripts/test.sh runs everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/common.sh
. "$root/scripts/common.sh"

build=$root/build/dev
if [ ! -f "$build/build.ninja" ]; then
    meson setup "$build" "$root" -Dbuildtype=release >/dev/null ||
        { tail -n 30 "$build/meson-logs/meson-log.txt" >&2; exit 1; }
fi
ninja -C "$build" >/dev/null || { ninja -C "$build" -j1 >&2; exit 1; }

# An importable package (no bytecode written into the source tree, whose
# files a wheel would pick up): the source tree's Python files beside the built
# extension.
site=$build/site
rm -rf "$site" && mkdir -p "$site/quorlen"
for f in "$root"/quorlen/*; do ln -s "$f" "$site/quorlen/"; done
ln -s "$build"/_quorlen*.so "$site/quorlen/"

cd "$root"
targets=(tests)
for arg in "$@"; do
    case "$arg" in -*) ;; *) [ -e "${arg%%::*}" ] && targets=() ;; esac
done
set +e
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$site" "$SYS_PY" -m pytest -q -p no:cacheprovider "${targets[@]}" \
    --ignore=tests/test_wheel.py \
    -k "not test_console_script_is_installed and not test_console_examples" "$@"
rc=$?
set -e
[ "$rc" -eq 5 ] && { echo "no tests were collected" >&2; exit 1; }
exit "$rc"
