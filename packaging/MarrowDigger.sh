#!/bin/sh
# Launcher for today's ARM handheld front-ends: the game lives in the folder
# marrowdigger/ beside this file, with its own SDL 1.2 library in libs/ (such
# firmwares ship SDL2 only). Give the device's key mapper the keys listed in
# marrowdigger/README.txt.
dir="$(cd "$(dirname "$0")" && pwd)/marrowdigger"
export LD_LIBRARY_PATH="$dir/libs${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
cd "$dir/gamedata" || exit 1
exec "$dir/marrowdigger"
