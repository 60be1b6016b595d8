#!/bin/bash
# Figures of records and spectators, printed: a record's bytes a turn with
# four idle players and with four players tapping a move every other turn
# (1000 turns of 50 ms each); then eight spectators (as many as one address
# may connect) joining a server of 1024 creatures at turn TURNS (1,000,000
# by default; the server starts 1000 turns before with --first-turn): the
# time each takes to catch up and the server's peak memory (VmHWM).
#   scripts/follow-figures.sh [BUILD_DIR] [TURNS]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/programs.sh
build=$(cd "${1:-build}" && pwd)
turns=${2:-1000000}
data=$PWD/gamedata
work=$(mktemp -d)
pids=()
trap 'end_programs "${pids[@]}"; rm -rf "$work"' EXIT

# start_server NAME OPTION...: a server in the background; sets port and pid.
start_server() {
    local name=$1
    shift
    "$build/marrowdigger-server" --data "$data" --port 0 --quiet "$@" >"$work/$name.out" 2>&1 &
    pid=$!
    pids+=("$pid")
    until grep -q "listening on" "$work/$name.out"; do sleep 0.1; done
    port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$work/$name.out")
}

for mode in idle tapping; do
    if [ $mode = idle ]; then
        echo "step 100" >"$work/$mode.txt"
    else
        printf 'step 100\n%s' "$(for i in $(seq 400); do printf 'hold RIGHT 1\nhold LEFT 1\n'; done)" \
            >"$work/$mode.txt"
    fi
    start_server $mode --turn-ms 50 --turns 1000 --record "$work/$mode.rec"
    server=$pid
    for k in 1 2 3 4; do
        "$build/marrowdigger-headless" --data "$data" --connect "127.0.0.1:$port" \
            --script "$work/$mode.txt" --frames 800 >/dev/null 2>&1 &
        pids+=($!)
    done
    wait "$server" || true
    awk -v n="$(stat -c %s "$work/$mode.rec")" -v m=$mode \
        'BEGIN { printf "record, four %s players: %.1f bytes a turn\n", m, n / 1000 }'
done

start_server long --turn-ms 1 --first-turn $((turns - 1000)) --turns $((turns + 4000)) \
    --hash-every 1000 --spectators 16 --all-creatures
server=$pid
until grep -q "^turn $turns hash" "$work/long.out"; do sleep 0.05; done
sleep 2 # about 900 turns more: the newest snapshot is as far back as it gets
for k in $(seq 0 7); do
    "$build/marrowdigger-headless" --data "$data" --spectate "127.0.0.1:$port" \
        >"$work/f$k.out" 2>"$work/f$k.err" &
    pids+=($!)
done
for i in $(seq 300); do
    [ "$(cat "$work"/f*.err | grep -c 'caught up' || true)" -ge 8 ] && break
    sleep 0.2
done
grep -h "caught up" "$work"/f*.err | sed 's/^/spectator: /' || true
grep VmHWM "/proc/$server/status" | sed 's/^/server with 8 spectators: /'
