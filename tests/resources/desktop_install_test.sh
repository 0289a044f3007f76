#!/usr/bin/env bash
# Installs the build into a private prefix and checks what a desktop needs to list and start the program:
# a valid desktop entry whose Exec names the installed program and whose Icon names the installed icons,
# and each icon a PNG of its theme folder's size.
#   desktop_install_test.sh BUILD_DIR DATADIR BINDIR "ICON SIZES" PROGRAM_TARGET_EXISTS PROGRAM_FILE
# PROGRAM_FILE is the program's build output (empty when the build has no program target). When the target
# exists but has not been built, the desktop files are still checked and the test then reports a skip.
set -euo pipefail

build=$1
datadir=$2
bindir=$3
read -r -a sizes <<<"$4"
have_target=$5
program_file=${6:-}
skip=77

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

prefix=$(mktemp -d "${TMPDIR:-/tmp}/vt4r-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

with_program=0
if [ "$have_target" = 1 ] && [ -f "$program_file" ]; then
    with_program=1
    # Everything, as a user installs it.
    cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || {
        cat "$prefix.log" >&2
        rm -f "$prefix.log"
        echo "FAIL: cmake --install failed" >&2
        exit 1
    }
else
    cmake --install "$build" --prefix "$prefix" --component desktop >"$prefix.log" 2>&1 || {
        cat "$prefix.log" >&2
        rm -f "$prefix.log"
        echo "FAIL: cmake --install --component desktop failed" >&2
        exit 1
    }
fi
rm -f "$prefix.log"

# The value of a key in the [Desktop Entry] group (other groups may repeat keys).
entry_value() {
    awk -v key="$2" '
        /^\[/ { group = $0; next }
        group == "[Desktop Entry]" && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
    ' "$1"
}

desktop=$prefix/$datadir/applications/vt4r.desktop
if [ ! -f "$desktop" ]; then
    fail "no desktop entry at $datadir/applications/vt4r.desktop"
else
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
    else
        echo "note: desktop-file-validate not found; checking the basic keys only"
        [ "$(head -n 1 "$desktop")" = "[Desktop Entry]" ] || fail "the file does not start with [Desktop Entry]"
    fi
    [ "$(entry_value "$desktop" Type)" = Application ] || fail "Type is not Application"
    [ -n "$(entry_value "$desktop" Name)" ] || fail "Name is empty"
    [ "$(entry_value "$desktop" Terminal)" = false ] || fail "Terminal is not false"

    # Exec: the program's installed name, found on PATH (no path, so the entry works from any prefix).
    exec_line=$(entry_value "$desktop" Exec)
    program=${exec_line%% *}
    case $program in
    "" | */*) fail "Exec '$exec_line' does not name a program on PATH" ;;
    esac
    expected_program=vt4r
    [ -n "$program_file" ] && expected_program=$(basename "$program_file")
    [ "$program" = "$expected_program" ] || fail "Exec runs '$program', the program is '$expected_program'"
    if [ "$with_program" = 1 ]; then
        [ -x "$prefix/$bindir/$program" ] || fail "Exec names '$program' but $bindir/$program was not installed"
    fi

    # Icon: a theme name (no path, no extension), installed at every size.
    icon=$(entry_value "$desktop" Icon)
    case $icon in
    "" | */* | *.png | *.svg | *.xpm) fail "Icon '$icon' is not a theme icon name" ;;
    esac
    for size in "${sizes[@]}"; do
        file=$prefix/$datadir/icons/hicolor/${size}x${size}/apps/$icon.png
        if [ ! -f "$file" ]; then
            fail "no icon at $datadir/icons/hicolor/${size}x${size}/apps/$icon.png"
            continue
        fi
        # PNG signature, then the IHDR chunk: width, height (big-endian), bit depth, colour type.
        read -r -a head <<<"$(od -A n -t u1 -N 26 -v "$file" | tr '\n' ' ')"
        if [ "${#head[@]}" -lt 26 ] || [ "${head[*]:0:8}" != "137 80 78 71 13 10 26 10" ] ||
            [ "${head[*]:12:4}" != "73 72 68 82" ]; then
            fail "$size px icon is not a PNG"
            continue
        fi
        width=$(((head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19]))
        height=$(((head[20] << 24) | (head[21] << 16) | (head[22] << 8) | head[23]))
        [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
            fail "icon in ${size}x${size} is ${width}x${height}"
        # Colour type 6 (RGBA) or 4 (grey + alpha): the rounded corners must be see-through.
        case ${head[25]} in
        4 | 6) ;;
        *) fail "$size px icon has no alpha channel (colour type ${head[25]})" ;;
        esac
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
if [ "$have_target" = 1 ] && [ "$with_program" = 0 ]; then
    echo "desktop files checked; the program is not built yet ($program_file), so its install was not checked"
    exit "$skip"
fi
echo "desktop entry and icons install correctly"
