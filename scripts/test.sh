#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build with all labels (unit,
# audio against a private JACK server, gui on a private Xvfb display), then the unit tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

status=0
run() {
    echo "== $*"
    "$@" || status=1
}

scripts/build.sh build
run scripts/with-jack.sh scripts/with-xvfb.sh ctest --test-dir build --output-on-failure -j 2

scripts/build.sh build-asan address
run env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -L unit -j 2

scripts/build.sh build-tsan thread
# Some kernels randomise addresses more than ThreadSanitizer's shadow map allows.
run env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 setarch "$(uname -m)" -R \
    ctest --test-dir build-tsan --output-on-failure -L unit -j 2

if [ "$status" -ne 0 ]; then
    echo "test: FAILED" >&2
else
    echo "test: all passed"
fi
exit "$status"
