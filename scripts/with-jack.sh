#!/usr/bin/env bash
# Runs a command with a private JACK server (dummy back end, no sound card)
# and stops the server afterwards, whatever the command's outcome.
#
#   scripts/with-jack.sh ctest --test-dir build -L audio
#
# The server is named vt4r-test (vt4r-test-<pid> when that name is taken, say
# by a run in parallel) so that it never touches a server the user runs;
# clients find it through JACK_DEFAULT_SERVER. Set VT4R_JACK_LOG to a file to
# keep the server's output, VT4R_JACK_PERIOD to change its period (256 frames),
# VT4R_JACK_REALTIME=1 to run it with realtime scheduling.
set -u

if [ "$#" -eq 0 ]; then
    echo "usage: $0 command [args...]" >&2
    exit 2
fi

server=vt4r-test
log=${VT4R_JACK_LOG:-/dev/null}
period=${VT4R_JACK_PERIOD:-256}
# Realtime scheduling only on request (VT4R_JACK_REALTIME=1): it needs the
# privilege, and the tests do not need it.
realtime=--no-realtime
[ "${VT4R_JACK_REALTIME:-0}" = 1 ] && realtime=--realtime

if ! command -v jackd >/dev/null 2>&1; then
    echo "with-jack.sh: jackd not found (install jackd2)" >&2
    exit 2
fi

# Never let a client start a server of its own behind our back.
export JACK_NO_START_SERVER=1

server_up() {
    # jack_wait -c always exits 0; its answer is on standard output.
    [ "$(jack_wait -s "$server" -c 2>/dev/null)" = "running" ]
}

if server_up; then
    server=vt4r-test-$$
fi
export JACK_DEFAULT_SERVER=$server

# A small port table keeps the tests that fill it up quick.
jackd "$realtime" --port-max 256 -n "$server" -d dummy -r 48000 -p "$period" -C 2 -P 2 >"$log" 2>&1 &
jack_pid=$!

stop_server() {
    if kill -0 "$jack_pid" 2>/dev/null; then
        kill -TERM "$jack_pid" 2>/dev/null
        for _ in $(seq 1 50); do
            kill -0 "$jack_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$jack_pid" 2>/dev/null
    fi
    wait "$jack_pid" 2>/dev/null
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Poll rather than block, so that a server that died at start-up cannot hang
# the run.
up=0
for _ in $(seq 1 100); do
    kill -0 "$jack_pid" 2>/dev/null || break
    if server_up; then
        up=1
        break
    fi
    sleep 0.1
done
if [ "$up" -ne 1 ]; then
    echo "with-jack.sh: JACK server $server did not start" >&2
    exit 2
fi

"$@"
