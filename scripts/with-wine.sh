#!/usr/bin/env bash
# Runs a command with a private Wine: its own prefix in a temporary folder, its own X server
# (scripts/with-xvfb.sh), no installer dialogs, no crash debugger; the Wine server is stopped and the
# prefix removed afterwards, whatever the command's outcome.
#
#   scripts/with-wine.sh ctest --test-dir build-win -L windows
#
# Set VT4R_WINEPREFIX to a folder to keep the prefix between runs (a warm start takes about 1.5 s,
# a new prefix about 10 s); it is created when missing and never removed.
#
# Under scripts/with-jack.sh (JACK_DEFAULT_SERVER set) Wine's sound reaches that JACK server: ALSA's
# default device becomes the server through ALSA's JACK plug-in (scripts/wine-audio/asound.conf), so
# DirectSound and WASAPI list it. Without a server Wine has no sound device.
#
#   scripts/with-jack.sh scripts/with-wine.sh ctest --test-dir build-win -L windows
set -u

if [ "$#" -eq 0 ]; then
    echo "usage: $0 command [args...]" >&2
    exit 2
fi
if ! command -v wine >/dev/null 2>&1; then
    echo "with-wine.sh: wine not found (install wine and wine64)" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/vt4r-wine.XXXXXX")
export WINEPREFIX=${VT4R_WINEPREFIX:-$work/prefix}
# Wine's server socket lives under TMPDIR: a private one keeps runs in parallel apart.
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR" "$WINEPREFIX"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs, no menu entries written into the user's desktop, and a
# crashing program ends instead of waiting in the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"

if [ -n "${JACK_DEFAULT_SERVER:-}" ]; then
    alsa_conf=/usr/share/alsa/alsa.conf
    if [ ! -f "$alsa_conf" ] || [ ! -f /usr/lib/x86_64-linux-gnu/alsa-lib/libasound_module_pcm_jack.so ]; then
        echo "with-wine.sh: no route from Wine to JACK (install libasound2-plugins)" >&2
        exit 2
    fi
    # The machine's configuration first, ours over it: only the default device changes.
    export ALSA_CONFIG_PATH=$alsa_conf:$here/wine-audio/asound.conf
    # Wine would pick PulseAudio first where a server answers.
    export PULSE_SERVER=unix:/nonexistent
fi

cleanup() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

run_in_wine() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot --init >/dev/null 2>&1 || {
            echo "with-wine.sh: could not create the Wine prefix $WINEPREFIX" >&2
            return 2
        }
        # Without a window manager, closing a dialog or a program stalls about 2 s unless Wine
        # manages its windows itself.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
    fi
    # One server for the whole command: by default it exits a few seconds after its last client,
    # and a program started just then is cut off ("recvmsg: Connection reset by peer").
    wineserver -p || {
        echo "with-wine.sh: could not start the Wine server" >&2
        return 2
    }
    # Wine's own services start once, here, rather than in two programs started at the same moment.
    wineboot >/dev/null 2>&1
    "$@"
}
export -f run_in_wine

if [ -n "${DISPLAY:-}" ] && [ "${VT4R_WINE_OWN_DISPLAY:-1}" = 0 ]; then
    run_in_wine "$@"
else
    "$here/with-xvfb.sh" bash -c 'run_in_wine "$@"' run_in_wine "$@"
fi
