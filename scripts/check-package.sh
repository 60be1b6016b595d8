#!/bin/bash
# Checks a package of scripts/package.sh: unpacks it and checks its contents;
# reads every ELF file in it (the programs and each library in libs/) and
# fails when one needs a C library version above 2.30 (2.36 on armel, built on
# Debian 12) or any version of the C++ run time, printing the highest C
# library version each file needs; then, under qemu against a Debian 11
# userland (12 on armel) holding only the C library (so
# every other library must come from libs/), plays the recorded walk with the
# packaged headless runner, whose trace must be the native build's line for
# line, and starts the packaged game through MarrowDigger.sh, with and
# without a key mapper, for a few seconds.
#
#   scripts/check-package.sh ARCH [ZIP] [NATIVE_BUILD]
#       (defaults: dist/marrowdigger-ARCH.zip, build)
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/check-package.sh armel|armhf|arm64 [ZIP] [NATIVE_BUILD]"
source scripts/cross-arch.sh
source scripts/elf-needs.sh
zip=${2:-dist/marrowdigger-$arch.zip}
native=${3:-build}
scripts/deps.sh unzip qemu-user llvm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2 && exit 1; }

unzip -q "$zip" -d "$work"
top=$work/marrowdigger
for f in MarrowDigger.sh marrowdigger/marrowdigger marrowdigger/marrowdigger.gpe \
    marrowdigger/marrowdigger-headless marrowdigger/README.txt marrowdigger/libs/libSDL-1.2.so.0 \
    marrowdigger/port.json marrowdigger/marrowdigger.gptk \
    marrowdigger/gamedata/client/client.cfg marrowdigger/gamedata/client/palette.cfg \
    marrowdigger/gamedata/data/str.dat marrowdigger/gamedata/data/tiledata.cfg \
    marrowdigger/gamedata/data/maptest.map marrowdigger/gamedata/font/font.bmp; do
    [ -e "$work/$f" ] || fail "$f missing"
done
for f in MarrowDigger.sh marrowdigger/marrowdigger.gpe marrowdigger/marrowdigger; do
    [ -x "$work/$f" ] || fail "$f is not executable"
done
sh -n "$work/MarrowDigger.sh" && sh -n "$top/marrowdigger.gpe"
llvm-readelf -S "$top/marrowdigger" | grep -q '\.symtab' && fail "the game is not stripped"
for f in "$top/marrowdigger" "$top/marrowdigger-headless"; do
    llvm-readelf -d "$f" | grep -q '(RPATH)\|(RUNPATH)' && fail "$f has a library run path"
done
for section in "Controls" "On a handheld" "In the package"; do
    grep -qx "## $section" "$top/README.txt" || fail "README.txt lacks the section $section"
done

# The C library floor of the firmwares in use, checked on every ELF file.
bad=()
while IFS= read -r -d '' f; do
    is_elf "$f" || continue
    name=${f#"$work/"}
    needs=$(version_needs "$f")
    glibc=$(highest_glibc "$f")
    echo "check-package: $name: highest C library version needed: GLIBC_$glibc"
    cxx=$(grep -E '^(GLIBCXX|CXXABI)_|^GLIBC_[^0-9]' <<<"$needs" | tr '\n' ' ' || true)
    if [ -n "$cxx" ]; then
        echo "check-package: $name needs $cxx" >&2
        bad+=("$name")
    elif version_above "$glibc" "$floor"; then
        echo "check-package: $name needs GLIBC_$glibc, above $floor" >&2
        bad+=("$name")
    fi
done < <(find "$work" -type f -print0 | sort -z)
[ ${#bad[@]} -eq 0 ] || fail "above the C library floor $floor or tied to a C++ run time: ${bad[*]}"
measured=$(package_floor "$work")
grep -q "\"min_glibc\": \"$measured\"" "$top/port.json" ||
    fail "port.json does not give the measured C library floor $measured"
echo "check-package: every file within GLIBC_$floor, none needs the C++ run time"

# The packaged programs as the launchers run them, against a device's
# userland: Debian 11's C library alone. Call run in a subshell: it changes
# folder and replaces the shell.
scripts/sysroot.sh "$arch" "$userland" "$suite" device
userland_libs=$(root_libs "$userland")
run() {
    cd "$top/gamedata"
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy LD_LIBRARY_PATH="$top/libs${userland_libs:+:$userland_libs}" \
        exec "${qemu[@]}" -L "$userland" "$@"
}
scripts/deps.sh
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j"$(nproc)" --target marrowdigger-headless >/dev/null
walk=(--script "$PWD/tests/replays/walk.script" --trace -)
"$native/marrowdigger-headless" --data gamedata "${walk[@]}" >"$work/walk.native"
(run ../marrowdigger-headless "${walk[@]}" >"$work/walk.trace" 2>"$work/walk.err") ||
    { cat "$work/walk.err" >&2; fail "the walk failed"; }
diff "$work/walk.native" "$work/walk.trace" >"$work/walk.diff" ||
    { head -n 20 "$work/walk.diff" >&2; fail "the packaged walk differs from the native one"; }
echo "check-package: walk played from the package, $(wc -l <"$work/walk.trace") lines as native"

# The game through MarrowDigger.sh. In this copy the game is a script that
# starts the real one under qemu. The game has no end of its own: it must
# still be running after five seconds (a missing library or data file ends
# it at once).
mv "$top/marrowdigger" "$top/marrowdigger.$arch"
# shellcheck disable=SC2016 # $0 and $@ are the script's own
printf '#!/bin/sh\nexec %s -L %s "$0.%s" "$@"\n' "${qemu[*]}" "$userland" "$arch" >"$top/marrowdigger"
chmod +x "$top/marrowdigger"
printf '#!/bin/sh\necho "$@" >"%s"\nexec sleep 60\n' "$work/mapper.args" >"$work/mapper"
chmod +x "$work/mapper"
start_game() {
    local what=$1 mapper=$2 launcher
    GPTOKEYB=$mapper SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy LD_LIBRARY_PATH=$userland_libs \
        setsid sh "$work/MarrowDigger.sh" >"$work/game.out" 2>&1 </dev/null &
    launcher=$!
    sleep 5
    kill -0 "$launcher" 2>/dev/null || { cat "$work/game.out" >&2; fail "the game ended at start-up $what"; }
    kill -- -"$launcher"
    wait "$launcher" 2>/dev/null || true
    grep -q . "$work/game.out" && { cat "$work/game.out" >&2; fail "the game complained $what"; }
    echo "check-package: the game runs through MarrowDigger.sh $what"
}
start_game "without a key mapper" "$work/no-mapper"
start_game "with a key mapper" "$work/mapper"
grep -qx "marrowdigger -c $top/marrowdigger.gptk" "$work/mapper.args" ||
    fail "MarrowDigger.sh did not start the key mapper with marrowdigger.gptk"
echo "check-package: $zip passed"
