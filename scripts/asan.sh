#!/usr/bin/env bash
# Builds the extension with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang-14) into build/asan and runs the whole test suite against it under
# Debian's /usr/bin/python3, with the ASan runtime preloaded. Any sanitizer
# report stops the run and fails the script. Extra arguments go to pytest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/common.sh
. "$root/scripts/common.sh"

ensure_apt clang-14 libclang-rt-14-dev meson ninja-build pkg-config python3-dev \
    python3-pytest python3-hypothesis

build=${ASAN_BUILD:-$root/build/asan}
native="$build.native.ini"
mkdir -p "$(dirname "$build")"
printf "[binaries]\npython = '%s'\n" "$SYS_PY" >"$native"
if [ ! -f "$build/build.ninja" ]; then
    # The extension leaves the sanitizer runtime unresolved (b_lundef=false):
    # the interpreter is not instrumented, so the runtime comes from LD_PRELOAD.
    CC=clang-14 CXX=clang++-14 meson setup "$build" "$root" --native-file "$native" \
        -Dbuildtype=debugoptimized -Db_sanitize=address,undefined -Db_lundef=false \
        "-Dcpp_args=['-fno-sanitize-recover=all', '-fno-omit-frame-pointer']" >/dev/null || { cat "$build/meson-logs/meson-log.txt" | tail -n 30 >&2; exit 1; }
fi
ninja -C "$build" >/dev/null || { ninja -C "$build" -j1 >&2; exit 1; }

# An importable package: the pure-Python files of the source tree next to the
# sanitized extension.
site="$build/site"
rm -rf "$site" && mkdir -p "$site/quorlen"
for f in "$root"/quorlen/*; do ln -s "$f" "$site/quorlen/"; done
ln -s "$build"/_quorlen*.so "$site/quorlen/"

runtime=$(clang++-14 -print-file-name=libclang_rt.asan-x86_64.so)
[ -f "$runtime" ] || { echo "ASan runtime not found" >&2; exit 1; }

cd "$root"
set +e
# The test of hashes across processes starts interpreters with an empty
# environment, which cannot load this build without the preloaded runtime.
# The installed `quorlen` command does not exist here (nothing is installed);
# the tool itself is covered through `python -m quorlen`.
# The interpreter's own allocations at exit are not ours to judge, hence no
# leak detection here (scripts/leaks.sh checks references instead).
# The index fault tests, the installed-system and image tests and the browser
# test exercise the scanner's Python, SQLite, archives, compilers and a
# browser, each many seconds under the sanitizers for no C++ of their own;
# scripts/test.sh runs them.
LD_PRELOAD="$runtime" \
ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$site" PYTHONMALLOC=malloc \
    "$SYS_PY" -m pytest -q -p no:cacheprovider tests \
    --deselect tests/test_version.py::test_hash_is_the_same_in_every_process \
    --ignore=tests/test_wheel.py \
    --ignore=tests/scan/test_index_faults.py --ignore=tests/scan/test_installed_image.py \
    --ignore=tests/scan/test_installed_readers.py --ignore=tests/scan/test_reports.py \
    -k "not test_console_script_is_installed and not test_console_examples" "$@"
rc=$?
set -e
[ "$rc" -eq 5 ] && { echo "no tests were collected" >&2; exit 1; }
exit "$rc"
