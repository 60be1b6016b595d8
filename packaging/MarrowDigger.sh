#!/bin/sh
# Launcher for today's ARM handheld front-ends: the game lives in the folder
# marrowdigger/ beside this file, with its own SDL 1.2 and the libraries it
# needs in libs/. When the front-end has a pad-to-keyboard mapper, it runs
# beside the game with marrowdigger.gptk (the keys in README.txt).
dir="$(cd "$(dirname "$0")" && pwd)/marrowdigger"
export LD_LIBRARY_PATH="$dir/libs${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
cd "$dir/gamedata" || exit 1

# The mapper: the front-end's $GPTOKEYB (a command, maybe with sudo and
# options), else a usual place. Each is used only when its program is there.
usable() {
    case $1 in
    */*) [ -f "$1" ] && [ -x "$1" ] ;;
    *) command -v "$1" >/dev/null 2>&1 ;;
    esac
}
mapper=
set -f
for candidate in "${GPTOKEYB:-}" /opt/inttools/gptokeyb /usr/local/bin/gptokeyb /usr/bin/gptokeyb; do
    # shellcheck disable=SC2086 # a command and its options
    set -- $candidate
    [ $# -gt 0 ] && usable "$1" && mapper=$candidate && break
done
set +f
mapper_pid=
if [ -n "$mapper" ]; then
    # shellcheck disable=SC2086
    $mapper marrowdigger -c "$dir/marrowdigger.gptk" &
    mapper_pid=$!
fi
trap '[ -z "$mapper_pid" ] || kill "$mapper_pid" 2>/dev/null' EXIT
"$dir/marrowdigger"
