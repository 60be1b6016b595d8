#!/bin/sh
# Join figures under a flood: starts a server on a free loopback port with
# one spectator place, a headless spectator that follows it from before the
# flood to the end, and marrowdigger-flood against it (see tools/flood.cpp);
# then stops the server and says whether the spectator followed throughout,
# up to the stop (exit status 1 when a join failed or the spectator did not).
# Usage: scripts/flood.sh BUILD_DIR churn|forged|squat|squat-play [TRIES] [RATE]
set -eu
build=${1:?build folder}
kind=${2:?churn, forged, squat or squat-play}
tries=${3:-50}
rate=${4:-20000}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
server=
spectator=
end() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    [ -n "$spectator" ] && kill "$spectator" 2>/dev/null && wait "$spectator" 2>/dev/null
    rm -rf "$work"
}
trap end EXIT INT TERM
"$build/marrowdigger-server" --data "$here/gamedata" --bind 127.0.0.1 --port 0 \
    --turn-ms 500 --spectators 1 --spectator-delay 0 --quiet >"$work/server.out" 2>&1 &
server=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "flood.sh: the server did not start" >&2; exit 1; }
"$build/marrowdigger-headless" --data "$here/gamedata" --spectate "127.0.0.1:$port" \
    >"$work/spectator.out" 2>"$work/spectator.err" &
spectator=$!
for _ in $(seq 100); do
    grep -q "caught up" "$work/spectator.err" && break
    sleep 0.1
done
status=0
XDG_STATE_HOME="$work/state" "$build/marrowdigger-flood" --port "$port" --kind "$kind" \
    --tries "$tries" --rate "$rate" || status=$?
kill "$server"
wait "$server" || true
server=
# A stopped server is waited for: the spectator followed throughout when the
# stop is the first thing it says after catching up.
for _ in $(seq 100); do
    grep -q "the server stopped" "$work/spectator.err" && break
    sleep 0.1
done
kill "$spectator"
wait "$spectator" || true
spectator=
said=$(grep -v "caught up" "$work/spectator.err" | head -1)
echo "spectator: $said"
case "$said" in *"the server stopped; waiting"*) ;; *) status=1 ;; esac
tail -1 "$work/server.out"
exit $status
