#!/bin/bash
# Builds the game and plays it. With a display it opens the game's window,
# three times enlarged, and passes its arguments on to the game. Without one
# it says so and plays the recorded walk (tests/replays/walk.script) headless
# instead, writing the frame trace into out/, and with no arguments
# screenshots too. Arguments go on to the headless runner then: with
# --connect HOST[:PORT] the walk is played on-line.
#   ./run.sh [ARGUMENTS...]
set -euo pipefail
. "$(dirname "$0")/scripts/help.sh"
# Paths on the command line are the player's, from the folder run.sh was
# started in.
start=$(pwd)
cd "$(dirname "$0")"
root=$(pwd)
scripts/deps.sh --play
# Only the programs: the tests and benchmarks are ./test.sh's. A build folder
# that ./test.sh configured keeps its settings.
configure=()
[ -f build/CMakeCache.txt ] || configure=(-DMD_TESTS=OFF -DMD_BENCH=OFF)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo ${configure[@]+"${configure[@]}"} >/dev/null
cmake --build build -j"$(nproc)" --target marrowdigger marrowdigger-headless marrowdigger-server

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    # The game reads its data from the folder it runs in: a record named
    # relative to the player's folder is made absolute first.
    args=()
    previous=
    for arg in "$@"; do
        value=$arg
        [ "$previous" = --watch ] && [ -n "$arg" ] && [ "${arg#/}" = "$arg" ] && value="$start/$arg"
        case $arg in --watch=[!/]*) value="--watch=$start/${arg#--watch=}" ;; esac
        args+=("$value")
        previous=$arg
    done
    cd gamedata
    # Frames presented in step with the display, so that the idle game does
    # not keep a core busy; sharp pixels. Values already set win.
    export SDL12COMPAT_SYNC_TO_VBLANK="${SDL12COMPAT_SYNC_TO_VBLANK:-1}"
    export SDL12COMPAT_WINDOW_SCALING="${SDL12COMPAT_WINDOW_SCALING:-3}"
    export SDL12COMPAT_SCALE_METHOD="${SDL12COMPAT_SCALE_METHOD:-nearest}"
    exec ../build/marrowdigger ${args[@]+"${args[@]}"}
fi

script=tests/replays/walk.script
mkdir -p out
args=(--data "$root/gamedata" --script "$root/$script" --trace "$root/out/walk.trace")
if [ $# -eq 0 ]; then
    echo "No display is available (DISPLAY and WAYLAND_DISPLAY are unset): playing $script headless instead."
    # Frames in the script: the counts of its hold and wait lines.
    frames=$(sed 's/#.*//' "$script" | awk '$1 == "hold" || $1 == "wait" { n += $NF } END { print n + 0 }')
    rm -f out/walk-*.png
    for ((f = 0; f < frames; f += 50)); do
        args+=(--screenshot "$f:$root/out/$(printf 'walk-%04d.png' "$f")")
    done
    args+=(--screenshot "$((frames - 1)):$root/out/$(printf 'walk-%04d.png' "$((frames - 1))")")
    build/marrowdigger-headless "${args[@]}" --scale 2
    echo "Screenshots (every 50th frame and the last, 2x) and the trace are in $root/out/"
    exit 0
fi

# With arguments they all go to the headless runner, after the walk's own,
# so that they win: --connect HOST plays the walk on-line, as a client of
# HOST, for the script's length; anything the runner does not know is
# refused by it in one line. The runner starts in the player's folder, where
# it reads their paths.
echo "No display is available (DISPLAY and WAYLAND_DISPLAY are unset): playing $script" \
    "headless instead, with the arguments: $*"
trace="$root/out/walk.trace"
for arg in "$@"; do
    case $arg in
    --trace | --trace=*) trace="the file named by --trace" ;;
    esac
done
cd "$start"
"$root/build/marrowdigger-headless" "${args[@]}" "$@"
echo "The frame trace is in $trace"
