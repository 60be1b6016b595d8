#!/bin/bash
# Server CPU with four idle players joined over ENet or over the WebSocket
# door: utime + stime of the server over SECONDS once all four are in, at
# --turn-ms 50. A measuring tool, not a test.
#   tools/door-cpu.sh enet|web [SECONDS] [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
mode=$1
secs=${2:-20}
build=${3:-build}
out=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$out"' EXIT
"$build/marrowdigger-server" --data gamedata --bind 127.0.0.1 --port 0 --web-port 0 \
    --web-root "$out" --turn-ms 50 --hash-every 0 >"$out/server" &
server=$!
pids+=("$server")
until grep -q "listening on" "$out/server"; do sleep 0.1; done
port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$out/server")
web=$(sed -n 's/.*join at http:\/\/127.0.0.1:\([0-9]*\).*/\1/p' "$out/server")
printf 'step 20\nwait %d\n' $(((secs + 10) * 50)) >"$out/stand.script"
cat >"$out/ws.js" <<'JS'
const ws = new WebSocket(`ws://127.0.0.1:${process.argv[2]}/`);
ws.onopen = () => { const h = new Uint8Array(15); h[0] = 1; h.set([77, 68, 71, 79], 1); h[6] = 3; ws.send(h); };
ws.onmessage = () => {};
JS
for i in 1 2 3 4; do
    if [ "$mode" = enet ]; then
        (cd gamedata && "../$build/marrowdigger-headless" --data . --connect "127.0.0.1:$port" \
            --script "$out/stand.script" --trace /dev/null 2>/dev/null) &
    else
        node --experimental-websocket "$out/ws.js" "$web" 2>/dev/null &
    fi
    pids+=($!)
done
until [ "$(grep -c joined "$out/server")" -ge 4 ]; do sleep 0.1; done
ticks() { awk '{print $14 + $15}' "/proc/$server/stat"; }
t0=$(ticks)
sleep "$secs"
t1=$(ticks)
hz=$(getconf CLK_TCK)
echo "$mode: server CPU $(((t1 - t0) * 1000 / hz)) ms over ${secs} s with 4 players" \
     "($(((t1 - t0) * 100000 / hz / secs / 1000)).$(((t1 - t0) * 100000 / hz / secs % 1000 / 100))% of a core)"
