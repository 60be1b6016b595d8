#!/bin/sh
# Launcher for today's ARM handheld front-ends: the game lives in the folder
# marrowdigger/ beside this file, with the libraries the firmware may lack in
# libs/: on armhf and arm64 sdl12-compat, the SDL 1.2 that draws through the
# firmware's own SDL2 (libs/ never holds an SDL2), ENet and libpng; on armel
# classic SDL 1.2 and what it needs. When the front-end has a pad-to-keyboard
# mapper, it runs beside the game with marrowdigger.gptk (the keys in
# README.txt). Exits 1 when the game cannot start or ends with an error (the
# game or the loader says why in one line).
dir="$(cd "$(dirname "$0")" && pwd)/marrowdigger"
export LD_LIBRARY_PATH="$dir/libs${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
cd "$dir/gamedata" || exit 1

# sdl12-compat's settings for a 320 x 240 game on a handheld screen, each only
# where the firmware or the player has not set it: sharp pixels (nearest
# scaling, by a whole factor where the screen is a multiple, as 2x on
# 640 x 480) and frames in step with the display. Classic SDL ignores them;
# the firmware's SDL_VIDEODRIVER and SDL_GAMECONTROLLERCONFIG stay as they are.
export SDL12COMPAT_SCALE_METHOD="${SDL12COMPAT_SCALE_METHOD:-nearest}"
export SDL12COMPAT_SYNC_TO_VBLANK="${SDL12COMPAT_SYNC_TO_VBLANK:-1}"

# The mapper: the front-end's $GPTOKEYB (a command, maybe with sudo and
# options), else a usual place. Each is used only when its program is there.
usable() {
    case $1 in
    */*) [ -f "$1" ] && [ -x "$1" ] ;;
    *) command -v "$1" >/dev/null 2>&1 ;;
    esac
}
mapper=
set -f
for candidate in "${GPTOKEYB:-}" /opt/inttools/gptokeyb /usr/local/bin/gptokeyb /usr/bin/gptokeyb; do
    # shellcheck disable=SC2086 # a command and its options
    set -- $candidate
    [ $# -gt 0 ] && usable "$1" && mapper=$candidate && break
done
set +f
mapper_pid=
if [ -n "$mapper" ]; then
    # shellcheck disable=SC2086
    $mapper marrowdigger -c "$dir/marrowdigger.gptk" &
    mapper_pid=$!
fi
trap '[ -z "$mapper_pid" ] || kill "$mapper_pid" 2>/dev/null' EXIT
"$dir/marrowdigger" || exit 1
