#!/bin/bash
# Checks a package of scripts/package.sh: unpacks it and checks its contents
# (on armhf and arm64: libs/ holds at most 4 files, sdl12-compat with its
# licence, and no SDL2, X11 or PulseAudio library); reads every ELF file in it
# (the programs and each library in libs/) and fails when one needs a C
# library version above 2.30 (2.36 on armel, built on Debian 12) or any
# version of the C++ run time, printing the highest C library version each
# file needs. Then, under qemu, against a firmware-like Debian 11 userland:
# the C library and SDL2 with what it needs, no classic SDL 1.2 (on armel, a
# Debian 12 userland of the C library alone, ARMv5 devices having no SDL2),
# so every other library must come from libs/: plays the recorded walk with
# the packaged headless runner, whose trace must be the native build's line
# for line, and starts the packaged game through MarrowDigger.sh, with and
# without a key mapper, for five seconds; on armhf and arm64 it must have
# drawn frames through the root's SDL2 and kept the firmware's settings, and
# in a root without SDL2 it must end at once with the loader's one line
# naming libSDL2-2.0.so.0 and MarrowDigger.sh with status 1.
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

# libs/ holds only what the firmware may lack: sdl12-compat, which draws
# through the firmware's SDL2, with its licence, ENet and libpng.
if [ "$sdl" = compat ]; then
    libs=$(ls "$top/libs" | tr '\n' ' ')
    [ "$(ls "$top/libs" | wc -l)" -le 4 ] || fail "libs/ holds more than 4 files: $libs"
    for f in "$top"/libs/*; do
        case ${f##*/} in
        libSDL2* | libX11* | libxcb* | libpulse*) fail "libs/ holds ${f##*/}, which the firmware provides" ;;
        esac
    done
    [ -f "$top/libs/LICENSE.sdl12-compat.txt" ] || fail "libs/ lacks sdl12-compat's licence LICENSE.sdl12-compat.txt"
    llvm-readelf -d "$top/libs/libSDL-1.2.so.0" | grep -q '(NEEDED).*\[libSDL2-2.0.so.0\]' ||
        fail "libs/libSDL-1.2.so.0 is not sdl12-compat: it does not load libSDL2-2.0.so.0"
    echo "check-package: libs/: $libs"
fi

# The packaged programs as the launchers run them, against a device's
# userland: the firmware-like root of Debian 11's C library and SDL2, or on
# armel Debian 12's C library alone. Call run in a subshell: it changes
# folder and replaces the shell.
scripts/sysroot.sh "$arch" "$userland" "$suite" device
root=$userland
if [ "$sdl" = compat ]; then
    scripts/sysroot.sh "$arch" "$firmware" "$suite" firmware
    root=$firmware
    sdl2=$root/usr/lib/$triplet/libSDL2-2.0.so.0
    [ -e "$sdl2" ] || fail "$root has no libSDL2-2.0.so.0"
    [ -z "$(find "$root" -name 'libSDL-1.2.so*' | head -n1)" ] || fail "$root holds classic SDL 1.2"
    # Debian 11's SDL2 is linked to X11's and PulseAudio's client libraries
    # (firmware's own builds for KMS/DRM are not), so the root holds those.
    echo "check-package: firmware root: SDL2 2.0.14, no classic SDL 1.2; its SDL2 itself needs" \
        "$(llvm-readelf -d "$sdl2" | sed -n 's/.*(NEEDED).*\[\(lib\(X\|xcb\|pulse\).*\)\]/\1/p' | tr '\n' ' ')"
