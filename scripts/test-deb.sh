#!/usr/bin/env bash
# The Debian package on this machine, as a user gets it: built (scripts/package-deb.sh, reusing
# BUILD_DIR), checked by lintian, installed with apt-get, its programs and plug-ins used from where
# they landed (a real LV2 host with LV2_PATH unset, the CLAP and VST3 entry points loaded), then
# purged, leaving none of its files behind.
#   scripts/test-deb.sh [DIR] [BUILD_DIR]      (build-deb and DIR/build-release by default)
# Needs root (apt-get); replaces an installed vt4r and removes it at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-deb}
build=${2:-$out/build-release}

fail() {
    echo "test-deb: FAILED: $*" >&2
    exit 1
}
step() { echo "test-deb: $*"; }
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"

deb=$("$root/scripts/package-deb.sh" "$out" "$build") || fail "scripts/package-deb.sh could not build the package"
build=$(cd "$build" && pwd)
step "built $deb"

# Errors fail; warnings are shown.
lintian --fail-on error "$deb" ||
    fail "lintian reports errors in $deb"
step "lintian: no errors"

tmp=$(mktemp -d)
installed=
cleanup() {
    # A failed check must not leave the package on the machine.
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vt4r >/dev/null 2>&1 || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W -f='${Status}' vt4r 2>/dev/null | grep -q "ok installed"; then
    step "note: replacing the vt4r installed on this machine"
fi
installed=1
apt-get install -y -qq "$deb" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "apt-get install $deb"; }
version=$(dpkg-query -W -f='${Version}' vt4r)
[ "$version" = "$(dpkg-deb -f "$deb" Version)" ] || fail "apt-get installed vt4r $version, not the package's"
step "installed vt4r $version"

# The installed renderer gives the build's samples bit for bit, and compresses: the needle moves.
/usr/bin/vt4r-demo-signal "$tmp/in.wav" 2 48000 || fail "/usr/bin/vt4r-demo-signal"
render=(-q -b 256 -i 12 -o -3)
/usr/bin/vt4r-render "${render[@]}" --format double -m "$tmp/meter.csv" "$tmp/in.wav" "$tmp/out.wav" ||
    fail "/usr/bin/vt4r-render"
"$build/tools/render/vt4r-render" "${render[@]}" --format double "$tmp/in.wav" "$tmp/build.wav" ||
    fail "$build/tools/render/vt4r-render"
# Compares the sample data (data chunks) of two WAV files, or with "float" writes a 24-bit one
# again as 32-bit float.
cat >"$tmp/wav.py" <<'EOF'
import struct, sys

def data(path):
    b = open(path, "rb").read()
    assert b[:4] == b"RIFF" and b[8:12] == b"WAVE", path + " is no WAV file"
    i = 12
    while i + 8 <= len(b):
        tag, size = b[i:i + 4], struct.unpack("<I", b[i + 4:i + 8])[0]
        if tag == b"data":
            return b[i + 8:i + 8 + size]
        i += 8 + size + (size & 1)
    raise SystemExit(path + " has no data chunk")

