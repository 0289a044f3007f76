#!/usr/bin/env bash
# Regenerates docs/vt4r.png (the running program with music playing in),
# docs/preferences.png (its Preferences dialog) and docs/vt4r-200.png (the program
# at 200 % zoom) on private X and JACK servers.
#   scripts/screenshots.sh        (after scripts/build.sh build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ "${VT4R_SHOTS_INNER:-}" != 1 ]; then
    export VT4R_SHOTS_INNER=1
    exec scripts/with-jack.sh scripts/with-xvfb.sh "$0"
fi
work=$(mktemp -d /tmp/vt4r-shots-XXXXXX)
trap 'kill $app $player 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/config/VT4R" "$work/run" docs
printf '[audio]\ndriver=1\nsr=48000\niovs=256\nsigvs=32\n' >"$work/config/VT4R/settings.ini"
XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run ${VT4R_BUILD:-build}/app/fltk/vt4r >/dev/null 2>&1 &
app=$!
${VT4R_BUILD:-build}/tests/gui/vt4r-jack-player music >/dev/null 2>&1 &
player=$!
for _ in $(seq 1 100); do
    win=$(xdotool search --onlyvisible --name '^VT4R$' 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.1
done
sleep 4
import -window "$win" docs/vt4r.png
xdotool mousemove --window "$win" 20 13 click 1 2>/dev/null
xdotool key Down Return 2>/dev/null
for _ in $(seq 1 50); do
    prefs=$(xdotool search --onlyvisible --name '^Preferences$' 2>/dev/null | head -1 || true)
    [ -n "$prefs" ] && break
    sleep 0.1
done
sleep 0.5
import -window "$prefs" docs/preferences.png

# Again with the View menu's 200 % kept in the settings.
kill $app
wait $app 2>/dev/null || true
printf '[view]\nscale=2\n' >>"$work/config/VT4R/settings.ini"
XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run ${VT4R_BUILD:-build}/app/fltk/vt4r >/dev/null 2>&1 &
app=$!
for _ in $(seq 1 100); do
    win=$(xdotool search --onlyvisible --name '^VT4R$' 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.1
done
sleep 4
import -window "$win" docs/vt4r-200.png
echo "screenshots: docs/vt4r.png docs/preferences.png docs/vt4r-200.png"
