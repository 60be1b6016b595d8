#!/bin/bash
# Lockstep across architectures, live: the native dedicated server plays a
# game of two scripted players (the native headless runner as their clients)
# on a free loopback port, and the ARM headless runner, under qemu, joins it
# late as a spectator. Every `turn T hash H` line the spectator prints of the
# world it rebuilt must be the server's line for that turn, and its lines
# must reach the game's last turn. Prints the turn the spectator joined at
# and the wall time. Every wait is bounded, and the programs it started are
# ended on every way out.
#
#   scripts/cross-follow.sh ARCH [NATIVE_BUILD]     (default: build)
#
# Expects build-ARCH from scripts/cross-build.sh; builds the native programs
# when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/programs.sh
arch=${1:?usage: scripts/cross-follow.sh ARCH [NATIVE_BUILD]}
native=${2:-build}
cross=build-$arch
turns=2000  # the game's length
every=10    # turns between hash lines
turn_ms=5   # between turns
late=500    # turn after which the spectator is started
bound=240   # seconds any one wait may take
started=$SECONDS
source scripts/cross-native.sh marrowdigger-server marrowdigger-headless

out=$(mktemp -d)
pids=()
# Ends what is still running of the programs started here (asked first,
# killed after 5 s), then removes their files.
finish() {
    end_programs ${pids[@]+"${pids[@]}"}
    rm -rf "$out"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Stops with a message, and the last lines of the named outputs.
fail() {
    local message=$1 f
    shift
    for f in "$@"; do
        [ -s "$out/$f" ] && { echo "--- $f:"; tail -n 5 "$out/$f"; } >&2
    done
    echo "cross-follow: $arch: $message" >&2
    exit 1
}

# wait_line PATTERN FILE WHAT: waits for a line matching PATTERN (extended
# regular expression) in FILE while the server runs, for $bound seconds.
wait_line() {
    local deadline=$((SECONDS + bound)) outputs=(server.out server.err a.err b.err follower.err)
    until grep -qE "$1" "$out/$2"; do
        kill -0 "$server" 2>/dev/null || fail "the server ended before $3" "${outputs[@]}"
        [ $SECONDS -lt $deadline ] || fail "no $3 within $bound s" "${outputs[@]}"
        sleep 0.1
    done
}

# wait_end PID WHAT: waits for PID to end, for $bound seconds; sets status
# to its exit status.
wait_end() {
    local deadline=$((SECONDS + bound))
    while kill -0 "$1" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "$2 did not end within $bound s" server.out follower.err
        sleep 0.2
    done
    status=0
    wait "$1" || status=$?
}

# A player's script: each move of the list held for its frames, round after
# round, for a few times the game's length; the player then stands until the
# game ends.
player_script() {
    local round
    echo "step $turn_ms"
    for ((round = 0; round < 200; round++)); do
        printf 'hold %s\n' "$@"
    done
}
player_script "RIGHT 20" "DOWN 8" "LEFT 12" "DOWNRIGHT 6" "UP 10" "UPLEFT 5" >"$out/a.script"
player_script "DOWN 6" "RIGHT 14" "UPRIGHT 4" "LEFT 9" "DOWNLEFT 7" "UP 11" >"$out/b.script"

"$native/marrowdigger-server" --data gamedata --bind 127.0.0.1 --port 0 --players 2 \
    --turn-ms "$turn_ms" --turns "$turns" --hash-every "$every" --spectators 1 \
    >"$out/server.out" 2>"$out/server.err" </dev/null &
server=$!
pids+=("$server")
listening='^marrowdigger-server: listening on 127\.0\.0\.1:([0-9]+),'
wait_line "$listening" server.out "listening line"
port=$(sed -nE "s/$listening.*/\\1/p" "$out/server.out")
for p in a b; do
    "$native/marrowdigger-headless" --data gamedata --connect "127.0.0.1:$port" \
        --script "$out/$p.script" --frames 1000000 >/dev/null 2>"$out/$p.err" </dev/null &
    pids+=($!)
done
wait_line '^slot 0 joined' server.out "first player"
wait_line '^slot 1 joined' server.out "second player"
wait_line "^turn $late hash " server.out "turn $late"
"${emulator[@]}" "$cross/marrowdigger-headless" --data gamedata --spectate "127.0.0.1:$port" \
    --hash-every "$every" >"$out/follower.out" 2>"$out/follower.err" </dev/null &
spectator=$!
pids+=("$spectator")
wait_line '^spectator joined at turn ' server.out "spectator joining"
joined=$(sed -nE 's/^spectator joined at turn ([0-9]+) .*/\1/p' "$out/server.out")
wait_end "$server" "the server"
[ "$status" -eq 0 ] || fail "the server ended with status $status" server.out server.err
wait_end "$spectator" "the spectator"
[ "$status" -eq 0 ] || fail "the spectator ended with status $status" follower.out follower.err
grep -q '^slot [01] left' "$out/server.out" &&
    fail "a player left before the end" server.out a.err b.err

# The hash lines: the spectator's must be the server's, each and all.
hashes='^turn [0-9]+ hash [0-9a-f]{16}$'
grep -E "$hashes" "$out/server.out" >"$out/server.hashes" || true
grep -E "$hashes" "$out/follower.out" >"$out/spectator.hashes" || true
if ! diff "$out/server.hashes" "$out/spectator.hashes" >"$out/hashes.diff"; then
    echo "cross-follow: hash lines (< native server, > $arch spectator):" >&2
    head -n 20 "$out/hashes.diff" >&2
    fail "the spectator is out of step with the server" follower.err
fi
last=$(tail -n 1 "$out/spectator.hashes" | cut -d' ' -f2)
[ "${last:-0}" -ge "$turns" ] || fail "the hash lines stop at turn ${last:-0}, before $turns"
echo "cross-follow: $arch spectator under qemu joined at turn $joined," \
    "$(wc -l <"$out/spectator.hashes") hash lines up to turn $last same as the native" \
    "server's, in $((SECONDS - started)) s"
