#!/bin/bash
# Records the replays in tests/replays anew, after a change that is meant to
# alter what the game does or draws:
#   scripts/record-replays.sh [BUILD_DIR]      (default: build)
# For each NAME.script it plays the script twice with marrowdigger-headless,
# stops if the two runs differ in any byte, then rewrites NAME.expected (the
# trace lines of every tenth frame, the screenshot frames and the last frame)
# and the screenshots NAME-FRAME.png listed below. It also renews the README
# pictures docs/play.png and docs/menu.png (3x). Look at every new picture
# before you commit it.
set -euo pipefail
. "$(dirname "$0")/help.sh"
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}

# Screenshot frames per script; the README pictures come from these runs.
declare -A shots=([walk]="96 130 270 377" [menu]="24 42 50 75 108" [exit]="20 31")
readme_play="walk 96"
readme_menu="menu 16"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target marrowdigger-headless -j"$(nproc)" >/dev/null
runner=$(cd "$build" && pwd)/marrowdigger-headless
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for script in tests/replays/*.script; do
    name=$(basename "$script" .script)
    frames=${shots[$name]:-}
    if [ -z "$frames" ]; then
        echo "no screenshot frames listed for $name in $0" >&2
        exit 1
    fi
    for run in a b; do
        mkdir -p "$tmp/$run"
        args=()
        for f in $frames; do
            args+=(--screenshot "$f:$tmp/$run/$(printf '%s-%04d.png' "$name" "$f")")
        done
        "$runner" --data gamedata --script "$script" --trace "$tmp/$run/$name.trace" "${args[@]}" \
            2>/dev/null
    done
    if ! diff -r "$tmp/a" "$tmp/b" >/dev/null; then
        echo "$name: two runs of the same script differ; nothing recorded" >&2
        exit 1
    fi
    trace="$tmp/a/$name.trace"
    last=$(($(wc -l <"$trace") - 1))
    {
        echo "# Trace lines of $name.script at chosen frames (scripts/record-replays.sh)."
        awk -v shots=" $frames " -v last="$last" '
            { f = NR - 1 }
            f % 10 == 0 || index(shots, " " f " ") || f == last' "$trace"
    } >"tests/replays/$name.expected"
    rm -f tests/replays/"$name"-[0-9]*.png
    cp "$tmp/a/$name"-*.png tests/replays/
    echo "$name: $((last + 1)) frames; tests/replays/$name.expected and $(echo $frames | wc -w) screenshots"
done

mkdir -p docs
for pic in "play:$readme_play" "menu:$readme_menu"; do
    set -- ${pic#*:}
    "$runner" --data gamedata --script "tests/replays/$1.script" --frames "$(($2 + 1))" \
        --screenshot "$2:$root/docs/${pic%%:*}.png" --scale 3 2>/dev/null
done
echo "docs/play.png and docs/menu.png renewed"
