#!/bin/sh
# Cut figures: starts a server on a free loopback port and runs
# marrowdigger-cuts against it (see tools/cuts.cpp): the game's own client
# through a relay cut for each of the given times; then ends the server.
# Usage: scripts/cuts.sh BUILD_DIR [S,S,...]   (default 5,10,20,28)
set -eu
build=${1:?build folder}
cuts=${2:-5,10,20,28}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
server=
end() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap end EXIT INT TERM
"$build/marrowdigger-server" --data "$here/gamedata" --bind 127.0.0.1 --port 0 \
    --players 1 --turn-ms 100 >"$work/server.out" 2>&1 &
server=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "cuts.sh: the server did not start" >&2; exit 1; }
status=0
XDG_STATE_HOME="$work/state" "$build/marrowdigger-cuts" --port "$port" --cuts-s "$cuts" ||
    status=$?
kill "$server"
wait "$server" || true
server=
grep -E "^slot " "$work/server.out" || true
tail -1 "$work/server.out"
exit $status
