#!/bin/bash
# Installs the build into a scratch prefix and checks the server's system
# service: the unit's exposure as systemd-analyze rates it (at most 2.0),
# and the server started as the unit starts it (its ExecStartPre and
# ExecStart, its environment file, its working folder, with the state folder
# in a scratch place): a headless client joins it and its record lands in the
# state folder's records/, beside the one of an earlier start; a missing or
# empty environment file gives the defaults; a restart takes a client in
# play back; an unknown option there ends it with one line and status 2.
#   service_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1 build=$2 src=$3
if [ -n "${MD_TEST_EMULATOR:-}" ]; then
    echo "skipped: the installed programs are not started under MD_TEST_EMULATOR"
    exit 77
fi
tmp=$(mktemp -d)
server_pid=""
client_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
prefix="$tmp/the prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log"
unit="$prefix/lib/systemd/system/marrowdigger-server.service"
for f in "$unit" "$prefix/etc/default/marrowdigger-server" "$prefix/bin/marrowdigger-server" \
    "$prefix/share/man/man6/marrowdigger-server.6" "$prefix/share/man/man6/marrowdigger.6"; do
    [ -f "$f" ] || fail "not installed: $f"
done

if command -v systemd-analyze >/dev/null; then
    systemd-analyze security --offline=true "$unit" >"$tmp/security" 2>&1 || true
    exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' "$tmp/security")
    [ -n "$exposure" ] || { cat "$tmp/security"; fail "systemd-analyze rated nothing"; }
    awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "exposure $exposure is above 2.0"
    echo "unit exposure: $exposure"
else
    echo "exposure not rated: systemd-analyze is not installed"
fi