fi
root_libs_path=$(root_libs "$root")
run() {
    cd "$top/gamedata"
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy LD_LIBRARY_PATH="$top/libs${root_libs_path:+:$root_libs_path}" \
        exec "${qemu[@]}" -L "$root" "$@"
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
# keeps its process id and SDL settings and starts the real one under qemu
# in the root given by MD_ROOT. The game has no end of its own: it must
# still be running after five seconds (a missing library or data file ends
# it at once). SDL's dummy video driver stands in for the screen: Debian 11's
# SDL2 has no offscreen driver, and the dummy one honours an explicit
# SDL_VIDEODRIVER as well and can save the frames it is given.
mv "$top/marrowdigger" "$top/marrowdigger.$arch"
# shellcheck disable=SC2016 # $0, $$ and $@ are the script's own
printf '#!/bin/sh\necho $$ >"%s"\nenv | grep "^SDL" | sort >"%s"\nexec %s -L "$MD_ROOT" "$0.%s" "$@"\n' \
    "$work/game.pid" "$work/game.env" "${qemu[*]}" "$arch" >"$top/marrowdigger"
chmod +x "$top/marrowdigger"
printf '#!/bin/sh\necho "$@" >"%s"\nexec sleep 60\n' "$work/mapper.args" >"$work/mapper"
chmod +x "$work/mapper"
# wait_frames: five seconds on the clock, counting the frames the game saves
# without keeping them. SDL's dummy driver saves every frame it is given,
# numbered (SDL_window1-00000001.bmp on), and without a display to wait for
# the game draws thousands a second. So the game (the launcher's process
# group) runs a tenth of a second at a time; while it is stopped, the count
# is read from the newest frame's number and every other frame is removed
# in one go. The disk holds at most what it saves in one slice, whatever the
# speed of the machine, and a slow removal only makes the slices fewer.
# frame_size is the size of a whole frame (not the newest, which may be
# half-written).
wait_frames() {
    local end saved newest
    frames=0 frame_size=0
    end=$(($(date +%s%N) / 1000000 + 5000))
    while [ $(($(date +%s%N) / 1000000)) -lt "$end" ]; do
        sleep 0.1
        kill -STOP -- -"$launcher" 2>/dev/null || break
        saved=$(find "$top/gamedata" -maxdepth 1 -name 'SDL_window*.bmp' | sort | tail -n 2)
        newest=$(tail -n 1 <<<"$saved")
        if [ -n "$newest" ]; then
            [ "$frame_size" -gt 0 ] || [ "$(wc -l <<<"$saved")" -lt 2 ] ||
                frame_size=$(stat -c %s "$(head -n 1 <<<"$saved")")
            newest=${newest##*/}
            frames=$((10#$(sed 's/.*-\([0-9]*\)\.bmp$/\1/' <<<"$newest") - 1))
            find "$top/gamedata" -maxdepth 1 -name 'SDL_window*.bmp' ! -name "$newest" -delete
        fi
        kill -CONT -- -"$launcher" 2>/dev/null || break
    done
}
# start_game WHAT MAPPER [VAR=VALUE...]: the game for five seconds.
start_game() {
    local what=$1 mapper=$2 launcher
    shift 2
    rm -f "$work/game.pid" "$top"/gamedata/SDL_window*.bmp
    env "$@" GPTOKEYB="$mapper" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy MD_ROOT="$root" \
        LD_LIBRARY_PATH="$root_libs_path" setsid sh "$work/MarrowDigger.sh" >"$work/game.out" 2>&1 </dev/null &
    launcher=$!
    wait_frames
    kill -0 "$launcher" 2>/dev/null || { cat "$work/game.out" >&2; fail "the game ended at start-up $what"; }
    [ "$sdl" != compat ] || cp "/proc/$(cat "$work/game.pid")/maps" "$work/game.maps" 2>/dev/null ||
        : >"$work/game.maps"
    kill -- -"$launcher"
    wait "$launcher" 2>/dev/null || true
    grep -q . "$work/game.out" && { cat "$work/game.out" >&2; fail "the game complained $what"; }
    echo "check-package: the game runs through MarrowDigger.sh $what"
}
if [ "$sdl" = compat ]; then
    # qemu maps the guest's libraries from their files: the process shows
    # which SDL2 and which SDL 1.2 the game loaded.
    start_game "without a key mapper" "$work/no-mapper" SDL_VIDEO_DUMMY_SAVE_FRAMES=1
    grep -q " $root/usr/lib/$triplet/libSDL2-2.0.so.0" "$work/game.maps" ||
        fail "the game did not load the root's libSDL2-2.0.so.0"
    grep -q " $top/libs/libSDL-1.2.so.0\$" "$work/game.maps" ||
        fail "the game did not load the package's libSDL-1.2.so.0"
    [ "$frames" -ge 5 ] || fail "the game drew $frames frames in five seconds"
    # Each frame is a whole 320 x 240 picture (a BMP of 24 or 32 bits a pixel).
    [ "$frame_size" -ge $((320 * 240 * 3)) ] || fail "a frame of $frame_size bytes is smaller than 320 x 240"
    echo "check-package: $frames frames drawn through $root's SDL2 by the package's sdl12-compat"
    grep -qx SDL12COMPAT_SCALE_METHOD=nearest "$work/game.env" && grep -qx SDL12COMPAT_SYNC_TO_VBLANK=1 "$work/game.env" ||
        { cat "$work/game.env" >&2; fail "MarrowDigger.sh did not set sdl12-compat's settings"; }
    rm -f "$top"/gamedata/SDL_window*.bmp
    # A firmware's own settings are kept.
    start_game "with a key mapper" "$work/mapper" SDL12COMPAT_SCALE_METHOD=linear \
        SDL12COMPAT_SYNC_TO_VBLANK=0 SDL_GAMECONTROLLERCONFIG="0300,handheld pad,a:b0"
    for v in SDL12COMPAT_SCALE_METHOD=linear SDL12COMPAT_SYNC_TO_VBLANK=0 SDL_VIDEODRIVER=dummy \
        "SDL_GAMECONTROLLERCONFIG=0300,handheld pad,a:b0"; do
        grep -qx "$v" "$work/game.env" || { cat "$work/game.env" >&2; fail "MarrowDigger.sh did not keep $v"; }
    done
    # A firmware without SDL2: the loader's one line, and status 1.
    root=$userland
    status=0
    GPTOKEYB=$work/no-mapper MD_ROOT=$root LD_LIBRARY_PATH=$(root_libs "$root") \
        timeout 60 sh "$work/MarrowDigger.sh" >"$work/game.out" 2>&1 </dev/null || status=$?
    [ "$status" = 1 ] && [ "$(wc -l <"$work/game.out")" = 1 ] && grep -q 'libSDL2-2\.0\.so\.0' "$work/game.out" ||
        { cat "$work/game.out" >&2; fail "without SDL2, MarrowDigger.sh ended with status $status, not 1 and one line naming libSDL2-2.0.so.0"; }
    echo "check-package: without SDL2: $(cat "$work/game.out")"
else
    start_game "without a key mapper" "$work/no-mapper"
    start_game "with a key mapper" "$work/mapper"
fi
grep -qx "marrowdigger -c $top/marrowdigger.gptk" "$work/mapper.args" ||
    fail "MarrowDigger.sh did not start the key mapper with marrowdigger.gptk"
echo "check-package: $zip passed"
