# Cross-building for 64-bit Windows on Debian with mingw-w64.
# Only the -posix compilers have std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries cross-built by scripts/build-windows.sh live in VT4R_WIN_PREFIX; zlib comes with mingw.
set(VT4R_WIN_PREFIX "" CACHE PATH "Prefix holding the cross-built libraries")
# try_compile projects read this file again and must see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VT4R_WIN_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${VT4R_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's pkg-config must never see the host's .pc files: it would leak JACK and PulseAudio in.
set(ENV{PKG_CONFIG_LIBDIR} "${VT4R_WIN_PREFIX}/lib/pkgconfig:/usr/${triple}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Each program runs alone on a clean Windows: no libstdc++, libgcc or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the cross-built tests under Wine (scripts/with-wine.sh gives it a private prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# zlib's import library would make the programs need zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