# The unit as systemd reads it: the environment file's SERVER_OPTIONS (one
# pair of quotes taken off; the last assignment wins; a missing file is
# allowed by its "-"), substituted unquoted into ExecStart, so split at
# blanks; %S is the state root.
value() { sed -n "s/^$1=//p" "$unit" | tail -n 1; }
exec_line=$(value ExecStart)
env_file=$(value EnvironmentFile)
env_file=${env_file#-}
workdir=$(value WorkingDirectory)
[ "$env_file" = "$prefix/etc/default/marrowdigger-server" ] || fail "EnvironmentFile=$env_file"
[ "$workdir" = "%S/marrowdigger-server" ] || fail "WorkingDirectory=$workdir"
grep -qx "StateDirectory=marrowdigger-server" "$unit" || fail "no StateDirectory"
grep -qx "DynamicUser=yes" "$unit" || fail "no DynamicUser"
unit_argv() {
    local SERVER_OPTIONS=""
    if [ -f "$env_file" ]; then
        SERVER_OPTIONS=$(sed -n 's/^SERVER_OPTIONS=//p' "$env_file" | tail -n 1)
        SERVER_OPTIONS=${SERVER_OPTIONS#\"}
        SERVER_OPTIONS=${SERVER_OPTIONS%\"}
    fi
    set -f
    eval "argv=($exec_line)"
    set +f
}
state="$tmp/state/marrowdigger-server"
mkdir -p "$state"
# The build was configured for another prefix than this scratch one: the
# data's place comes from the environment, as the options file can give it.
export MARROWDIGGER_DATA="$prefix/share/marrowdigger"
start_server() {
    unit_argv
    # Emptied here, not by the background start, so that the wait never reads
    # an earlier start's lines.
    : >"$tmp/server.out"
    (cd "$state" && eval "$(value ExecStartPre)" && exec "${argv[@]}") >"$tmp/server.out" \
        2>"$tmp/server.err" &
    server_pid=$!
}
# Waits for the server's "listening on" line; false when it ended first.
wait_listening() {
    for _ in $(seq 200); do
        grep -q "listening on" "$tmp/server.out" && return 0
        kill -0 "$server_pid" 2>/dev/null || return 1
        sleep 0.05
    done
    fail "the server did not start listening in 10 s"
}
stop_server() {
    kill -TERM "$server_pid"
    local status=0
    wait "$server_pid" || status=$?
    server_pid=""
    [ "$status" -eq 0 ] || { cat "$tmp/server.err"; fail "the server ended with $status"; }
}

# Defaults: no option at all, from a missing file and from the installed
# (empty) one.
unit_argv
[ "${argv[*]}" = "$prefix/bin/marrowdigger-server" ] || fail "installed file gives: ${argv[*]}"
mv "$env_file" "$tmp/default.saved"
unit_argv
[ "${argv[*]}" = "$prefix/bin/marrowdigger-server" ] || fail "missing file gives: ${argv[*]}"
: >"$env_file"
start_server
if wait_listening; then
    grep -q "listening on 0.0.0.0:7742, 4 players, a turn every 500 ms" "$tmp/server.out" ||
        fail "not the defaults: $(cat "$tmp/server.out")"
    stop_server
else
    # Another server on this machine may hold the default port.
    wait "$server_pid" || true
    server_pid=""
    echo "default port busy: defaults checked from the arguments only ($(cat "$tmp/server.err"))"
fi

# A client joins; the record goes to records/ in the state folder, beside the
# one of a start before.
echo 'SERVER_OPTIONS="--port 0 --turn-ms 50 --turns 2 --record-dir records"' >"$env_file"
start_server
wait "$server_pid" || fail "the first start ended with $?: $(cat "$tmp/server.err")"
echo 'SERVER_OPTIONS="--port 0 --turn-ms 50 --record-dir records"' >"$env_file"
start_server
wait_listening || fail "the server ended: $(cat "$tmp/server.err")"
port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\),.*/\1/p' "$tmp/server.out")
timeout -k 5 60 env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$prefix/bin/marrowdigger" \
    --headless --connect "127.0.0.1:$port" --frames 30 >"$tmp/client.out" 2>&1 ||
    { cat "$tmp/client.out"; fail "the headless client did not play"; }
grep -q "slot 0 joined" "$tmp/server.out" || fail "no join: $(cat "$tmp/server.out")"
stop_server
records=("$state"/records/*.rec)
[ ${#records[@]} -eq 2 ] && [ -s "${records[1]}" ] || fail "not two records: ${records[*]}"

# The service's restart as systemd runs it, a stop (SIGTERM) and a start on
# the same port: a client in play waits for it and is taken into its new game.
await() { for _ in $(seq 400); do grep -q "$2" "$1" && return 0; sleep 0.05; done; return 1; }
echo 'SERVER_OPTIONS="--port 0 --turn-ms 50"' >"$env_file"
start_server
wait_listening || fail "the server ended: $(cat "$tmp/server.err")"
port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\),.*/\1/p' "$tmp/server.out")
timeout -k 5 120 env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy XDG_STATE_HOME="$tmp/client" \
    "$prefix/bin/marrowdigger" --headless --connect "127.0.0.1:$port" --frames 100000 \
    >"$tmp/client.out" 2>"$tmp/client.err" &
client_pid=$!
await "$tmp/server.out" "slot 0 joined" || fail "no join before the restart"
stop_server
echo "SERVER_OPTIONS=\"--port $port --turn-ms 50\"" >"$env_file"
start_server
wait_listening || fail "the restart ended: $(cat "$tmp/server.err")"
await "$tmp/client.err" "the server restarted: you are player 1 in a new game" &&
    grep -q "the server stopped; waiting for it to come back" "$tmp/client.err" ||
    fail "the client did not wait for the restart: $(cat "$tmp/client.err")"
kill "$client_pid"
client_pid=""
stop_server

# An unknown option: one line and status 2.
echo 'SERVER_OPTIONS="--port 0 --no-such-option"' >"$env_file"
unit_argv
status=0
(cd "$state" && exec "${argv[@]}") >"$tmp/server.out" 2>"$tmp/server.err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended the server with $status"
[ "$(wc -l <"$tmp/server.err")" -eq 1 ] && grep -q -- "--no-such-option" "$tmp/server.err" ||
    fail "not one line naming the option: $(cat "$tmp/server.err")"
echo "service: exposure, defaults, a client joining, the records, a restart, a bad option: all passed"
