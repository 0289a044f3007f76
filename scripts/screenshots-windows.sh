#!/usr/bin/env bash
# Regenerates docs/vt4r-windows.png (vt4r.exe under Wine, music playing in through DirectSound),
# docs/preferences-windows.png (its Preferences dialog) and docs/installer-windows.png (the
# installer's components page), on private JACK, X and Wine.
#   scripts/screenshots-windows.sh        (after scripts/build-windows.sh build-win and scripts/build.sh build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ "${VT4R_SHOTS_INNER:-}" != 1 ]; then
    export VT4R_SHOTS_INNER=1
    exec scripts/with-jack.sh scripts/with-wine.sh "$0"
fi
exe=${VT4R_WINDOWS_BUILD:-build-win}/app/win32/vt4r.exe
settings=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)/AppData/Local/VT4R
mkdir -p "$settings" docs
printf '[audio]\r\ndriver=0\r\nsr=48000\r\niovs=512\r\nsigvs=32\r\n' >"$settings/settings.ini"
wine "$exe" >/dev/null 2>&1 &
app=$!
${VT4R_BUILD:-build}/tests/gui/vt4r-jack-player --ports '^vt4r-wine[^:]*:' music >/dev/null 2>&1 &
player=$!
trap 'kill $player 2>/dev/null; wine taskkill /im vt4r.exe >/dev/null 2>&1; wait $app 2>/dev/null' EXIT
for _ in $(seq 1 300); do
    win=$(xdotool search --onlyvisible --name '^VT4R$' 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.1
done
# Under Wine the stream opens some seconds after the window; then the needle moves.
sleep 25
import -window "$win" docs/vt4r-windows.png
xdotool key alt+f 2>/dev/null
xdotool key Return 2>/dev/null
for _ in $(seq 1 300); do
    prefs=$(xdotool search --onlyvisible --name '^Preferences$' 2>/dev/null | head -1 || true)
    [ -n "$prefs" ] && break
    sleep 0.1
done
sleep 1
import -window "$prefs" docs/preferences-windows.png
xdotool key Escape 2>/dev/null

# The installer, past its licence page ("I Agree" is its default button), then left unfinished.
wine "${VT4R_WINDOWS_BUILD:-build-win}/VT4R-1.1.2-setup.exe" >/dev/null 2>&1 &
setup=$!
for _ in $(seq 1 300); do
    inst=$(xdotool search --onlyvisible --name '^VT4R 1.1.2 Setup' 2>/dev/null | head -1 || true)
    [ -n "$inst" ] && break
    sleep 0.1
done
[ -n "$inst" ] || { echo "screenshots: the installer showed no window" >&2; exit 1; }
sleep 1
xdotool windowactivate --sync "$inst" key Return 2>/dev/null || xdotool key Return 2>/dev/null
sleep 1
import -window "$inst" docs/installer-windows.png
wine taskkill /f /im VT4R-1.1.2-setup.exe >/dev/null 2>&1 || true
wait "$setup" 2>/dev/null || true
echo "screenshots: docs/vt4r-windows.png docs/preferences-windows.png docs/installer-windows.png"
