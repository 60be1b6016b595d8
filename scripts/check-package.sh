#!/bin/bash
# Checks a package of scripts/package.sh: unpacks it, checks its contents,
# then under qemu plays the recorded walk with the packaged headless runner
# in the packaged data tree and starts the packaged game for a few seconds.
# On armel both run against a root holding only the C library (the cross
# compiler's), so every other library must come from the package's libs/.
#
#   scripts/check-package.sh ARCH [ZIP]     (default: dist/marrowdigger-ARCH.zip)
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/check-package.sh armel|armhf|arm64 [ZIP]"
source scripts/cross-arch.sh
zip=${2:-dist/marrowdigger-$arch.zip}
scripts/deps.sh unzip qemu-user "binutils-$triplet" "libc6-$arch-cross" "libgcc-s1-$arch-cross"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2 && exit 1; }

unzip -q "$zip" -d "$work"
top=$work/marrowdigger
for f in MarrowDigger.sh marrowdigger/marrowdigger marrowdigger/marrowdigger.gpe \
    marrowdigger/marrowdigger-headless marrowdigger/README.txt marrowdigger/libs/libSDL-1.2.so.0 \
    marrowdigger/gamedata/client/client.cfg marrowdigger/gamedata/client/palette.cfg \
    marrowdigger/gamedata/data/str.dat marrowdigger/gamedata/data/tiledata.cfg \
    marrowdigger/gamedata/data/maptest.map marrowdigger/gamedata/font/font.bmp; do
    [ -e "$work/$f" ] || fail "$f missing"
done
for f in MarrowDigger.sh marrowdigger/marrowdigger.gpe marrowdigger/marrowdigger; do
    [ -x "$work/$f" ] || fail "$f is not executable"
done
sh -n "$work/MarrowDigger.sh" && sh -n "$top/marrowdigger.gpe"
"$triplet-readelf" -S "$top/marrowdigger" | grep -q '\.symtab' && fail "the game is not stripped"
for f in "$top/marrowdigger" "$top/marrowdigger-headless"; do
    "$triplet-readelf" -d "$f" | grep -q '(RPATH)\|(RUNPATH)' && fail "$f has a library run path"
done
grep -q "^## Controls" "$top/README.txt" && grep -q "^## On a handheld" "$top/README.txt" ||
    fail "README.txt lacks the controls or the handheld section"

# The packaged programs as the launchers run them: in the data tree, with the
# bundled libraries first. sdl12-compat (armhf, arm64) loads the firmware's
# SDL2, so there the sysroot stands in for the firmware. Call it in a
# subshell: it changes folder and replaces the shell.
root=/usr/$triplet
[ "$arch" = armel ] || root=$sysroot
run() {
    cd "$top/gamedata"
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy LD_LIBRARY_PATH="$top/libs" \
        exec "${qemu[@]}" -L "$root" "$@"
}
(run ../marrowdigger-headless --script "$PWD/tests/replays/walk.script" --trace - \
    >"$work/walk.trace" 2>"$work/walk.err") || { cat "$work/walk.err" >&2; fail "the walk failed"; }
expected=0
while IFS= read -r line; do
    case $line in '{"frame":'*) ;; *) continue ;; esac
    expected=$((expected + 1))
    grep -qxF "$line" "$work/walk.trace" || fail "walk trace lacks: $line"
done <tests/replays/walk.expected
echo "check-package: walk played from the package, $expected recorded lines matched"

# The game itself has no end of its own: it must still be running after a
# few seconds (a missing library or data file ends it at once).
(run ../marrowdigger >"$work/game.out" 2>&1) &
game=$!
sleep 5
kill -0 "$game" 2>/dev/null || { cat "$work/game.out" >&2; fail "the game ended at start-up"; }
kill "$game"
wait "$game" 2>/dev/null || true
grep -q . "$work/game.out" && { cat "$work/game.out" >&2; fail "the game complained"; }
echo "check-package: $zip passed"
