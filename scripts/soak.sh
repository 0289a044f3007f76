#!/usr/bin/env bash
# Soak run: the program for a while (600 s unless given) on a private JACK
# server at 64-frame periods and a private X server, music-like material
# playing in, the parameters changed through the editor every 100 ms. The
# server runs with realtime scheduling (VT4R_JACK_REALTIME=0 turns it off):
# at 1.3 ms periods nothing else keeps a shared machine from xruns.
# Passes when the server reports no xrun, the resident memory does not grow
# after the first minute, nothing appears on standard error, and the time
# spent inside VT4R's audio callback (every callback timed, written out after
# the run) stays under a quarter of the period at its maximum and at its
# 99.99th percentile. Xruns are counted apart where the server names VT4R's
# client as not finished at the deadline.
#
#   scripts/soak.sh [SECONDS]        (builds into build/ first)
# VT4R_SOAK_EDITS=0 leaves the knobs alone (to tell the edits' share apart).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-600}

if [ "${VT4R_SOAK_INNER:-}" != 1 ]; then
    [ -n "${VT4R_BUILD:-}" ] || scripts/build.sh build >/dev/null
    work=$(mktemp -d /tmp/vt4r-soak-XXXXXX)
    export VT4R_SOAK_INNER=1 VT4R_SOAK_DIR=$work VT4R_JACK_PERIOD=64 VT4R_JACK_REALTIME=${VT4R_JACK_REALTIME:-1} VT4R_JACK_LOG=$work/jackd.log
    exec scripts/with-jack.sh scripts/with-xvfb.sh "$0" "$seconds"
fi

work=$VT4R_SOAK_DIR
mkdir -p "$work/config/VT4R" "$work/run"
printf '[audio]\ndriver=1\nsr=48000\niovs=64\nsigvs=32\n' >"$work/config/VT4R/settings.ini"

VT4R_CALLBACK_TIMES=$work/callbacks.txt XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run ${VT4R_BUILD:-build}/app/fltk/vt4r >"$work/app.out" 2>"$work/app.err" &
app=$!
for _ in $(seq 1 100); do
    win=$(xdotool search --onlyvisible --name '^VT4R$' 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.1
done
if [ -z "$win" ]; then
    echo "soak: no window" >&2
    kill "$app" 2>/dev/null || true
    exit 1
fi
VT4R_PLAYER_TIMES=$work/player-times.txt ${VT4R_BUILD:-build}/tests/gui/vt4r-jack-player music >"$work/player.out" 2>"$work/player.err" &
player=$!

rss() { awk '/^VmRSS/ {print $2}' "/proc/$app/status"; }
echo "soak: $seconds s, log in $work"
start=$(date +%s)
next_sample=$start
rss_at_minute=
rss_max=0
step=0
while :; do
    now=$(date +%s)
    [ $((now - start)) -ge "$seconds" ] && break
    kill -0 "$app" 2>/dev/null || { echo "soak: the program ended early" >&2; break; }
    # Ten seconds of edits in one xdotool run, 100 ms apart: knobs by the
    # wheel, now and then the switch, as a user would.
    if [ "${VT4R_SOAK_EDITS:-1}" = 1 ]; then
        chain=()
        for i in $(seq 0 99); do
            case $((i % 10)) in
                0|1|2) chain+=(mousemove --window "$win" 79 260 click 4) ;;
                3|4|5) chain+=(mousemove --window "$win" 79 260 click 5) ;;
                6|7) chain+=(mousemove --window "$win" 208 260 click 4) ;;
                8) chain+=(mousemove --window "$win" 208 260 click 5) ;;
                9) if [ "$i" -eq 49 ]; then chain+=(mousemove --window "$win" 144 365 click 1)
                   else chain+=(mousemove --window "$win" 208 260 click 4); fi ;;
            esac
            chain+=(sleep 0.1)
        done
        xdotool "${chain[@]}" 2>/dev/null
        step=$((step + 100))
    else
        sleep 10
    fi
    if [ "$now" -ge "$next_sample" ]; then
        r=$(rss)
        echo "$((now - start)) $r" >>"$work/rss.log"
        [ "$r" -gt "$rss_max" ] && [ $((now - start)) -ge 60 ] && rss_max=$r
        [ -z "$rss_at_minute" ] && [ $((now - start)) -ge 60 ] && rss_at_minute=$r
        next_sample=$((now + 10))
    fi
