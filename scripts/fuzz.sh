#!/usr/bin/env bash
# Builds the coverage-guided fuzz targets of fuzz/ against the C++ core (no
# Python) with libFuzzer, ASan and UBSan, and runs each for FUZZ_SECONDS
# seconds (default 30). Any crash, sanitizer report, broken law or timeout
# fails the script; the input that did it is left under build/fuzz/crashes/.
# Arguments name the targets to run (default: all), e.g. `fuzz_purl`.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/common.sh
. "$root/scripts/common.sh"

ensure_apt clang-14 libfuzzer-14-dev libclang-rt-14-dev

seconds=${FUZZ_SECONDS:-30}
build=${FUZZ_BUILD:-$root/build/fuzz}
jobs=${FUZZ_JOBS:-2}
cxx=clang++-14
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -I"$root/src" -I"$root/fuzz"
       -fno-sanitize-recover=all -Wall -Wextra)
mkdir -p "$build/obj" "$build/bin" "$build/logs" "$build/crashes"

# The core units are the ones meson.build lists for the core library, read
# afresh each time so that the fuzzers always link what the extension links.
mapfile -t core < <(sed -n '/^core_sources = files(/,/^)/p' "$root/meson.build" | grep -o "'src/[^']*\.cpp'" | tr -d "'")
[ ${#core[@]} -gt 0 ] || { echo "no core sources found in meson.build" >&2; exit 1; }

# An object is rebuilt when its source or any header is newer than it.
stale=()
for src in "${core[@]}"; do
    obj="$build/obj/$(echo "$src" | tr / _).o"
    if [ ! -f "$obj" ] || [ "$root/$src" -nt "$obj" ] ||
       [ -n "$(find "$root/src" "$root/fuzz" -name '*.hpp' -newer "$obj" -print -quit)" ]; then
        stale+=("$src")
    fi
done
if [ ${#stale[@]} -gt 0 ]; then
    echo "compiling ${#stale[@]} core units" >&2
    running=0
    for src in "${stale[@]}"; do
        obj="$build/obj/$(echo "$src" | tr / _).o"
        ( "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link,address,undefined -c "$root/$src" -o "$obj" ||
          { rm -f "$obj"; exit 1; } ) &
        running=$((running + 1))
        if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
    done
    wait
    for src in "${stale[@]}"; do
        [ -f "$build/obj/$(echo "$src" | tr / _).o" ] || { echo "compile failed: $src" >&2; exit 1; }
    done
fi
objs=()
for src in "${core[@]}"; do objs+=("$build/obj/$(echo "$src" | tr / _).o"); done

all_targets=()
for f in "$root"/fuzz/fuzz_*.cpp; do all_targets+=("$(basename "$f" .cpp)"); done
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

for t in "${targets[@]}"; do
    bin="$build/bin/$t"
    if [ ! -x "$bin" ] || [ -n "$(find "$root/fuzz" "${objs[@]}" -newer "$bin" -print -quit)" ]; then
        echo "linking $t" >&2
        "$cxx" "${flags[@]}" -fsanitize=fuzzer,address,undefined "$root/fuzz/$t.cpp" "${objs[@]}" -o "$bin"
    fi
done

failed=()
for t in "${targets[@]}"; do
    name=${t#fuzz_}
    # New inputs go to a scratch copy; the committed seeds are only read.
    mkdir -p "$build/corpus/$name"
    dict=()
    [ -f "$root/fuzz/$name.dict" ] && dict=(-dict="$root/fuzz/$name.dict")
    log="$build/logs/$t.log"
    echo "== $t: ${seconds}s" >&2
    set +e
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$build/bin/$t" "${dict[@]}" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" \
        "$build/corpus/$name" "$root/fuzz/corpus/$name" >"$log" 2>&1
    rc=$?
    set -e
    # The last status line holds the totals: executions, coverage, features.
    grep -E '^#[0-9]+' "$log" | tail -n 1 >&2 || true
    grep -E '^stat::number_of_executed_units' "$log" >&2 || true
    if [ "$rc" -ne 0 ]; then
        echo "FAILED: $t (exit $rc); log $log" >&2
        grep -E 'ERROR|law broken|runtime error|Test unit written' "$log" | head -n 5 >&2 || true
        failed+=("$t")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets that failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran ${seconds}s without a finding" >&2
