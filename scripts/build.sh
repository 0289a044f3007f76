#!/usr/bin/env bash
# Configures and builds one build directory.
#   scripts/build.sh DIR [address|thread] [extra cmake args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
sanitize=${2:-}
shift $(( $# > 2 ? 2 : $# ))
jobs=$(nproc 2>/dev/null || echo 2)
args=(-S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVT4R_SANITIZE="$sanitize" -DVT4R_WERROR=ON)
[ -n "$sanitize" ] && args+=(-DVT4R_BUILD_BENCH=OFF)
# The signal path's inline exp and log read musl's tables (cmake/ExactMath.cmake). The sanitizer
# builds keep the library's calls: musl's C is not ours to instrument.
if [ -z "$sanitize" ] && [[ " $* " != *" -DVT4R_MUSL_SOURCE_DIR="* ]]; then
    args+=(-DVT4R_MUSL_SOURCE_DIR="$("$root/scripts/fetch-source.sh" musl=1.2.3-1 "$root/build-deps/src")")
fi
cmake "${args[@]}" "$@" >/dev/null
cmake --build "$root/$dir" -j "$jobs"