done

kill -TERM "$player" 2>/dev/null || true
wait "$player" 2>/dev/null || true
xdotool key --window "$win" ctrl+q
for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true

xruns=$(awk '/^xruns/ {print $2}' "$work/player.out")
server_xruns=$(grep -ci xrun "$work/jackd.log" || true)
ours=$(grep -c 'client = VT4R was not finished' "$work/jackd.log" || true)
status=0
echo "soak: $step parameter changes; xruns seen by the client: ${xruns:-?}; xrun lines in the server log: $server_xruns"
echo "soak: xruns with VT4R's client still running at the deadline: $ours; other xrun lines: $((server_xruns - ours))"

# A quarter of a 64-frame period at 48 kHz, in nanoseconds.
budget=$((64 * 1000000000 / 48000 / 4))
# Column 1: the steady clock from entry to exit; column 2: the thread's CPU time.
# "report FILE WHO CHECK": the distribution; with CHECK, fails past the budget.
report() {
    local count column what median p99 p9999 max over
    count=$(wc -l <"$1")
    us() { awk -v ns="$1" 'BEGIN { printf "%.1f", ns / 1000 }'; }
    for column in 1 2; do
        cut -d ' ' -f "$column" "$1" | sort -n >"$1.$column"
        at() { awk -v n="$count" -v p="$1" 'NR == int((n - 1) * p) + 1 { print; exit }' "$2"; }
        median=$(at 0.5 "$1.$column") p99=$(at 0.99 "$1.$column") p9999=$(at 0.9999 "$1.$column")
        max=$(tail -n 1 "$1.$column")
        over=$(awk -v b="$budget" '$1 >= b' "$1.$column" | wc -l)
        [ "$column" = 1 ] && what="wall clock" || what="CPU time"
        echo "soak: $count callbacks, $what inside $2's callback (µs): median $(us "$median"), 99 % $(us "$p99"), 99.99 % $(us "$p9999"), max $(us "$max"); $over at or over the budget of $(us "$budget")"
        if [ "$3" = check ] && { [ "$max" -ge "$budget" ] || [ "$p9999" -ge "$budget" ]; }; then
            echo "soak: FAILED: by the $what the callback used a quarter of the period or more" >&2
            status=1
        fi
    done
}
# The player's callback does next to nothing: what it shows, the machine does to every client.
[ -s "$work/player-times.txt" ] && report "$work/player-times.txt" "the player" ""
if [ -s "$work/callbacks.txt" ]; then
    report "$work/callbacks.txt" "VT4R" check
else
    echo "soak: FAILED: no callback times were written" >&2
    status=1
fi
# How often and how long the audio thread waited for an edit holding the plug-in's lock.
grep -h "waited for the plug-in's lock" "$work/app.out" | sed 's/^VT4R: /soak: /' || true
echo "soak: resident memory at 60 s: ${rss_at_minute:-?} kB, largest after: $rss_max kB"
if [ "${xruns:-1}" != 0 ] || [ "$server_xruns" != 0 ]; then echo "soak: FAILED: xruns" >&2; status=1; fi
if [ -n "$rss_at_minute" ] && [ "$rss_max" -gt "$rss_at_minute" ]; then
    echo "soak: FAILED: resident memory grew after the first minute" >&2
    status=1
fi
if [ -s "$work/app.err" ]; then
    echo "soak: FAILED: the program wrote to standard error:" >&2
    head -20 "$work/app.err" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "soak: passed"
exit "$status"
