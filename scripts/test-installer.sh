#!/usr/bin/env bash
# The Windows installer as a user meets it, in a fresh Wine prefix on a private X server: installed
# silently (/S) beside another plug-in and a settings file left by an earlier VT4R; every file
# compared with what was packed and every Add/Remove Programs value read back with `reg query`;
# the installed vt4r.exe started (it reads and keeps the settings and draws its editor as the
# installed vt4r-snapshot.exe does); the installed VST3 and CLAP run by our test host, rendering as
# the installed vt4r-render does, bit for bit; installed again through its pages with the CLAP
# unticked (the CLAP gone), silently over itself (the same choice, one entry, the same files) and
# over a running vt4r.exe (refused with code 2, the entry kept); then uninstalled silently,
# leaving the prefix as it was apart from the settings, which stay as the program left them.
#   scripts/test-installer.sh [BUILD_DIR]     (build-win by default, after scripts/build-windows.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-win}
build=$(cd "$build" && pwd)
if [ "${VT4R_INSTALLER_INNER:-}" != 1 ]; then
    export VT4R_INSTALLER_INNER=1
    # A prefix of its own even when the caller keeps one.
    unset VT4R_WINEPREFIX
    exec "$root/scripts/with-wine.sh" "$0" "$build"
fi

setup=$build/VT4R-1.1.2-setup.exe
stage=$build/installer-stage
fail() {
    echo "test-installer: FAILED: $*" >&2
    exit 1
}
step() { echo "test-installer: $*"; }
[ -f "$setup" ] && [ -d "$stage" ] || fail "no $setup (cmake --build $build --target package-installer)"

