#!/bin/bash
# Proves the Debian packages in build-deb/ (from scripts/deb.sh) on fresh
# Debian 12 systems, never the machine's own:
#
#   scripts/deb-clean-test.sh
#
# A bookworm minbase root made with debootstrap is kept in
# ~/.cache/marrowdigger/clean-bookworm (its stamp is written last, so a root
# left half-made is made anew); each check works on a copy of it.
#   root A: apt installs marrowdigger and marrowdigger-data; the game must load
#     sdl12-compat's libSDL-1.2.so.0, say one line and end with status 1
#     without a display, and open its 960 x 720 window on an X server of the
#     host (Xvfb); after apt purges both, none of their files may be left.
#   root B: apt installs marrowdigger-server and marrowdigger-data without any
#     libsdl*, libx11*, libpulse* or libasound* package; the server links no
#     SDL, and started without options it finds its data and lets the host's
#     headless runner (build/marrowdigger-headless) join and walk; the
#     service's command line started three times keeps three records.
#   piuparts installs and purges all three packages in its own copy of the
#     root.
# The copies live in a tmpfs. The run has a mount namespace of its own, and
# each program in a root one more with the root's /proc (and the X sockets):
# the host never sees these mounts and they end with the programs; the copies
# are unmounted and removed on every way out. Each part prints its time, and
# the end the whole.
set -euo pipefail
. "$(dirname "$0")/help.sh"
. "$(dirname "$0")/programs.sh"
# The whole run in a mount namespace of its own: whatever it mounts is gone
# when it ends, however it ends.
if [ -z "${MD_CLEAN_TEST_NS:-}" ]; then
    MD_CLEAN_TEST_NS=1 exec unshare --mount --propagation private -- "$0" "$@"
fi
cd "$(dirname "$0")/.."
started=$SECONDS
suite=bookworm
cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/marrowdigger
pristine=$cache/clean-$suite
out=build-deb
headless=build/marrowdigger-headless

fail() {
    local message=$1 f
    shift
    for f in "$@"; do
        [ -s "$f" ] && { echo "--- ${f##*/}:"; tail -n 5 "$f"; } >&2
    done
    echo "deb-clean-test: FAIL: $message" >&2
    exit 1
}

# The packages of the last scripts/deb.sh, one of each.
debs=()
for name in marrowdigger marrowdigger-data marrowdigger-server; do
    found=("$out/${name}"_*.deb)
    [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] ||
        fail "no single $out/${name}_*.deb: run scripts/deb.sh first"
    debs+=("${found[0]}")
done
scripts/deps.sh debootstrap piuparts xvfb xdotool x11-utils binutils iproute2
# The host's headless runner, the client of the installed server.
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target marrowdigger-headless >/dev/null

. scripts/mirrors.sh

