#!/usr/bin/env bash
# Cross-builds VT4R for 64-bit Windows with mingw-w64.
#   scripts/build-windows.sh [DIR] [extra cmake args...]      (DIR defaults to build-win)
#
# The libraries the programs link come from Debian's source packages at the versions pinned below,
# fetched through a private apt configuration inside DIR (the machine's apt sources are never
# changed), cross-built once into DIR/deps/<key> and reused while the key stays the same. zlib is
# Debian's mingw package; GoogleTest is the source that libgtest-dev installs. The programs are
# linked statically, so each .exe runs alone on a clean Windows. Ends with DIR/VT4R-<version>-win64.zip
# and the installer DIR/VT4R-<version>-setup.exe.
#
# Driver type 1 is WASAPI unless the build is given the ASIO SDK, which Debian's RtAudio source leaves
# out: VT4R_ASIO_SDK_DIR=<the SDK's folder, holding common/ and host/> builds RtAudio with its ASIO
# back end from that SDK (into a prefix of its own) and makes driver type 1 ASIO.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build-win}
shift $(( $# > 0 ? 1 : 0 ))
case "$dir" in /*) ;; *) dir=$root/$dir ;; esac
jobs=$(nproc 2>/dev/null || echo 2)

"$root/scripts/setup.sh" "$root/scripts/packages-windows.txt"

# Source package=Debian version. A pinned version that the archive has since replaced (the security
# suite keeps only its newest) is replaced by the newest one of the same upstream release.
pins=(
    libpng1.6=1.6.39-2+deb12u5
    freetype=2.12.1+dfsg-5+deb12u4
    rtaudio=5.2.0~ds1-2
    rtmidi=5.0.0-3
    libogg=1.3.5-3
    libvorbis=1.3.7-1
    flac=1.4.2+ds-2
    opus=1.3.1-3
    libsndfile=1.2.0-1+deb12u1
    benchmark=1.7.1-1
    musl=1.2.3-1
)
gtest_version=$(dpkg-query -W -f='${Version}' libgtest-dev)
asio_sdk=${VT4R_ASIO_SDK_DIR:-}
if [ -n "$asio_sdk" ]; then
    asio_sdk=$(cd "$asio_sdk" && pwd) || { echo "build-windows: no ASIO SDK folder $VT4R_ASIO_SDK_DIR" >&2; exit 2; }
fi

# What the libraries are built from and with; this script counts only up to the project's own build
# below, so changes to what follows the libraries (packaging, say) do not rebuild them.
key=$(printf '%s\n' "${pins[@]}" "googletest=$gtest_version" "$(x86_64-w64-mingw32-g++-posix -dumpversion)" \
      ${asio_sdk:+"asio=$asio_sdk"} "$(sed '/^cmake -S "$root" -B "$dir"/,$d' "$0" | sha256sum | cut -c1-16)" \
      "$(sha256sum "$root/cmake/mingw-w64-x86_64.cmake" | cut -c1-16)" | sha256sum | cut -c1-16)
prefix=$dir/deps/$key
sources=$dir/deps/src
toolchain=$root/cmake/mingw-w64-x86_64.cmake

cross_cmake() { # source-dir build-dir [args...]
    local src=$1 bld=$2
    shift 2
    cmake -S "$src" -B "$bld" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVT4R_WIN_PREFIX="$prefix" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DCMAKE_POLICY_DEFAULT_CMP0077=NEW "$@" >"$bld.log" 2>&1 &&
        cmake --build "$bld" -j "$jobs" >>"$bld.log" 2>&1 &&
        cmake --install "$bld" >>"$bld.log" 2>&1 || {
        echo "build-windows: building $(basename "$src") failed; the log is $bld.log" >&2
        tail -20 "$bld.log" >&2
        exit 1
    }
}

cross_configure() { # source-dir build-dir [args...]: autotools, where a release's CMake files are incomplete
    local src=$1 bld=$2
    shift 2
    mkdir -p "$bld"
    # make's CFLAGS replace configure's, which add _FORTIFY_SOURCE: its checks would need libssp.
    (cd "$bld" && "$src/configure" -q --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --prefix="$prefix" \
        --disable-shared --enable-static "$@" && make -j "$jobs" CFLAGS="-O2 -fvisibility=hidden" &&
        make install) >"$bld.log" 2>&1 || {
        echo "build-windows: building $(basename "$src") failed; the log is $bld.log" >&2
        tail -20 "$bld.log" >&2
        exit 1
    }
}

if [ ! -f "$prefix/.complete" ]; then
    echo "build-windows: building the libraries into $prefix"
    rm -rf "$prefix" "$dir/deps/build"
    mkdir -p "$prefix" "$dir/deps/build"
    declare -A src src_version
    for pin in "${pins[@]}"; do
        src[${pin%%=*}]=$("$root/scripts/fetch-source.sh" "$pin" "$sources")
        version=${pin#*=}
        version=${version%-*}
        src_version[${pin%%=*}]=${version%%[~+]*}
    done
    b=$dir/deps/build
    mingw=/usr/x86_64-w64-mingw32
    cross_cmake "${src[libpng1.6]}" "$b/libpng" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$mingw/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw/include"
    cross_cmake "${src[freetype]}" "$b/freetype" -DFT_REQUIRE_ZLIB=ON -DZLIB_LIBRARY="$mingw/lib/libz.a" \
        -DZLIB_INCLUDE_DIR="$mingw/include" -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
        -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
    rtaudio_src=${src[rtaudio]} asio=OFF
    if [ -n "$asio_sdk" ]; then
        # RtAudio's ASIO back end compiles the SDK's files from its own include/ folder: a private copy
        # of the source gets them, and the shared source stays as Debian ships it.
        rtaudio_src=$b/rtaudio-src asio=ON
        cp -a "${src[rtaudio]}" "$rtaudio_src"
        mkdir -p "$rtaudio_src/include"
        for f in common/asio.h common/asio.cpp common/asiosys.h common/iasiodrv.h host/asiodrivers.h \
            host/asiodrivers.cpp host/ginclude.h host/pc/asiolist.h host/pc/asiolist.cpp; do
            [ -f "$asio_sdk/$f" ] || { echo "build-windows: the ASIO SDK has no $f" >&2; exit 2; }
            cp "$asio_sdk/$f" "$rtaudio_src/include/"
        done
        # The thiscall resolver matters only to 32-bit builds; the 64-bit one needs the files alone.
        for f in iasiothiscallresolver.h iasiothiscallresolver.cpp; do
            if [ -f "$asio_sdk/$f" ]; then cp "$asio_sdk/$f" "$rtaudio_src/include/"; else : >"$rtaudio_src/include/$f"; fi
        done
    fi
    cross_cmake "$rtaudio_src" "$b/rtaudio" -DRTAUDIO_API_DS=ON -DRTAUDIO_API_WASAPI=ON -DRTAUDIO_API_ASIO=$asio \
        -DRTAUDIO_API_JACK=OFF -DRTAUDIO_API_PULSE=OFF -DRTAUDIO_BUILD_TESTING=OFF -DRTAUDIO_BUILD_STATIC_LIBS=ON \
        -DRTAUDIO_BUILD_SHARED_LIBS=OFF
    cross_cmake "${src[rtmidi]}" "$b/rtmidi" -DRTMIDI_API_WINMM=ON -DRTMIDI_API_JACK=OFF -DRTMIDI_BUILD_TESTING=OFF \
        -DRTMIDI_BUILD_STATIC_LIBS=ON -DRTMIDI_BUILD_SHARED_LIBS=OFF
    # The codecs, so the renderer reads and writes FLAC, Ogg Vorbis and Opus as on Linux.
    cross_cmake "${src[libogg]}" "$b/libogg" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
    cross_cmake "${src[libvorbis]}" "$b/libvorbis" -DBUILD_TESTING=OFF
    cross_cmake "${src[flac]}" "$b/flac" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF \
        -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DBUILD_CXXLIBS=OFF
    # Without its SSE4.1 intrinsics, whose per-file flags the CFLAGS above would replace.
    cross_configure "${src[opus]}" "$b/opus" --disable-doc --disable-extra-programs --disable-stack-protector \
        --disable-intrinsics
    # FLAC__NO_DLL: libFLAC is linked statically, not through its DLL's import stubs.
    cross_cmake "${src[libsndfile]}" "$b/libsndfile" -DCMAKE_C_FLAGS=-DFLAC__NO_DLL -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF \
        -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF
    cross_cmake /usr/src/googletest "$b/googletest" -Dgtest_disable_pthreads=OFF
    cross_cmake "${src[benchmark]}" "$b/benchmark" -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
        -DBENCHMARK_ENABLE_WERROR=OFF -DGIT_VERSION="${src_version[benchmark]}"
    # musl's libm is compiled into the project itself (cmake/ExactMath.cmake): keep its source beside the prefix.
    ln -sfn "${src[musl]}" "$prefix/musl"
    touch "$prefix/.complete"
    rm -rf "$dir/deps/build"
fi

cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVT4R_WIN_PREFIX="$prefix" \
    -DVT4R_MUSL_SOURCE_DIR="$prefix/musl" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVT4R_WERROR=ON \
    -DVT4R_ASIO_SDK_DIR="$asio_sdk" "$@" >/dev/null
cmake --build "$dir" -j "$jobs"
cmake --build "$dir" --target package-zip
# The installer beside the zip (packaging/windows/vt4r.nsi): DIR/VT4R-<version>-setup.exe.
cmake --build "$dir" --target package-installer
