#!/usr/bin/env bash
# Builds the Debian package DIR/vt4r_<version>_<arch>.deb from a Release build.
#   scripts/package-deb.sh DIR [BUILD_DIR]
#   scripts/package-deb.sh --build BUILD_DIR      (only configures and builds BUILD_DIR)
# BUILD_DIR (default DIR/build-release) is configured with the options below and built; a build
# configured by this script before (scripts/test.sh's build-release) is only brought up to date.
# The package is laid out as debhelper would: debian/control and debian/changelog from
# packaging/debian, the files in debian/vt4r, dependencies from dpkg-shlibdeps, the control file
# from dpkg-gencontrol. Needs cmake, dpkg-dev and the build's packages (scripts/packages.txt).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_only=
if [ "${1:-}" = --build ]; then
    build_only=1
    shift
    [ $# -eq 1 ] || set --
fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: package-deb.sh DIR [BUILD_DIR] | package-deb.sh --build BUILD_DIR" >&2
    exit 2
fi
fail() {
    echo "package-deb: $*" >&2
    exit 1
}
if [ -n "$build_only" ]; then
    build=$1
else
    mkdir -p "$1"
    out=$(cd "$1" && pwd)
    build=${2:-$out/build-release}
fi
mkdir -p "$build"
build=$(cd "$build" && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

musl=$("$root/scripts/fetch-source.sh" musl=1.2.3-1 "$root/build-deps/src")
# Debian's hardening flags (stack protector, fortified C library calls, read-only relocations bound
# at load); no -g (the package is stripped) and no -O2 (Release's -O3 stays). They change no result.
# The same exact mathematics as scripts/build.sh. No warnings-as-errors: a packager's compiler may warn.
flags() {
    (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP="-g -O2" DEB_CXXFLAGS_MAINT_STRIP="-g -O2" \
        dpkg-buildflags --get "$1")
}
cppflags=$(flags CPPFLAGS)
ldflags=$(flags LDFLAGS)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVT4R_BUILD_TESTS=OFF -DVT4R_BUILD_BENCH=OFF -DVT4R_MUSL_SOURCE_DIR="$musl" \
    -DCMAKE_C_FLAGS="$(flags CFLAGS) $cppflags" -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
    -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null
[ -z "$build_only" ] || exit 0

work=$out/deb
pkg=$work/debian/vt4r
rm -rf "$work"
mkdir -p "$work/debian"
cp "$root/packaging/debian/control" "$root/packaging/debian/changelog" "$work/debian/"
cd "$work"
version=$(dpkg-parsechangelog -SVersion)
cmake_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$version" = "$cmake_version" ] ||
    fail "packaging/debian/changelog is at $version but the project at $cmake_version: add a changelog entry"
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
# Every file of the package gets the date of the last changelog entry: the same sources give the same package.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -STimestamp)
export SOURCE_DATE_EPOCH

DESTDIR=$pkg cmake --install "$build" >/dev/null
# Hosts look in /usr/lib/{lv2,clap,vst3}, never under the multiarch folder.
for bundle in usr/lib/lv2/vt4r.lv2/manifest.ttl usr/lib/clap/VT4R.clap \
    usr/lib/vst3/VT4R.vst3/Contents/"$(uname -m)"-linux/VT4R.so; do
    case $bundle in
        */clap/*) [ -f "$root/formats/clap/CMakeLists.txt" ] || continue ;;
        */vst3/*) [ -f "$root/formats/vst3/CMakeLists.txt" ] || continue ;;
    esac
    [ -f "$pkg/$bundle" ] || fail "cmake --install did not install /$bundle"
done

doc=$pkg/usr/share/doc/vt4r
mkdir -p "$doc" "$pkg/usr/share/man/man1"
cp "$root/packaging/debian/copyright" "$doc/copyright"
# A package without a Debian revision is native: its changelog is changelog.gz (Policy 12.7).
gzip -9n -c debian/changelog >"$doc/changelog.gz"
for page in "$root"/packaging/debian/man/*.1; do
    gzip -9n -c "$page" >"$pkg/usr/share/man/man1/$(basename "$page").gz"
done
if [ -f "$root/packaging/debian/lintian-overrides" ]; then
    mkdir -p "$pkg/usr/share/lintian/overrides"
    cp "$root/packaging/debian/lintian-overrides" "$pkg/usr/share/lintian/overrides/vt4r"
fi
for program in "$pkg"/usr/bin/*; do
    [ -f "$pkg/usr/share/man/man1/$(basename "$program").1.gz" ] ||
        fail "$(basename "$program") has no manual page in packaging/debian/man"
done

# As dh_strip and dh_fixperms do: programs keep their dynamic symbols, shared objects keep only
# what they export; plain files 644, programs 755.
mapfile -t elves < <(find "$pkg" -type f -exec sh -c 'head -c4 "$1" | grep -q "^.ELF"' _ {} \; -print | sort)
[ "${#elves[@]}" -gt 0 ] || fail "no program was installed"
for f in "${elves[@]}"; do
    case $f in
        *.so|*.clap) strip --remove-section=.comment --remove-section=.note --strip-unneeded "$f" ;;
        *) strip --remove-section=.comment --remove-section=.note "$f" ;;
    esac
done
find "$pkg" -type d -exec chmod 0755 {} +
find "$pkg" -type f -exec chmod 0644 {} +
chmod 0755 "$pkg"/usr/bin/*

mkdir -p "$pkg/DEBIAN"
dpkg-shlibdeps -Tdebian/vt4r.substvars "${elves[@]}"
dpkg-gencontrol -pvt4r -P"$pkg" -Tdebian/vt4r.substvars
(cd "$pkg" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
    >"$pkg/DEBIAN/md5sums"
chmod 0644 "$pkg/DEBIAN/control" "$pkg/DEBIAN/md5sums"

deb=$out/vt4r_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null
echo "$deb"