work=$(mktemp -d /var/tmp/marrowdigger-clean.XXXXXX)
pids=()
making=""
# Mount points at or below DIR, deepest first.
mounts_below() {
    findmnt -rn -o TARGET | awk -v d="$1" '$0 == d || index($0, d "/") == 1' | sort -r
}
# Removes DIR, once nothing is mounted below it any more: a live mount of
# the host's /dev, /proc or /tmp would be emptied with it.
remove_tree() {
    local m
    [ -e "$1" ] || return 0
    for m in $(mounts_below "$1"); do
        umount "$m" 2>/dev/null || umount -l "$m" || true
    done
    if [ -n "$(mounts_below "$1")" ]; then
        echo "deb-clean-test: $1 still has mounts; left in place" >&2
        return 1
    fi
    rm -rf --one-file-system "$1"
}
# Ends what is still running of the programs started here (asked first,
# killed after 5 s), then removes the roots.
finish() {
    end_programs ${pids[@]+"${pids[@]}"}
    [ -z "$making" ] || remove_tree "$making" || true
    remove_tree "$work" || true
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# The copies live in memory: they are written once, read a little and
# thrown away.
mount -t tmpfs -o size=4g,mode=0700 marrowdigger-clean "$work" || fail "cannot mount a tmpfs on $work"

# stop PID: ends a program started here, asked first, killed after 5 s.
stop() {
    local deadline=$((SECONDS + 5))
    kill "$1" 2>/dev/null || true
    while kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# in_root ROOT [x11] COMMAND...: COMMAND in the chroot ROOT with a clean
# environment, a /proc of its own and with x11 the host's X sockets
# (read-only), in a private mount namespace: its mounts are never seen by the
# host and end with the command. Started in the background, $! is the
# command's own process.
in_root=(unshare --mount --propagation private -- /bin/sh -c '
    root=$1 x11=$2
    shift 2
    mount -t proc proc "$root/proc" || exit 125
    if [ -n "$x11" ]; then
        mount --bind -o ro /tmp/.X11-unix "$root/tmp/.X11-unix" || exit 125
    fi
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"' sh)
apt_quiet=(apt-get -q -y -o Dpkg::Use-Pty=0)

part() {
    echo "== $1"
    part_started=$SECONDS
}
times=""
part_done() {
    echo "($1: $((SECONDS - part_started)) s)"
    times="$times${times:+, }$1 $((SECONDS - part_started)) s"
}

# The clean root, made once: debootstrap, the release's updates, then the
# stamp. A root without the stamp is made anew.
stamp="$suite minbase from $main_url and $security_url, updated"
part "clean Debian 12 root ($pristine)"
if [ -f "$pristine/.clean-stamp" ] && [ "$(cat "$pristine/.clean-stamp")" = "$stamp" ]; then
    echo "cached, made $(date -r "$pristine/.clean-stamp" '+%F %R')"
else
    log=$cache/clean-$suite.log
    making=$pristine.part
    mkdir -p "$cache"
    remove_tree "$making" && remove_tree "$pristine" ||
        fail "cannot remove the old root $pristine"
    echo "debootstrap $suite (minbase) from $main_url"
    unshare --mount --propagation private -- \
        debootstrap --variant=minbase "$suite" "$making" "$main_url" >"$log" 2>&1 ||
        fail "debootstrap of $suite from $main_url failed (log: $log)"
    cat >"$making/etc/apt/sources.list" <<EOF
deb $main_url $suite main
deb $main_url $suite-updates main
deb $security_url $suite-security main
EOF
    cp -L /etc/resolv.conf "$making/etc/resolv.conf"
    "${in_root[@]}" "$making" "" sh -c "${apt_quiet[*]} update && ${apt_quiet[*]} upgrade && apt-get clean" \
        >>"$log" 2>&1 || fail "updating the new $suite root failed (log: $log)" "$log"
    mv "$making" "$pristine"
    making=""
    echo "$stamp" >"$pristine/.clean-stamp"
    echo "made, $(du -sh "$pristine" | cut -f1)"
fi
part_done "clean root"

# fresh NAME: a copy of the clean root in $work/NAME, its package lists
# renewed and the packages to test in /tmp/debs. No service starts there.
fresh() {
    local root=$work/$1
    cp -a "$pristine" "$root"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    # The copy is thrown away: dpkg need not sync each file it writes.
    echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/unsafe-io"
    mkdir -p "$root/tmp/debs" "$root/tmp/.X11-unix"
    cp "${debs[@]}" "$root/tmp/debs"
    chmod -R a+rX "$root/tmp/debs"
    "${in_root[@]}" "$root" "" "${apt_quiet[@]}" update >"$work/$1.apt.log" 2>&1 ||
        fail "apt-get update in root $1 failed" "$work/$1.apt.log"
}

# install NAME PACKAGE...: apt installs the named packages' files in root
# NAME, as a user would.
install() {
    local root=$1 paths=() name
    shift
    for name in "$@"; do
        paths+=("/tmp/debs/$(basename "$out/${name}"_*.deb)")
    done
    "${in_root[@]}" "$work/$root" "" "${apt_quiet[@]}" install "${paths[@]}" \
        >>"$work/$root.apt.log" 2>&1 || fail "apt-get install $* in a clean root failed" "$work/$root.apt.log"
    echo "apt installed $*: $(grep -cE '^Setting up ' "$work/$root.apt.log") packages set up"
}

# purge NAME PACKAGE...: apt purges the named packages from root NAME; a
# path they listed that is still there and that no package left owns is a
# file they left behind. /bin, /sbin and /lib* are compared as the /usr
# folders they are links to, as packages name either.
purge() {
    local root=$work/$1
    shift
    "${in_root[@]}" "$root" "" dpkg -L "$@" >"$root/tmp/listed"
    "${in_root[@]}" "$root" "" "${apt_quiet[@]}" purge "$@" >>"$root.apt.log" 2>&1 ||
        fail "apt-get purge $* failed" "$root.apt.log"
    "${in_root[@]}" "$root" "" sh -c '
        usr() { sed -E "s#^/(bin|sbin|lib|lib32|lib64|libx32)(/|\$)#/usr/\1\2#" "$@" | sort -u; }
        usr /var/lib/dpkg/info/*.list >/tmp/owned
        usr /tmp/listed | while IFS= read -r path; do
            { [ -e "$path" ] || [ -L "$path" ]; } && ! grep -qxF "$path" /tmp/owned && echo "$path"
        done
        true' >"$work/left"
    [ ! -s "$work/left" ] || fail "the purge of $* left $(wc -l <"$work/left") of their paths" "$work/left"
    echo "apt purged $*: none of the $(sort -u "$root/tmp/listed" | wc -l) paths they listed is left"
}

part "root A: apt-get install marrowdigger marrowdigger-data"
fresh a
a=$work/a
install a marrowdigger marrowdigger-data
part_done "root A install"

part "root A: the game's SDL"
binary=/usr/libexec/marrowdigger/marrowdigger
"${in_root[@]}" "$a" "" ldd "$binary" >"$work/ldd" 2>&1 || fail "ldd $binary in root A failed" "$work/ldd"
lib=$(awk '$1 == "libSDL-1.2.so.0" { print $3 }' "$work/ldd")
[ -n "$lib" ] && [ "$lib" != "not" ] || fail "the loader finds no libSDL-1.2.so.0 for $binary" "$work/ldd"
real=$("${in_root[@]}" "$a" "" readlink -f "$lib")
owner=$("${in_root[@]}" "$a" "" dpkg -S "$real" 2>/dev/null | cut -d: -f1) || owner=""
case $owner in
libsdl1.2-compat-shim | libsdl1.2-compat) ;;
*) fail "the game loads $real of package '${owner:-none}', not sdl12-compat's" ;;
esac
echo "the game loads $real of $owner"
part_done "root A SDL"

part "root A: the game without a display"
status=0
begun=$(date +%s%N)
"${in_root[@]}" "$a" "" timeout -k 1 1 /usr/games/marrowdigger >"$work/nodisplay" 2>&1 || status=$?
ms=$((($(date +%s%N) - begun) / 1000000))
lines=$(grep -c '' "$work/nodisplay" || true)
[ "$status" -eq 1 ] && [ "$lines" -eq 1 ] ||
    fail "without a display the game gave status $status and $lines lines (124: still running after 1 s)" \
        "$work/nodisplay"
echo "status 1 after $ms ms, saying: $(cat "$work/nodisplay")"
part_done "root A no display"

part "root A: the game's window on the host's Xvfb"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
pids+=("$xvfb")
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start" "$work/xvfb.log"
display=":$(cat "$work/display")"
"${in_root[@]}" "$a" x11 env DISPLAY="$display" /usr/games/marrowdigger \
    >"$work/game.log" 2>&1 </dev/null &
game=$!
pids+=("$game")
title="MARROWDIGGER ONLINE (alpha)"
size=""
deadline=$((SECONDS + 30))
while [ $SECONDS -lt $deadline ]; do
    kill -0 "$game" 2>/dev/null || fail "the game ended before its window was seen" "$work/game.log"
    for window in $(DISPLAY=$display xdotool search --name '^MARROWDIGGER ONLINE \(alpha\)$' 2>/dev/null); do
        size=$(DISPLAY=$display xwininfo -id "$window" |
            awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w " x " h }')
        [ "$size" = "960 x 720" ] && break 2
    done
    sleep 0.2
done
[ -n "$size" ] || fail "no window named '$title' on $display within 30 s" "$work/game.log"
[ "$size" = "960 x 720" ] || fail "the game's window is $size, not 960 x 720" "$work/game.log"
echo "window '$title' on $display: $size"
stop "$game"
stop "$xvfb"
part_done "root A window"

part "root A: apt-get purge marrowdigger marrowdigger-data"
purge a marrowdigger marrowdigger-data
remove_tree "$a" || fail "cannot remove root A"
part_done "root A purge"

part "root B: apt-get install marrowdigger-server marrowdigger-data"
fresh b
b=$work/b
install b marrowdigger-server marrowdigger-data
"${in_root[@]}" "$b" "" dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' >"$work/b.packages"
grep -E '^ii +(libsdl|libx11|libpulse|libasound)' "$work/b.packages" >"$work/b.unwanted" || true
[ ! -s "$work/b.unwanted" ] || fail "the server pulled in $(awk '{ print $2 }' "$work/b.unwanted" | xargs)"
echo "$(grep -c '^ii' "$work/b.packages") packages installed, no libsdl*, libx11*, libpulse* nor libasound*"
needed=$(readelf -d "$b/usr/games/marrowdigger-server" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | xargs)
[ -n "$needed" ] || fail "readelf finds no libraries needed by /usr/games/marrowdigger-server"
case " $needed " in
*" libSDL"*) fail "/usr/games/marrowdigger-server links SDL: $needed" ;;
esac
echo "/usr/games/marrowdigger-server needs $needed"
part_done "root B install"

part "root B: the installed server with a client"
# The server's own port unless something of the host holds it.
port=7742
options=()
if [ -n "$(ss -Hlun "sport = :$port")" ]; then
    options=(--port 0)
    echo "UDP port $port is taken on this machine: the server picks a free one"
fi
: >"$work/server.out"
"${in_root[@]}" "$b" "" /usr/games/marrowdigger-server "${options[@]}" \
    >"$work/server.out" 2>"$work/server.err" </dev/null &
server=$!
pids+=("$server")
# wait_line PATTERN FILE WHAT: a line matching PATTERN in FILE, for 60 s
# while the server runs.
wait_line() {
    local deadline=$((SECONDS + 60))
    until grep -qE "$1" "$2"; do
        kill -0 "$server" 2>/dev/null ||
            fail "the server ended before $3" "$work/server.out" "$work/server.err"
        [ $SECONDS -lt $deadline ] || fail "no $3 within 60 s" "$work/server.out" "$work/server.err"
        sleep 0.1
    done
}
listening='^marrowdigger-server: listening on [0-9.]+:([0-9]+),'
wait_line "$listening" "$work/server.out" "listening line"
port=$(sed -nE "s/$listening.*/\\1/p" "$work/server.out")
grep -E "$listening" "$work/server.out"
# Forty frames of the walk, 167 ms each: the first steps to the right.
status=0
timeout -k 5 60 "$headless" --data gamedata --connect "127.0.0.1:$port" \
    --script tests/replays/walk.script --frames 40 --trace "$work/client.trace" \
    >"$work/client.out" 2>"$work/client.err" </dev/null || status=$?
[ "$status" -eq 0 ] || fail "the headless client ended with status $status" "$work/client.err"
wait_line '^slot 0 joined' "$work/server.out" "join line"
grep -m1 '^slot 0 joined' "$work/server.out"
# The player's cell in the first and the last frame after the first turn.
moved=$(grep -v '"turn":0,' "$work/client.trace" | sed -nE 's/.*"x":([0-9]+),"y":([0-9]+).*/\1 \2/p' |
    sed -n '1p;$p' | xargs)
read -r x0 y0 x1 y1 <<<"$moved"
[ -n "${y1:-}" ] || fail "the client's trace has no frames after the first turn" "$work/client.trace"
[ "$x1" -gt "$x0" ] || fail "the client did not walk right: from ($x0, $y0) to ($x1, $y1)" "$work/client.trace"
echo "the client walked from ($x0, $y0) to ($x1, $y1)"
stop "$server"
part_done "root B server"

part "root B: the service's command line, started three times"
# As systemd runs it, in its state folder: the unit's ExecStartPre and
# ExecStart with the options file's example, each start ended after two
# turns. Every start must keep a record of its own.
"${in_root[@]}" "$b" "" /bin/sh -c '
    set -eu
    unit=/lib/systemd/system/marrowdigger-server.service
    pre=$(sed -n "s/^ExecStartPre=//p" "$unit")
    start=$(sed -n "s/^ExecStart=//p" "$unit")
    SERVER_OPTIONS=$(sed -n "s/^#SERVER_OPTIONS=\"\(.*\)\"$/\1/p" /etc/default/marrowdigger-server)
    case $SERVER_OPTIONS in *--record-dir*) ;; *) echo "the options example keeps no records"; exit 1 ;; esac
    mkdir -p /var/lib/marrowdigger-server
    cd /var/lib/marrowdigger-server
    for n in 1 2 3; do
        $pre
        eval "$start" --port 0 --turns 2 --turn-ms 10 --quiet >/dev/null
    done
    ls records' >"$work/records.out" 2>&1 || fail "the service's command line did not start" "$work/records.out"
[ "$(grep -c '\.rec$' "$work/records.out")" -eq 3 ] ||
    fail "three starts of the service did not keep three records" "$work/records.out"
echo "three starts kept three records: $(grep '\.rec$' "$work/records.out" | xargs)"
part_done "root B restarts"

part "root B: apt-get purge marrowdigger-server marrowdigger-data"
purge b marrowdigger-server marrowdigger-data
remove_tree "$b" || fail "cannot remove root B"
part_done "root B purge"

part "piuparts: install and purge of the three packages"
piuparts_log=$work/piuparts.log
TMPDIR=$work unshare --mount --propagation private -- piuparts --existing-chroot "$pristine" \
    --distribution "$suite" --mirror "$main_url" --keep-sources-list --no-upgrade-test \
    "${debs[@]}" >"$piuparts_log" 2>&1 || fail "piuparts failed" "$piuparts_log"
# adequate's findings (broken links, libraries not found) are failures too.
! grep -q 'Inadequate results' "$piuparts_log" ||
    fail "piuparts: $(sed -n 's/.*inadequate tags found: *//p' "$piuparts_log" | head -n1)" "$piuparts_log"
sed -n 's/.*INFO: \(PASS: .*\)/piuparts: \1/p' "$piuparts_log"
part_done "piuparts"

echo "== the packages on clean Debian 12: all passed in $((SECONDS - started)) s ($times)"
