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
cmake "${args[@]}" "$@" >/dev/null
cmake --build "$root/$dir" -j "$jobs"
