#!/usr/bin/env bash
# Sets up, builds and starts VT4R on the current X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh build
if [ -z "${DISPLAY:-}" ]; then
    echo "run: no X display (DISPLAY is not set); start VT4R from a desktop session: $root/build/app/fltk/vt4r" >&2
    exit 1
fi
exec build/app/fltk/vt4r "$@"
