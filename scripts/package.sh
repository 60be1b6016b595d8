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
#   marrowdigger/marrowdigger.gptk  keys for the front-end's pad-to-keyboard mapper
#   marrowdigger/port.json          the ports front-ends' metadata: architecture and
#                                   the highest C library version any file needs
#   marrowdigger/gamedata/          the data tree
#   marrowdigger/libs/              armhf, arm64: sdl12-compat as libSDL-1.2.so.0 (it
#                                   draws through the firmware's SDL2) with its
#                                   licence, ENet and libpng; armel: classic
#                                   SDL 1.2 and what it needs beyond the C library
#   marrowdigger/README.txt         controls, key mapping and these files
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/package.sh armel|armhf|arm64"
source scripts/cross-arch.sh
source scripts/elf-needs.sh
scripts/deps.sh zip unzip llvm
scripts/cross-build.sh "$arch" --no-test
[ "$sdl" != compat ] || compat=$(scripts/sdl12-compat.sh "$arch")
build=build-$arch
sysroot=$(sed -n 's/^MD_SYSROOT:[A-Z]*=//p' "$build/CMakeCache.txt")
libdirs=("$sysroot/lib/$triplet" "$sysroot/usr/lib/$triplet" "$sysroot/usr/lib/$triplet/pulseaudio")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/marrowdigger
mkdir -p "$top/libs" dist
llvm-strip -o "$top/marrowdigger" "$build/marrowdigger"
llvm-strip -o "$top/marrowdigger-headless" "$build/marrowdigger-headless"
cp -r gamedata "$top/gamedata"
install -m 755 packaging/marrowdigger.gpe "$top/"
install -m 644 packaging/marrowdigger.gptk "$top/"
install -m 755 packaging/MarrowDigger.sh "$stage/"

# Bundles every library the programs need, found in the sysroot, but the C
# library's own (the device has those). With sdl12-compat, SDL 1.2 is the one
# built from source, which needs only SDL2 and the C library, and zlib (for
# libpng) is left to the firmware too, as every firmware has it.
needed() { llvm-readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
queue=("$top/marrowdigger" "$top/marrowdigger-headless")
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for lib in $(needed "$file"); do
        case $lib in
        libc.so.* | libm.so.* | libdl.so.* | libpthread.so.* | librt.so.* | ld-linux* | \
            libresolv.so.*) continue ;;
        esac
        [ -e "$top/libs/$lib" ] && continue
        if [ "$sdl" = compat ]; then
            case $lib in
            libz.so.1) continue ;;
            libSDL-1.2.so.0)
                cp "$compat" "$(dirname "$compat")/LICENSE.sdl12-compat.txt" "$top/libs/"
                continue
                ;;
            esac
        fi
        found=
        for d in "${libdirs[@]}"; do [ -e "$d/$lib" ] && found=$d/$lib && break; done
        [ -n "$found" ] || { echo "package: $lib not in the sysroot" >&2; exit 1; }
        cp -L "$found" "$top/libs/$lib"
        queue+=("$top/libs/$lib")
    done
done

# The README's controls and handheld sections, and the list of the files.
awk '/^## /{keep = ($0 == "## Controls" || $0 == "## On a handheld" || $0 == "## In the package")}
    keep' README.md docs/handheld.md >"$top/README.txt"

# The ports front-ends' metadata, with the C library version this package
# needs at least, as scripts/check-package.sh measures it too.
case $arch in arm64) port_arch=aarch64 ;; *) port_arch=$arch ;; esac
cat >"$top/port.json" <<JSON
{
  "version": 2,
  "name": "marrowdigger.zip",
  "items": ["MarrowDigger.sh", "marrowdigger"],
  "items_opt": [],
  "attr": {
    "title": "MARROWDIGGER ONLINE",
    "desc": "A character-cell digging game, alone or on-line.",
    "inst": "Ready to run. The keys are in marrowdigger/README.txt.",
    "rtr": true,
    "runtime": null,
    "reqs": [],
    "arch": ["$port_arch"],
    "min_glibc": "$(package_floor "$top")"
  }
}
JSON

zip_path=$PWD/dist/marrowdigger-$arch.zip
rm -f "$zip_path"
(cd "$stage" && zip -qr -X "$zip_path" MarrowDigger.sh marrowdigger)
echo "package: $zip_path ($(stat -c %s "$zip_path") bytes, $(unzip -Z1 "$zip_path" | grep -vc '/$') files;" \
    "libs/: $(ls "$top/libs" | tr '\n' ' '| sed 's/ $//'))"
