#!/bin/bash
# Builds sdl12-compat, the SDL 1.2 library that draws through SDL2, for an
# ARM handheld package from its release tarball in the shared folder:
#
#   scripts/sdl12-compat.sh armhf|arm64 [TARBALL]
#       (default: third_party/sdl12-compat-release-1.2.76.tar.gz in the shared
#       folder beside the checkout, ../shared, or ../../shared for a work tree
#       kept in a folder of work trees, or beside the repository a clone was
#       made from)
#
# The tarball's sha256 is checked first: a different file stops the build
# with one line naming it and both checksums. The library is built with the
# game's clang cross set-up (cmake/toolchain-ARCH.cmake) against the Debian 11
# sysroot's SDL2 headers into build-ARCH/sdl12-compat/, and linked to SDL2's
# library by name (libSDL2-2.0.so.0), so that on a device without SDL2 the
# loader says in one line which library is missing, where sdl12-compat's own
# loading would only abort. It needs only the C library and SDL2, which the
# device's firmware provides. Prints the path of the built libSDL-1.2.so.0.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/sdl12-compat.sh armhf|arm64 [TARBALL]"
source scripts/cross-arch.sh
[ "$suite" = bullseye ] || { echo "usage: $usage" >&2; exit 2; }
version=1.2.76
sha256=c7eac025b8faadfb618fb80f2832b8e85d4b2f83ca7aef24e77c54aa2dafd44a
name=third_party/sdl12-compat-release-$version.tar.gz
tarball=${2:-../shared/$name}
# Without a TARBALL: the shared folder beside this checkout, beside its
# folder of work trees, or beside the repository a clone was made from.
origin=$(git remote get-url origin 2>/dev/null || true)
origin=${origin#file://}
if [ -z "${2:-}" ]; then
    for dir in .. ../.. ${origin:+"$origin/.."}; do
        [ -f "$dir/shared/$name" ] && { tarball=$dir/shared/$name; break; }
    done
fi
out=build-$arch/sdl12-compat

[ -f "$tarball" ] || { echo "sdl12-compat: $tarball missing" >&2; exit 1; }
scripts/deps.sh cmake make clang lld llvm >&2
scripts/sysroot.sh "$arch" "$sysroot" "$suite" >&2
actual=$(sha256sum "$tarball" | cut -d' ' -f1)
[ "$actual" = "$sha256" ] ||
    { echo "sdl12-compat: $tarball has sha256 $actual, expected $sha256" >&2; exit 1; }
# The build folder is made anew with build-ARCH whenever the sysroot changes
# (scripts/cross-build.sh).
stamp="$sha256 for SDL2 2.0.14"
if [ ! -f "$out/lib/libSDL-1.2.so.0" ] || [ "$(cat "$out/.version" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$out"
    mkdir -p "$out/src"
    tar -xzf "$tarball" -C "$out/src" --strip-components=1
    [ -f "$out/src/src/SDL12_compat.c" ] || { echo "sdl12-compat: $tarball holds no sdl12-compat source" >&2; exit 1; }
    # Two changes let it build and run with Debian 11's SDL2 2.0.14 (and
    # firmware's of its age), as it states it runs with SDL2 2.0.7 or newer:
    # it passes an explicit video or audio driver on to SDL2 also as a hint,
    # by names that SDL2's headers give from 2.0.22 on (2.0.14 reads the same
    # variables from the environment), so the names are defined as later
    # headers have them; and it takes SDL_lroundf, new in SDL2 2.0.16 and
    # used only to scale mouse positions, from SDL2, so that SDL2 2.0.14
    # fails its loading: the C library's lroundf, the same function, is used.
    syms=$out/src/src/SDL20_syms.h
    grep -q '^SDL20_SYM(long,lroundf,' "$syms" || { echo "sdl12-compat: $syms takes no SDL_lroundf" >&2; exit 1; }
    sed -i '/^SDL20_SYM(long,lroundf,/d' "$syms"
    printf '%s\n' '#include <math.h>' '#define SDL20_lroundf lroundf' \
        '#define SDL_HINT_VIDEODRIVER "SDL_VIDEODRIVER"' '#define SDL_HINT_AUDIODRIVER "SDL_AUDIODRIVER"' \
        >"$out/sdl2-2.0.14.h"
    # The SDL2 headers by the sysroot's path: the sysroot's sdl2-config.cmake
    # names them by the device's path, which on this machine is the host's.
    cmake -S "$out/src" -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-$arch.cmake" \
        -DMD_SYSROOT="$sysroot" -DCMAKE_BUILD_TYPE=Release -DSDL12TESTS=OFF -DSDL12DEVEL=OFF \
        -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG -include $PWD/$out/sdl2-2.0.14.h" \
        -DCMAKE_DISABLE_FIND_PACKAGE_SDL2=ON -DSDL2_INCLUDE_DIRS="$sysroot/usr/include/SDL2" \
        -DCMAKE_C_STANDARD_LIBRARIES="-Wl,--no-as-needed -l:libSDL2-2.0.so.0 -lm" >"$out/configure.log" 2>&1 ||
        { tail -n 20 "$out/configure.log" >&2; echo "sdl12-compat: configuring failed" >&2; exit 1; }
    cmake --build "$out/build" -j"$(nproc)" --target SDL >"$out/build.log" 2>&1 ||
        { tail -n 20 "$out/build.log" >&2; echo "sdl12-compat: building failed" >&2; exit 1; }
    mkdir -p "$out/lib"
    llvm-strip --strip-unneeded -o "$out/lib/libSDL-1.2.so.0" "$out/build/libSDL-1.2.so.0"
    cp "$out/src/LICENSE.txt" "$out/lib/LICENSE.sdl12-compat.txt"
    echo "$stamp" >"$out/.version"
fi
echo "$PWD/$out/lib/libSDL-1.2.so.0"
