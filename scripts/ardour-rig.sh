#!/usr/bin/env bash
# Ardour 7's headless tools as a test host, without Ardour's own plug-ins.
#
#   scripts/ardour-rig.sh setup [DIR]            prints the rig's folder (default build-deps/ardour)
#   scripts/ardour-rig.sh run [DIR] -- TOOL ARGS runs luasession, ardour7-export or
#                                                ardour-vst3-scanner from it
#
# setup fetches Debian's ardour and ardour-data packages and unpacks them into DIR/root: the
# packages are not installed, so nothing they recommend or depend on for plug-ins (Ardour's LV2
# set, x42, harvid...) comes along. Only the shared libraries they need are installed with apt-get
# (root only; others are told what is missing). Ardour's own plug-ins (its vamp analysis plug-ins
# and Lua DSP scripts) are left out of the unpacked tree. A second run only checks the libraries
# and prints the folder.
#
# run starts TOOL in a private mount namespace in which every system plug-in folder is an empty
# tmpfs, so Ardour discovers only what LV2_PATH, VST3_PATH, CLAP_PATH, LADSPA_PATH, VST_PATH and
# LXVST_PATH name (unset ones are left empty). The caller gives Ardour a private HOME (and XDG_*)
# for its configuration and caches. Exit code 2 means the rig could not be set up.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

mode=${1:-}
shift || true
dir=$root/build-deps/ardour
if [ $# -gt 0 ] && [ "$1" != -- ]; then
    dir=$1
    shift
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
tree=$dir/root
version=7
lib=$tree/usr/lib/ardour$version

missing_libraries() {
    local installed
    # shellcheck disable=SC2046
    installed=$(dpkg-query -W -f='${Package} ${Status}\n' $(cat "$dir/libraries.txt") 2>/dev/null |
        sed -n 's/ install ok installed$//p')
    grep -vxF -f <(echo "$installed") "$dir/libraries.txt" || true
}

setup() {
    exec 9>"$dir/.lock"
    flock 9
    if [ ! -x "$lib/luasession" ] || [ ! -f "$dir/libraries.txt" ] || [ -d "$lib/vamp" ] ||
        grep -q -l -E '\["type"\] *= *"[Dd][Ss][Pp]"' "$tree/usr/share/ardour$version/scripts/"*.lua 2>/dev/null; then
        local downloads=$dir/downloads
        rm -rf "$downloads" "$tree.partial"
        mkdir -p "$downloads" "$tree.partial"
        (cd "$downloads" &&
            { apt-get -qq -o APT::Sandbox::User="$(id -un)" download ardour ardour-data ||
              { [ "$(id -u)" -eq 0 ] && apt-get update -qq &&
                apt-get -qq -o APT::Sandbox::User="$(id -un)" download ardour ardour-data; }; }) >"$dir/setup.log" 2>&1 ||
            { echo "ardour-rig: apt-get download ardour ardour-data failed:" >&2; cat "$dir/setup.log" >&2; exit 2; }
        local deb
        for deb in "$downloads"/*.deb; do
            dpkg-deb -x "$deb" "$tree.partial"
        done
        # Ardour's own plug-ins are no part of the host under test: its analysis (vamp) plug-ins
        # and its Lua DSP scripts.
        rm -rf "$tree.partial/usr/lib/ardour$version/vamp"
        grep -l -E '\["type"\] *= *"[Dd][Ss][Pp]"' "$tree.partial/usr/share/ardour$version/scripts/"*.lua |
            xargs -r rm -f
        # Libraries only: the ardour-* packages (data, Ardour's LV2 set) and anything that is not a
        # library stay out.
        dpkg-deb -f "$downloads"/ardour_*.deb Depends | tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/^ +| +$//g' |
            grep -E '^lib' | sort -u >"$dir/libraries.txt"
        rm -rf "$tree" "$downloads"
        mv "$tree.partial" "$tree"
    fi
    local missing
    missing=$(missing_libraries)
    if [ -n "$missing" ]; then
        if [ "$(id -u)" -ne 0 ]; then
            echo "ardour-rig: these libraries are missing (apt-get install --no-install-recommends" $missing ")" >&2
            exit 2
        fi
        export DEBIAN_FRONTEND=noninteractive
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing >>"$dir/setup.log" 2>&1 ||
            { apt-get update -qq >>"$dir/setup.log" 2>&1 &&
              apt-get install -y -qq --no-install-recommends $missing >>"$dir/setup.log" 2>&1; } ||
            { echo "ardour-rig: installing the libraries failed:" >&2; cat "$dir/setup.log" >&2; exit 2; }
    fi
}

case "$mode" in
setup)
    setup
    echo "$dir"
    ;;
run)
    [ "${1:-}" = -- ] && shift
    if [ $# -eq 0 ]; then
        echo "usage: ardour-rig.sh run [DIR] -- luasession|ardour$version-export|ardour-vst3-scanner ARGS..." >&2
        exit 2
    fi
    tool=$1
    shift
    case "$tool" in
    luasession) program=$lib/luasession ;;
    ardour$version-export) program=$lib/utils/ardour$version-export ;;
    # Ardour's headless tools find VST3 plug-ins only in its cache, which this scanner fills.
    ardour-vst3-scanner) program=$lib/ardour-vst3-scanner ;;
    *) echo "ardour-rig: unknown tool $tool" >&2; exit 2 ;;
    esac
    [ -x "$program" ] || { echo "ardour-rig: no rig in $dir (run setup first)" >&2; exit 2; }
    # What the package's own wrapper scripts set, pointed at the unpacked tree.
    export LD_LIBRARY_PATH=$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
    export ARDOUR_DATA_PATH=$tree/usr/share/ardour$version
    export ARDOUR_CONFIG_PATH=$tree/etc/ardour$version
    export ARDOUR_DLL_PATH=$lib
    export VAMP_PATH=$dir/empty
    mkdir -p "$dir/empty"
    for v in LV2_PATH VST3_PATH CLAP_PATH LADSPA_PATH VST_PATH LXVST_PATH; do
        export "$v=${!v:-$dir/empty}"
    done
    hide=()
    for d in /usr/lib /usr/local/lib /usr/lib/"$(uname -m)"-linux-gnu /usr/lib64 /usr/local/lib64 /opt; do
        for kind in lv2 vst3 vst lxvst linux_vst ladspa clap dssi vamp; do
            [ -d "$d/$kind" ] && hide+=("$d/$kind")
        done
    done
    real_home=$(getent passwd "$(id -u)" | cut -d: -f6)
    for kind in .lv2 .vst3 .vst .lxvst .ladspa .clap .dssi vamp; do
        [ -d "$real_home/$kind" ] && hide+=("$real_home/$kind")
    done
    # unshare(1) makes the new namespace's mounts private, so the tmpfs mounts never show outside.
    namespace=(unshare -m)
    [ "$(id -u)" -eq 0 ] || namespace=(unshare -r -m)
    if ! "${namespace[@]}" true 2>/dev/null; then
        echo "ardour-rig: cannot make a private mount namespace (${namespace[*]})" >&2
        exit 2
    fi
    exec "${namespace[@]}" bash -c '
        program=$1
        shift
        while [ "$1" != -- ]; do
            mount -t tmpfs -o ro,size=4k vt4r-empty "$1" || { echo "ardour-rig: cannot hide $1" >&2; exit 2; }
            shift
        done
        shift
        exec "$program" "$@"' ardour-rig "$program" "${hide[@]}" -- "$@"
    ;;
*)
    echo "usage: ardour-rig.sh setup [DIR] | run [DIR] -- TOOL ARGS..." >&2
    exit 2
    ;;
esac