if sys.argv[1] == "float":
    pcm = data(sys.argv[2])
    samples = [int.from_bytes(pcm[i:i + 3], "little", signed=True) / 8388608.0 for i in range(0, len(pcm), 3)]
    body = struct.pack("<%df" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 3, 2, 48000, 48000 * 8, 8, 32)
    with open(sys.argv[3], "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(body)) + body)
    sys.exit()
a, b = data(sys.argv[1]), data(sys.argv[2])
if len(a) != len(b):
    raise SystemExit("%s and %s differ in length: %d and %d bytes" % (sys.argv[1], sys.argv[2], len(a), len(b)))
if a != b:
    width = int(sys.argv[3])
    first = next(i for i in range(0, len(a), width) if a[i:i + width] != b[i:i + width]) // width
    raise SystemExit("%s and %s differ from sample %d on" % (sys.argv[1], sys.argv[2], first))
EOF
python3 "$tmp/wav.py" "$tmp/build.wav" "$tmp/out.wav" 8 || fail "the installed vt4r-render differs from the build's"
awk -F, 'NR > 1 && $3 > max { max = $3 } END { exit !(NR > 300 && max > 0.1) }' "$tmp/meter.csv" ||
    fail "the installed vt4r-render did not compress (needle at most $(sort -t, -k3 -g "$tmp/meter.csv" | tail -1))"
step "/usr/bin/vt4r-render: the build's output bit for bit, the needle moves"

# The plug-ins where hosts look.
for f in /usr/lib/lv2/vt4r.lv2/manifest.ttl /usr/lib/clap/VT4R.clap \
    /usr/lib/vst3/VT4R.vst3/Contents/x86_64-linux/VT4R.so; do
    [ -f "$f" ] || fail "$f is missing"
done
env -u LV2_PATH lv2ls | grep -qx urn:marsolind:vt4r || fail "lv2ls does not list urn:marsolind:vt4r"
# A real LV2 host loads it from /usr/lib/lv2 and sounds like the installed renderer at 32 bits
# (lv2file writes the input's format: a float input keeps the output exact).
python3 "$tmp/wav.py" float "$tmp/in.wav" "$tmp/in-float.wav"
env -u LV2_PATH lv2file -b 256 --ignore-clipping -p input:12 -p output:-3 \
    -i "$tmp/in-float.wav" -o "$tmp/lv2file.wav" urn:marsolind:vt4r >"$tmp/lv2file.log" 2>&1 ||
    { cat "$tmp/lv2file.log" >&2; fail "lv2file could not run the installed plug-in"; }
/usr/bin/vt4r-render "${render[@]}" --format float "$tmp/in-float.wav" "$tmp/float.wav" || fail "/usr/bin/vt4r-render"
python3 "$tmp/wav.py" "$tmp/float.wav" "$tmp/lv2file.wav" 4 || fail "lv2file with the installed plug-in differs from vt4r-render"
step "LV2: lv2ls lists it, lv2file runs it, the renderer's output bit for bit"

# The CLAP and VST3 binaries load with every library they need and show the plug-in to a host.
python3 - /usr/lib/clap/VT4R.clap /usr/lib/vst3/VT4R.vst3/Contents/x86_64-linux/VT4R.so <<'EOF' ||
import ctypes as C, sys

clap_path, vst3_path = sys.argv[1:3]

class Version(C.Structure):
    _fields_ = [("major", C.c_uint32), ("minor", C.c_uint32), ("revision", C.c_uint32)]

class Entry(C.Structure):
    _fields_ = [("version", Version), ("init", C.CFUNCTYPE(C.c_bool, C.c_char_p)),
                ("deinit", C.CFUNCTYPE(None)), ("get_factory", C.CFUNCTYPE(C.c_void_p, C.c_char_p))]

class Descriptor(C.Structure):
    _fields_ = [("version", Version), ("id", C.c_char_p), ("name", C.c_char_p), ("vendor", C.c_char_p)]

class Factory(C.Structure):
    _fields_ = [("count", C.CFUNCTYPE(C.c_uint32, C.c_void_p)),
                ("descriptor", C.CFUNCTYPE(C.POINTER(Descriptor), C.c_void_p, C.c_uint32))]

entry = Entry.in_dll(C.CDLL(clap_path), "clap_entry")
if not entry.init(clap_path.encode()):
    raise SystemExit("CLAP: clap_entry.init failed")
factory = entry.get_factory(b"clap.plugin-factory")
if not factory:
    raise SystemExit("CLAP: no plug-in factory")
f = Factory.from_address(factory)
ids = [(d.id, d.name, d.vendor) for d in (f.descriptor(factory, i).contents for i in range(f.count(factory)))]
entry.deinit()
if ids != [(b"com.marsolind.vt4r", b"VT4R", b"Marsolind")]:
    raise SystemExit("CLAP: the factory offers %r" % ids)

class ClassInfo(C.Structure):
    _fields_ = [("cid", C.c_char * 16), ("cardinality", C.c_int32), ("category", C.c_char * 32),
                ("name", C.c_char * 64)]

vst3 = C.CDLL(vst3_path)
vst3.ModuleEntry.restype = C.c_bool
vst3.ModuleEntry.argtypes = [C.c_void_p]
vst3.GetPluginFactory.restype = C.c_void_p
if not vst3.ModuleEntry(None):
    raise SystemExit("VST3: ModuleEntry failed")
factory = vst3.GetPluginFactory()
if not factory:
    raise SystemExit("VST3: no factory")
table = C.c_void_p.from_address(factory).value
method = lambda index, *signature: C.CFUNCTYPE(*signature)(C.c_void_p.from_address(table + index * C.sizeof(C.c_void_p)).value)
# FUnknown's three methods, then getFactoryInfo, countClasses, getClassInfo.
count = method(4, C.c_int32, C.c_void_p)(factory)
classes = []
for i in range(count):
    info = ClassInfo()
    if method(5, C.c_int32, C.c_void_p, C.c_int32, C.POINTER(ClassInfo))(factory, i, C.byref(info)) != 0:
        raise SystemExit("VST3: getClassInfo(%d) failed" % i)
    classes.append((info.category, info.name))
method(2, C.c_uint32, C.c_void_p)(factory)
vst3.ModuleExit()
if (b"Audio Module Class", b"VT4R") not in classes:
    raise SystemExit("VST3: the factory offers %r" % classes)
EOF
    fail "the installed CLAP or VST3 plug-in does not load"
step "CLAP and VST3: loaded from /usr/lib/clap and /usr/lib/vst3, the plug-in offered"

dpkg -L vt4r >"$tmp/files" || fail "dpkg -L vt4r"
apt-get purge -y -qq vt4r >"$tmp/purge.log" 2>&1 || { cat "$tmp/purge.log" >&2; fail "apt-get purge vt4r"; }
installed=
if dpkg-query -W -f='${Status}' vt4r 2>/dev/null | grep -qv "not-installed"; then
    fail "vt4r is still known to dpkg after the purge: $(dpkg-query -W -f='${Status}' vt4r)"
fi
# A folder may stay when it holds another package's files; nothing of ours may.
left=()
while read -r path; do
    if [ -d "$path" ]; then
        [ -n "$(ls -A "$path")" ] || left+=("$path")
    elif [ -e "$path" ] || [ -L "$path" ]; then
        left+=("$path")
    fi
done <"$tmp/files"
[ "${#left[@]}" -eq 0 ] || fail "left after apt-get purge: ${left[*]}"
step "purged: none of its $(wc -l <"$tmp/files") paths left"
echo "test-deb: passed"
