#!/bin/bash
# Tests scripts/check-package.sh's C library floor and its libs/ rules on
# copies of the package, each of which must fail the check with its own
# message: one more library in libs/, built for the purpose against Debian
# 12's C library so that it needs GLIBC_2.34 (the check must name it and the
# version); an SDL2 in libs/; a fifth file in libs/; classic SDL 1.2 (here
# any library but sdl12-compat) as libs/libSDL-1.2.so.0.
#
#   scripts/test-check-package.sh armhf|arm64     (after scripts/package.sh ARCH)
set -euo pipefail
. "$(dirname "$0")/help.sh"
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/test-check-package.sh armhf|arm64"
source scripts/cross-arch.sh
source scripts/elf-needs.sh
[ "$floor" = 2.30 ] || { echo "usage: $usage" >&2; exit 2; }
zip=dist/marrowdigger-$arch.zip
[ -f "$zip" ] || { echo "test-check-package: $zip missing (scripts/package.sh $arch)" >&2; exit 2; }
scripts/deps.sh clang lld llvm zip unzip "libc6-$arch-cross"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "test-check-package: $*" >&2 && exit 1; }

# dlopen moved into the C library proper in 2.34, under that version.
probe=marrowdigger/libs/libfloorprobe.so
mkdir -p "$work/stage/marrowdigger/libs"
echo 'void *dlopen(const char *file, int mode); void *probe(void) { return dlopen("x", 1); }' \
    >"$work/probe.c"
clang --target="$triplet" -shared -nostdlib -fuse-ld=lld -o "$work/stage/$probe" \
    "$work/probe.c" "/usr/$triplet/lib/libc.so.6"
[ "$(highest_glibc "$work/stage/$probe")" = 2.34 ] || fail "the probe does not need GLIBC_2.34"

# variant NAME FILE...: a copy of the package as work/NAME.zip with each FILE
# of work/NAME/ (a path in the package) put in or, when empty, taken out.
variant() {
    local name=$1 f
    shift
    cp "$zip" "$work/$name.zip"
    for f in "$@"; do
        if [ -s "$work/$name/$f" ]; then
            (cd "$work/$name" && zip -q "$work/$name.zip" "$f")
        else
            zip -qd "$work/$name.zip" "$f" >/dev/null
        fi
    done
}
# put NAME PATH SOURCE: SOURCE as PATH in variant NAME ("" takes PATH out).
put() {
    mkdir -p "$(dirname "$work/$1/$2")"
    if [ -n "$3" ]; then cp "$3" "$work/$1/$2"; else : >"$work/$1/$2"; fi
}
mkdir -p "$work/probe/marrowdigger/libs"
cp "$work/stage/$probe" "$work/probe/$probe"
variant probe "$probe"
# A library of the package that the check passes, to be put in other places.
unzip -q "$zip" marrowdigger/libs/libenet.so.7 -d "$work/pkg"
enet=$work/pkg/marrowdigger/libs/libenet.so.7
libs=marrowdigger/libs
put sdl2 "$libs/LICENSE.sdl12-compat.txt" ""
put sdl2 "$libs/libSDL2-2.0.so.0" "$enet"
variant sdl2 "$libs/LICENSE.sdl12-compat.txt" "$libs/libSDL2-2.0.so.0"
put fifth "$libs/libz.so.1" "$enet"
variant fifth "$libs/libz.so.1"
put classic "$libs/libSDL-1.2.so.0" "$enet"
variant classic "$libs/libSDL-1.2.so.0"

# Each variant, and the line the check must say about it.
cases=(
    "probe|$probe needs GLIBC_2.34"
    "sdl2|libs/ holds libSDL2-2.0.so.0, which the firmware provides"
    "fifth|libs/ holds more than 4 files"
    "classic|libs/libSDL-1.2.so.0 is not sdl12-compat"
)
for c in "${cases[@]}"; do
    name=${c%%|*} expected=${c#*|}
    if scripts/check-package.sh "$arch" "$work/$name.zip" >"$work/out" 2>&1; then
        cat "$work/out" >&2
        fail "the check passed the package variant $name"
    fi
    grep -qF "$expected" "$work/out" ||
        { cat "$work/out" >&2; fail "the check did not say '$expected' of the package variant $name"; }
    echo "test-check-package: variant $name fails the check: $(grep -m1 -F "$expected" "$work/out")"
done
