#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) in build-fuzz with clang and runs each for SECONDS
# (default 60) on a copy of its seeds in fuzz/corpus/<name>/, which stay as committed.
#   scripts/fuzz.sh [SECONDS] [NAME...]
# Exits non-zero when any fuzzer finds a crash, a leak, a timeout or an out-of-memory input;
# the reproducer is kept in build-fuzz/findings/<name>/ (run the fuzzer on it to see again).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
names=("$@")
if [ "${#names[@]}" -eq 0 ]; then
    names=(ini settings state png text midi process stream param_text lv2_state vst3_state clap_state)
fi

scripts/setup.sh

build="$root/build-fuzz"
jobs=$(nproc 2>/dev/null || echo 2)
# musl's tables give the signal path its inline exp and log, and with them the four-wide batch
# (framework/inline_math.h), so the fuzzers run the code the plug-in ships.
musl=$(scripts/fetch-source.sh musl=1.2.3-1 "$root/build-deps/src")
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVT4R_BUILD_FUZZ=ON \
    -DVT4R_BUILD_TESTS=OFF -DVT4R_BUILD_BENCH=OFF -DVT4R_MUSL_SOURCE_DIR="$musl" >/dev/null
cmake --build "$build" --target vt4r_fuzz -j "$jobs" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=()
for name in "${names[@]}"; do
    findings="$build/findings/$name"
    log="$build/findings/$name.log"
    rm -rf "$findings" "$work/$name"
    mkdir -p "$findings" "$work/$name"
    cp -R "$root/fuzz/corpus/$name/." "$work/$name/"
    # A 2 GiB resident limit and a 512 MiB limit on any single allocation: a length field that
    # asks for more is a finding, not a reason to swap.
    status=0
    "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work/$name" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "$status" -ne 0 ]; then
        echo "fuzz: $name FAILED (exit $status); log $log" >&2
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*check failed)' "$log" | head -n 5 >&2 || true
        for artifact in "$findings"/*; do
            [ -f "$artifact" ] && echo "fuzz: $name reproducer: $artifact" >&2
        done
        failed+=("$name")
    else
        echo "fuzz: $name clean (${runs:-?} runs in ${seconds} s)"
    fi
done

if [ "${#failed[@]}" -ne 0 ]; then
    echo "fuzz: findings in ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: all clean"