start=$(date +%s)
tmp=$(mktemp -d)
app=
cleanup() {
    if [ -n "$app" ]; then
        wine taskkill /im vt4r.exe >/dev/null 2>&1 || true
        wait "$app" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

c=$WINEPREFIX/drive_c
user=$(find "$c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)
program_dir=$c/Program\ Files/VT4R
common=$c/Program\ Files/Common\ Files
start_menu=$c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
settings=$user/AppData/Local/VT4R/settings.ini
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VT4R'

# What was there before: another plug-in in the shared VST3 folder, and settings that are not
# the defaults, with a line of the user's own that VT4R keeps.
mkdir -p "$common/VST3/Other.vst3" "$(dirname "$settings")"
echo other >"$common/VST3/Other.vst3/other.txt"
printf '[audio]\r\ndriver=0\r\nsr=48000\r\niovs=1024\r\n; tuned by hand\r\n' >"$settings"
# The files Wine's own runs touch (temporary files, logs) are no part of the comparison.
prefix_files() {
    (cd "$c" && find . \( -path './users/*/Temp' -o -path './windows' \) -prune -o -print | sort)
}
prefix_files >"$tmp/before.txt"

reg_value() { # name: "TYPE VALUE" of the VT4R key's value, empty when missing
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 \{2,\}\(REG_[A-Z_]*\) \{2,\}\(.*\)$/\1 \2/p"
}
vt4r_entries() { # how many Add/Remove Programs entries, in either registry view, are VT4R's
    for view in 64 32; do
        wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:$view 2>/dev/null
    done | tr -d '\r' | grep -c 'DisplayName *REG_SZ *VT4R$' || true
}

install() {
    wine "$setup" /S >"$tmp/setup.log" 2>&1 || fail "$(basename "$setup") /S failed: $(cat "$tmp/setup.log")"
}

installed_files=(
    "$program_dir/vt4r.exe" "$program_dir/vt4r-render.exe" "$program_dir/vt4r-snapshot.exe"
    "$program_dir/vt4r-demo-signal.exe" "$program_dir/vt4r.ico" "$program_dir/README-windows.txt"
    "$program_dir/LICENSE.txt")
packed_files=(vt4r.exe vt4r-render.exe vt4r-snapshot.exe vt4r-demo-signal.exe vt4r.ico README-windows.txt LICENSE.txt)
if [ -d "$stage/VT4R.vst3" ]; then
    while IFS= read -r f; do
        installed_files+=("$common/VST3/VT4R.vst3/$f")
        packed_files+=("VT4R.vst3/$f")
    done < <(cd "$stage/VT4R.vst3" && find . -type f | sed 's|^\./||' | sort)
else
    step "note: the build made no VST3 bundle; the installer holds none"
fi
if [ -f "$stage/VT4R.clap" ]; then
    installed_files+=("$common/CLAP/VT4R.clap")
    packed_files+=(VT4R.clap)
    with_clap=1
else
    step "note: the build made no CLAP plug-in; the installer holds none"
fi

check_installed() {
    local i
    if [ -z "${with_clap:-}" ]; then
        [ ! -e "$common/CLAP" ] || fail "the CLAP folder is there, but the CLAP plug-in was not chosen"
        [ -z "$(reg_value VT4R_CLAP)" ] || fail "the CLAP plug-in is recorded as installed"
    fi
    for i in "${!installed_files[@]}"; do
        cmp -s "${installed_files[$i]}" "$stage/${packed_files[$i]}" ||
            fail "${installed_files[$i]#"$c"/} is missing or differs from the packed ${packed_files[$i]}"
    done
    [ -f "$program_dir/uninstall.exe" ] || fail "no uninstall.exe"
    [ -f "$start_menu/VT4R.lnk" ] || fail "no Start-menu shortcut VT4R"
    grep -q $'\r$' "$program_dir/README-windows.txt" || fail "README-windows.txt has no CRLF line ends"

    local want name value got
    want=(
        "DisplayName=REG_SZ VT4R"
        "DisplayVersion=REG_SZ 1.1.2"
        "Publisher=REG_SZ Marsolind"
        'DisplayIcon=REG_SZ C:\Program Files\VT4R\vt4r.ico'
        'InstallLocation=REG_SZ C:\Program Files\VT4R'
        'UninstallString=REG_SZ "C:\Program Files\VT4R\uninstall.exe"'
        'QuietUninstallString=REG_SZ "C:\Program Files\VT4R\uninstall.exe" /S'
        "NoModify=REG_DWORD 0x1"
        "NoRepair=REG_DWORD 0x1"
        "VT4R_Application=REG_DWORD 0x1")
    [ -d "$stage/VT4R.vst3" ] && want+=("VT4R_VST3=REG_DWORD 0x1")
    [ -n "${with_clap:-}" ] && want+=("VT4R_CLAP=REG_DWORD 0x1")
    for w in "${want[@]}"; do
        name=${w%%=*} value=${w#*=}
        got=$(reg_value "$name")
        [ "$got" = "$value" ] || fail "$key\\$name is '$got', not '$value'"
    done
    # The size Add/Remove Programs shows is what the components take, in kilobytes.
    got=$(reg_value EstimatedSize)
    local estimated=$((${got#REG_DWORD })) actual
    actual=$(($(cat "${installed_files[@]}" | wc -c) / 1024))
    [ "$estimated" -ge $((actual * 95 / 100)) ] && [ "$estimated" -le $((actual * 105 / 100 + 8)) ] ||
        fail "EstimatedSize is $estimated KB; the installed files take $actual KB"
    [ "$(vt4r_entries)" = 1 ] || fail "$(vt4r_entries) Add/Remove Programs entries for VT4R, not one"
}

start_app() {
    wine "C:\\Program Files\\VT4R\\vt4r.exe" >"$tmp/app.out" 2>"$tmp/app.err" &
    app=$!
    win=
    for _ in $(seq 1 300); do
        win=$(xdotool search --onlyvisible --name '^VT4R$' 2>/dev/null | head -1 || true)
        [ -n "$win" ] && break
        sleep 0.1
    done
    [ -n "$win" ] || fail "the installed vt4r.exe showed no window titled VT4R: $(cat "$tmp/app.err")"
}
stop_app() { # closed as Windows closes a program: WM_CLOSE to its windows
    wine taskkill /im vt4r.exe >/dev/null 2>&1 || fail "taskkill vt4r.exe"
    wait "$app" || true
    app=
}

install
check_installed
step "installed: ${#installed_files[@]} files as packed, the shortcut and the Add/Remove Programs entry"

# The installed program, started as the shortcut starts it.
start_app
# It read the seeded file (the non-default buffer size stays) and wrote it back whole, with the
# user's own line.
for _ in $(seq 1 100); do
    grep -q '^sigvs=' "$settings" && break
    sleep 0.1
done
for line in 'sr=48000' 'iovs=1024' '; tuned by hand' 'sigvs=32' 'outchan=0'; do
    tr -d '\r' <"$settings" | grep -qxF "$line" || fail "settings.ini lacks '$line' after the start: $(cat "$settings")"
done
# The editor at rest, drawn by the installed vt4r-snapshot.exe, is somewhere in the window. The
# window is painted a moment after it appears.
wine "C:\\Program Files\\VT4R\\vt4r-snapshot.exe" "$(winepath -w "$tmp/rest.png")" >/dev/null 2>&1 ||
    fail "the installed vt4r-snapshot.exe failed"
drawn= differ="no screenshot"
for _ in $(seq 1 20); do
    sleep 0.5
    import -window "$win" "$tmp/window.png" 2>/dev/null || continue
    # Pixels more than 10 % off in colour, at the best place.
    differ=$(compare -metric AE -fuzz 10% -subimage-search "$tmp/window.png" "$tmp/rest.png" null: 2>&1 || true)
    differ=${differ%% *}
    # "images too dissimilar" when ImageMagick gives up early.
    if [[ "$differ" =~ ^[0-9]+$ ]] && [ "$differ" -lt 500 ]; then
        drawn=1
        break
    fi
done
if [ -z "$drawn" ]; then
    cp "$tmp/window.png" "$build/test-installer-window.png" 2>/dev/null || true
    fail "the window does not show the editor as vt4r-snapshot.exe draws it ($differ); see $build/test-installer-window.png"
fi
stop_app
step "vt4r.exe ran from the install: its window shows the editor ($differ pixels differ), the settings were read and kept"

# The installed plug-ins, loaded from where a host looks for them. Our test host renders a signal
# through each, and the samples equal the installed vt4r-render's bit for bit.
host=$build/tests/windows-plugins/format-host-tool.exe
plugins=()
[ -d "$stage/VT4R.vst3" ] && plugins+=("vst3=$common/VST3/VT4R.vst3")
[ -f "$stage/VT4R.clap" ] && plugins+=("clap=$common/CLAP/VT4R.clap")
if [ "${#plugins[@]}" -gt 0 ] && [ -f "$host" ]; then
    wine "C:\\Program Files\\VT4R\\vt4r-demo-signal.exe" "$(winepath -w "$tmp/in.wav")" 2 48000 >/dev/null 2>&1 ||
        fail "the installed vt4r-demo-signal.exe failed"
    wine "C:\\Program Files\\VT4R\\vt4r-render.exe" -q -b 256 --format double -i 6 -o -3 --relaxed \
        "$(winepath -w "$tmp/in.wav")" "$(winepath -w "$tmp/rendered.wav")" >/dev/null 2>&1 ||
        fail "the installed vt4r-render.exe failed"
    for plugin in "${plugins[@]}"; do
        format=${plugin%%=*}
        wine "$host" "$format" "$(winepath -w "${plugin#*=}")" render "$(winepath -w "$tmp/in.wav")" \
            "$(winepath -w "$tmp/$format.wav")" 256 double 6 -3 1 >"$tmp/host.log" 2>&1 ||
            fail "the installed $format plug-in did not render: $(cat "$tmp/host.log")"
        python3 - "$tmp/$format.wav" "$tmp/rendered.wav" <<'PY' || fail "the installed $format plug-in's samples differ from vt4r-render's"
import struct, sys

def data(path):
    b = open(path, "rb").read()
    i = 12
    while i + 8 <= len(b):
        tag, size = b[i:i + 4], struct.unpack("<I", b[i + 4:i + 8])[0]
        if tag == b"data":
            return b[i + 8:i + 8 + size]
        i += 8 + size + (size & 1)
    sys.exit(path + " has no samples")

a, b = data(sys.argv[1]), data(sys.argv[2])
sys.exit(0 if a == b and len(a) > 0 else 1)
PY
    done
    step "the installed plug-ins render as the installed vt4r-render, bit for bit"
elif [ "${#plugins[@]}" -gt 0 ]; then
    step "note: no $host (a build without tests): the installed plug-ins were not run"
fi

# Again through its pages, the CLAP plug-in unticked: the earlier install goes, the CLAP with it.
if [ -n "${with_clap:-}" ]; then
    wine "$setup" >/dev/null 2>&1 &
    gui=$!
    page=
    for _ in $(seq 1 300); do
        page=$(xdotool search --onlyvisible --name '^VT4R 1.1.2 Setup' 2>/dev/null | head -1 || true)
        [ -n "$page" ] && break
        sleep 0.1
    done
    [ -n "$page" ] || fail "the installer showed no window"
    # I Agree; the last component (CLAP) unticked, Next; Install.
    sleep 1
    xdotool key Return
    sleep 1
    xdotool key End space
    sleep 0.5
    xdotool key Return
    sleep 1
    xdotool key Return
    # The earlier install's uninstaller removes the CLAP and the entry; the new entry is written
    # last. Then Close.
    for _ in $(seq 1 300); do
        [ ! -e "$common/CLAP/VT4R.clap" ] && [ "$(reg_value VT4R_Application)" = "REG_DWORD 0x1" ] && break
        sleep 0.1
    done
    sleep 1
    xdotool key Return
    for _ in $(seq 1 100); do
        kill -0 "$gui" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$gui" 2>/dev/null && fail "the installer did not finish through its pages"
    wait "$gui" || fail "the installer run through its pages failed"
    unset 'installed_files[-1]' 'packed_files[-1]'
    with_clap=
    check_installed
    step "installed again without the CLAP plug-in: the CLAP and its folder are gone, one entry"
fi

# Over itself silently: the components chosen last time, one entry still, every file as packed.
install
check_installed
step "installed again over itself: one entry, the same files"

# Installing while vt4r.exe runs: the earlier install's uninstaller cannot remove it, says so, and
# the installer stops with code 2, the entry and the running program kept, so it can be run again.
start_app
set +e
wine "$setup" /S >/dev/null 2>&1
code=$?
set -e
[ "$code" = 2 ] || fail "installing over a running vt4r.exe answered $code, not 2"
[ -f "$program_dir/vt4r.exe" ] && [ "$(reg_value DisplayName)" = "REG_SZ VT4R" ] ||
    fail "the failed install did not keep vt4r.exe and the Add/Remove Programs entry"
stop_app
cp "$settings" "$tmp/settings.ini"
step "installing while vt4r.exe runs fails with code 2 and keeps the entry"


wine "C:\\Program Files\\VT4R\\uninstall.exe" /S || fail "uninstall.exe /S failed"
# The uninstaller runs from a copy of itself in the temporary folder and returns at once.
for _ in $(seq 1 300); do
    [ ! -e "$program_dir" ] && ! wine reg query "$key" >/dev/null 2>&1 && break
    sleep 0.1
done
wine reg query "$key" >/dev/null 2>&1 && fail "the Add/Remove Programs entry is still there"
prefix_files >"$tmp/after.txt"
diff "$tmp/before.txt" "$tmp/after.txt" >"$tmp/left.txt" ||
    fail "the prefix differs after the uninstall: $(cat "$tmp/left.txt")"
cmp -s "$settings" "$tmp/settings.ini" || fail "the uninstall changed settings.ini"
[ -f "$common/VST3/Other.vst3/other.txt" ] || fail "the uninstall removed another plug-in"
step "uninstalled: nothing left but the settings, the other plug-in untouched"
step "passed in $(($(date +%s) - start)) s"
