#!/bin/bash
# Builds the game and plays it. With a display it opens the game's window,
# three times enlarged, and passes its arguments on to the game. Without one
# it says so and plays the recorded walk (tests/replays/walk.script) headless
# instead, writing screenshots and the frame trace into out/.
#   ./run.sh [GAME ARGUMENTS...]
set -euo pipefail
if [ "${1:-}" = -h ] || [ "${1:-}" = --help ]; then
    sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"
    exit 0
fi
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    cd gamedata
    # Frames presented in step with the display, so that the idle game does
    # not keep a core busy; sharp pixels. Values already set win.
    export SDL12COMPAT_SYNC_TO_VBLANK="${SDL12COMPAT_SYNC_TO_VBLANK:-1}"
    export SDL12COMPAT_WINDOW_SCALING="${SDL12COMPAT_WINDOW_SCALING:-3}"
    export SDL12COMPAT_SCALE_METHOD="${SDL12COMPAT_SCALE_METHOD:-nearest}"
    exec ../build/marrowdigger "$@"
fi

echo "No display is available (DISPLAY and WAYLAND_DISPLAY are unset): playing tests/replays/walk.script headless instead."
script=tests/replays/walk.script
# Frames in the script: the counts of its hold and wait lines.
frames=$(sed 's/#.*//' "$script" | awk '$1 == "hold" || $1 == "wait" { n += $NF } END { print n + 0 }')
mkdir -p out
rm -f out/walk-*.png
shots=()
for ((f = 0; f < frames; f += 50)); do
    shots+=(--screenshot "$f:out/$(printf 'walk-%04d.png' "$f")")
done
shots+=(--screenshot "$((frames - 1)):out/$(printf 'walk-%04d.png' "$((frames - 1))")")
build/tools/marrowdigger-headless --data gamedata --script "$script" --trace out/walk.trace \
    --scale 2 "${shots[@]}"
echo "Screenshots (every 50th frame and the last, 2x) and the trace are in $(pwd)/out/"
