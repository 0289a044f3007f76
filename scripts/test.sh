#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build with all labels (unit,
# audio against a private JACK server, gui on a private Xvfb display, hosts in Ardour), then the unit tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer, every fuzz target for 20 s, the Debian
# package built, installed and purged (scripts/test-deb.sh), then the Windows build's
# tests under Wine with its sound routed to JACK (label windows), the comparisons between the two
# platforms' programs, the Windows program driven under Wine (label wine), and the Windows installer
# installed, used and removed under Wine (scripts/test-installer.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

status=0
run() {
    echo "== $*"
    "$@" || status=1
}

# musl's mathematics, which the Windows build uses, is compared with glibc's here too.
musl=$(scripts/fetch-source.sh musl=1.2.3-1 build-deps/src)
scripts/build.sh build "" -DVT4R_MUSL_SOURCE_DIR="$musl"
# Ardour for the hosts tests; they skip without it, so a rig that cannot be set up fails here.
run scripts/ardour-rig.sh setup
run scripts/with-jack.sh scripts/with-xvfb.sh ctest --test-dir build --output-on-failure -j 2 -LE hosts
# Ardour itself now and then fails in its own export graph or as its session closes (see
# tests/hosts/ardour_host_test.cpp): the real-host test gets up to three tries.
run scripts/with-jack.sh scripts/with-xvfb.sh ctest --test-dir build --output-on-failure -L hosts --repeat until-pass:3

scripts/build.sh build-asan address
# The unit tests, and the many plug-ins with their editors in one process (stress) on a private display.
run env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    scripts/with-xvfb.sh ctest --test-dir build-asan --output-on-failure -L 'unit|stress' -j 2

scripts/build.sh build-tsan thread
# Some kernels randomise addresses more than ThreadSanitizer's shadow map allows.
run env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 setarch "$(uname -m)" -R \
    scripts/with-xvfb.sh ctest --test-dir build-tsan --output-on-failure -L 'unit|stress' -j 2
run scripts/fuzz.sh 20

# A packager's build: Release with Debian's hardening flags and without -Werror, so warnings stay
# warnings. The Debian package is made from it, installed, used and purged.
run scripts/package-deb.sh --build build-release
run scripts/test-deb.sh build-deb build-release

run scripts/build-windows.sh build-win
if [ -f build-win/CTestTestfile.cmake ]; then
    # Wine's sound goes to a private JACK server, so the engine's tests there run on DirectSound and WASAPI.
    run scripts/with-jack.sh scripts/with-wine.sh ctest --test-dir build-win --output-on-failure -L windows -j 2
    run env VT4R_WINDOWS_BUILD="$root/build-win" scripts/with-wine.sh ctest --test-dir build --output-on-failure -L crossplatform -V
    # vt4r.exe itself, driven like the Linux program, its sound measured on the JACK side.
    run env VT4R_WINDOWS_BUILD="$root/build-win" scripts/with-jack.sh scripts/with-wine.sh \
        ctest --test-dir build --output-on-failure -L wine
    # The installer in a fresh Wine prefix: installed, used, installed again, uninstalled.
    run scripts/test-installer.sh build-win
fi

if [ "$status" -ne 0 ]; then
    echo "test: FAILED" >&2
else
    echo "test: all passed"
fi
exit "$status"
