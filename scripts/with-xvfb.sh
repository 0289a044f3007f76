#!/usr/bin/env bash
# Runs a command with a private X server (Xvfb, 1920x1080x24) and stops the
# server afterwards, whatever the command's outcome.
#
#   scripts/with-xvfb.sh ctest --test-dir build -L gui
#
# The display number is chosen by Xvfb itself (-displayfd), so runs in
# parallel and a user's own display are never touched. DISPLAY is exported
# for the command. Set VT4R_XVFB_LOG to a file to keep the server's output.
set -u

if [ "$#" -eq 0 ]; then
    echo "usage: $0 command [args...]" >&2
    exit 2
fi
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "with-xvfb.sh: Xvfb not found (install xvfb)" >&2
    exit 2
fi

log=${VT4R_XVFB_LOG:-/dev/null}
fdfile=$(mktemp)
# -nolisten tcp: local clients only; -noreset: the server outlives its last client.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$fdfile" >"$log" 2>&1 &
xvfb_pid=$!

stop_server() {
    if kill -0 "$xvfb_pid" 2>/dev/null; then
        kill -TERM "$xvfb_pid" 2>/dev/null
        for _ in $(seq 1 50); do
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$xvfb_pid" 2>/dev/null
    fi
    wait "$xvfb_pid" 2>/dev/null
    rm -f "$fdfile"
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

display=
for _ in $(seq 1 100); do
    kill -0 "$xvfb_pid" 2>/dev/null || break
    display=$(tr -d '[:space:]' <"$fdfile")
    [ -n "$display" ] && break
    sleep 0.1
done
if [ -z "$display" ]; then
    echo "with-xvfb.sh: Xvfb did not start" >&2
    exit 2
fi
export DISPLAY=:$display

"$@"
