#!/bin/sh
# Join figures under a flood: starts a server on a free loopback port and
# runs marrowdigger-flood against it (see tools/flood.cpp), then ends the
# server. Usage: scripts/flood.sh BUILD_DIR churn|forged [TRIES] [RATE]
set -eu
build=${1:?build folder}
kind=${2:?churn or forged}
tries=${3:-50}
rate=${4:-20000}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
server=
end() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap end EXIT INT TERM
"$build/marrowdigger-server" --data "$here/gamedata" --bind 127.0.0.1 --port 0 \
    --turn-ms 500 --quiet >"$work/server.out" 2>&1 &
server=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "flood.sh: the server did not start" >&2; exit 1; }
status=0
XDG_STATE_HOME="$work/state" "$build/marrowdigger-flood" --port "$port" --kind "$kind" \
    --tries "$tries" --rate "$rate" || status=$?
kill "$server"
wait "$server" || true
server=
tail -1 "$work/server.out"
exit $status
