#!/usr/bin/env bash
# Sets up, builds and starts VT4R. The desktop window is not built yet, so this
# renders a generated demo signal through the compressor with vt4r-render and
# tells you where the result is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/build.sh build
out=${VT4R_DEMO_DIR:-$root/build/demo}
mkdir -p "$out"
echo "run: the desktop application is not built yet; rendering a 10-second demo signal instead"
build/tools/render/vt4r-demo-signal "$out/demo-in.wav" 10
build/tools/render/vt4r-render "$out/demo-in.wav" "$out/demo-out.wav" -m "$out/demo-meter.csv"
build/tools/snapshot/vt4r-snapshot "$out/editor.png" --meter 0.4 2>/dev/null && echo "run: the editor as it will look: $out/editor.png" || true
echo "run: input $out/demo-in.wav, compressed output $out/demo-out.wav, needle positions $out/demo-meter.csv"
