#!/bin/bash
# Builds the package a handheld owner copies to the card:
#
#   scripts/package.sh ARCH        ARCH: armel, armhf or arm64
#
# writes dist/marrowdigger-ARCH.zip, laid out as
#   MarrowDigger.sh                 launcher for today's handheld front-ends
#   marrowdigger/marrowdigger       the game, stripped
#   marrowdigger/marrowdigger.gpe   launcher for the original handheld's menu
#   marrowdigger/marrowdigger-headless  headless runner, for checking the package
#   marrowdigger/gamedata/          the data tree
#   marrowdigger/libs/              SDL 1.2 and what it needs beyond the C library
#   marrowdigger/README.txt         controls and key mapping
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/package.sh armel|armhf|arm64"
source scripts/cross-arch.sh
scripts/deps.sh zip
scripts/cross-build.sh "$arch" --no-test
build=build-$arch
sysroot=$(sed -n 's/^MD_SYSROOT:[A-Z]*=//p' "$build/CMakeCache.txt")
libdirs=("$sysroot/lib/$triplet" "$sysroot/usr/lib/$triplet" "$sysroot/usr/lib/$triplet/pulseaudio")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/marrowdigger
mkdir -p "$top/libs" dist
"$triplet-strip" -o "$top/marrowdigger" "$build/marrowdigger"
"$triplet-strip" -o "$top/marrowdigger-headless" "$build/marrowdigger-headless"
cp -r gamedata "$top/gamedata"
install -m 755 packaging/marrowdigger.gpe "$top/"
install -m 755 packaging/MarrowDigger.sh "$stage/"

# Bundles every library the programs need, found in the sysroot, but the C
# library's own (the device has those).
needed() { "$triplet-readelf" -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
queue=("$top/marrowdigger" "$top/marrowdigger-headless")
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for lib in $(needed "$file"); do
        case $lib in
        libc.so.* | libm.so.* | libdl.so.* | libpthread.so.* | librt.so.* | ld-linux* | \
            libgcc_s.so.* | libstdc++.so.* | libresolv.so.*) continue ;;
        esac
        [ -e "$top/libs/$lib" ] && continue
        found=
        for d in "${libdirs[@]}"; do [ -e "$d/$lib" ] && found=$d/$lib && break; done
        [ -n "$found" ] || { echo "package: $lib not in the sysroot" >&2; exit 1; }
        cp -L "$found" "$top/libs/$lib"
        queue+=("$top/libs/$lib")
    done
done

# The README's controls and handheld sections.
awk '/^## /{keep = ($0 == "## Controls" || $0 == "## On a handheld")} keep' README.md \
    >"$top/README.txt"

zip_path=$PWD/dist/marrowdigger-$arch.zip
rm -f "$zip_path"
(cd "$stage" && zip -qr -X "$zip_path" MarrowDigger.sh marrowdigger)
echo "package: $zip_path ($(du -h "$zip_path" | cut -f1), $(ls "$top/libs" | wc -w) libraries)"
