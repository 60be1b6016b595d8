#!/bin/bash
# Measures how much of a core the idle game uses in a window under Xvfb, in
# play and with the menu open, with frames unpaced (SDL12COMPAT_SYNC_TO_VBLANK=0)
# and paced to the display (=1). Each case runs ROUNDS times; every figure is
# the CPU time of the game's process (all its threads) over SECONDS, in % of
# one core, with the X server's share beside it.
#   scripts/measure-idle-cpu.sh [BUILD_DIR] [SECONDS] [ROUNDS]
set -euo pipefail
. "$(dirname "$0")/help.sh"
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-10}
rounds=${3:-3}
game="$(cd "$build" && pwd)/marrowdigger"
[ -x "$game" ] || { echo "no game at $game: build it first" >&2; exit 1; }
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is needed (scripts/deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=""
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# User plus system CPU time of a process in clock ticks (the fields after the
# parenthesised program name).
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
hz=$(getconf CLK_TCK)

# One run: starts the game, opens the menu if asked, waits for it to settle,
# then prints the game's and the X server's CPU use over the period.
measure() {
    local sync=$1 state=$2 # $3: the line's label
    (cd gamedata && SDL12COMPAT_SYNC_TO_VBLANK=$sync SDL12COMPAT_WINDOW_SCALING=3 \
        SDL12COMPAT_SCALE_METHOD=nearest exec "$game") >"$work/game.log" 2>&1 &
    pid=$!
    local window
    window=$(timeout 20 xdotool search --sync --pid "$pid" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] || { echo "the game's window did not appear:" >&2; cat "$work/game.log" >&2; exit 1; }
    if [ "$state" = menu ]; then
        # Escape held opens the menu, which stays open once it is let go.
        xdotool mousemove --window "$window" 100 100 keydown Escape sleep 0.3 keyup Escape
    fi
    sleep 2
    local g0 x0 g1 x1
    g0=$(cpu_ticks "$pid")
    x0=$(cpu_ticks "$xvfb")
    sleep "$seconds"
    g1=$(cpu_ticks "$pid") || { echo "the game ended during the measurement" >&2; exit 1; }
    x1=$(cpu_ticks "$xvfb")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=""
    awk -v g=$((g1 - g0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$seconds" -v what="$3" \
        'BEGIN { printf "%s: game %5.1f %%  Xvfb %5.1f %%\n", what, 100 * g / hz / s, 100 * x / hz / s }'
}

# Other work on the machine skews the figures: the load average says how much.
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for sync in 0 1; do
    for state in play menu; do
        for round in $(seq "$rounds"); do
            measure "$sync" "$state" "SDL12COMPAT_SYNC_TO_VBLANK=$sync $state, round $round"
        done
    done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
