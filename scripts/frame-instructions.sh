#!/bin/bash
# Instructions of the game's own code (functions compiled from src/) per play
# frame and per menu frame. Counts them with callgrind over two lengths of
# the same headless run and divides the difference by the extra frames, so
# start-up and shutdown drop out. Needs a build with debug information (the
# default RelWithDebInfo build) to tell the game's functions from the rest.
#
#   scripts/frame-instructions.sh [--budget N] [--sanitized] [BUILD_DIR]
#
# Prints the play frame and the menu frame, each split by function. With
# --budget, measures the play frame only and exits 1 when it costs more than
# N instructions. Exits
# 77 (skipped) without valgrind, for a sanitizer build (--sanitized) and
# under an emulator (MD_TEST_EMULATOR).
set -euo pipefail
. "$(dirname "$0")/help.sh"
src=$(cd "$(dirname "$0")/.." && pwd)
budget="" build="$src/build" sanitized=0
while [ $# -gt 0 ]; do
    case "$1" in
    --budget) budget=$2; shift 2 ;;
    --sanitized) sanitized=1; shift ;;
    *) build=$1; shift ;;
    esac
done
if ! command -v valgrind >/dev/null || ! command -v callgrind_annotate >/dev/null; then
    echo "skipped: valgrind (callgrind) is not installed"
    exit 77
fi
if [ "$sanitized" = 1 ]; then
    echo "skipped: valgrind cannot run a sanitizer build"
    exit 77
fi
if [ -n "${MD_TEST_EMULATOR:-}" ]; then
    echo "skipped: instruction counts under an emulator are not the target's"
    exit 77
fi
runner="$build/marrowdigger-headless"
[ -x "$runner" ] || { echo "no headless runner at $runner" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A held walk through the shipped world: a turn every third frame.
cp "$src/tests/replays/walk.script" "$tmp/play.script"
# The menu open from the third frame on, its background animating.
printf 'step 100\nwait 2\nhold START 1\nwait 400\n' >"$tmp/menu.script"

# Self instructions of each of the game's functions in one run, as "count
# file:function" lines. A function is the game's when its code comes from
# src/; what the compiler inlined into it from headers counts as its own.
count() { # script frames out
    valgrind --tool=callgrind --callgrind-out-file="$tmp/cg" "$runner" --data "$src/gamedata" \
        --script "$tmp/$1.script" --frames "$2" >/dev/null 2>"$tmp/log" ||
        { cat "$tmp/log" >&2; exit 2; }
    callgrind_annotate --inclusive=no --auto=no --threshold=100 "$tmp/cg" 2>/dev/null |
        awk '{ n = $1; gsub(",", "", n); line = $0
               if (!sub(/^ *[0-9,]+ +\( *[0-9.]+%\) +/, "", line)) next
               c = index(line, ":"); if (c == 0) next
               file = substr(line, 1, c - 1); fn = substr(line, c + 1)
               sub(/\(.*$/, "", fn); sub(/ \[.*$/, "", fn)
               cost[fn] += n
               if (file ~ /(^|\/)src\/[a-z]+\/[^\/]*$/) { own[fn] = 1; where[fn] = file } }
             END { for (fn in own) { f = where[fn]; sub(/^.*\/src\//, "src/", f)
                                     print cost[fn], f ":" fn } }' >"$3"
}

# Per-frame instructions between two runs, largest first, with the total.
report() { # title script short long
    count "$2" "$3" "$tmp/a"
    count "$2" "$4" "$tmp/b"
    awk -v frames=$(($4 - $3)) '
        NR == FNR { a[$2] = $1; next }
        { d = ($1 - a[$2]) / frames; total += d; if (d >= 50) printf "%12d  %s\n", d, $2 }
        END { printf "%12d  total\n", total }' "$tmp/a" "$tmp/b" | sort -rn >"$tmp/lines"
    echo "$1: $(awk '$2 == "total" { print $1 }' "$tmp/lines") instructions of the game's own code"
    grep -v ' total$' "$tmp/lines"
    awk '$2 == "total" { print $1 }' "$tmp/lines" >"$tmp/$2.total"
}

report "play frame" play 90 240
if [ -z "$budget" ]; then
    report "menu frame" menu 30 180
    exit 0
fi
play=$(cat "$tmp/play.total")
if [ "$play" -le 0 ]; then
    echo "no instructions found in src/: the build needs debug information" >&2
    exit 2
fi
if [ "$play" -gt "$budget" ]; then
    echo "a play frame costs $play instructions, over the budget of $budget"
    exit 1
fi
echo "a play frame costs $play instructions, within the budget of $budget"
