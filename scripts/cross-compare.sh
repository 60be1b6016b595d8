#!/bin/bash
# Checks that an ARM build behaves exactly as the native one: the recorded
# runs (tests/replays/*.script) give the same trace, line for line (frame
# hashes included), a soak of every creature ends in the same world hash, and
# the ARM runner follows a live game of the native server as a spectator,
# turn for turn (scripts/cross-follow.sh).
#
#   scripts/cross-compare.sh ARCH [NATIVE_BUILD]     (default: build)
#
# Expects build-ARCH from scripts/cross-build.sh; builds the native programs
# when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:?usage: scripts/cross-compare.sh ARCH [NATIVE_BUILD]}
native=${2:-build}
cross=build-$arch
source scripts/cross-native.sh marrowdigger-headless marrowdigger-soak
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Runs a tool of the native build and of the cross build with the same
# arguments; their outputs must be the same, line for line, once the soak's
# timings are left out.
untimed='s/, [0-9.]+ s, [0-9]+ turns\/s$//'
compare() {
    local name=$1 tool=$2
    shift 2
    "$native/$tool" "$@" | sed -E "$untimed" >"$out/$name.native"
    "${emulator[@]}" "$cross/$tool" "$@" | sed -E "$untimed" >"$out/$name.$arch"
    if ! diff "$out/$name.native" "$out/$name.$arch" >"$out/$name.diff"; then
        echo "cross-compare: $name differs on $arch (< native, > $arch):" >&2
        head -n 20 "$out/$name.diff" >&2
        exit 1
    fi
    echo "cross-compare: $name: $(wc -l <"$out/$name.native") lines, same on $arch"
}

for script in tests/replays/*.script; do
    name=$(basename "$script" .script)
    compare "replay-$name" marrowdigger-headless --data gamedata --script "$script" --trace -
done
# All 1024 creatures, 20,000 turns with the per-turn checks.
compare soak marrowdigger-soak --data gamedata --turns 20000 --maps 8 --seed 1 --quiet --world-hash
cat "$out/soak.$arch"
# A live game of the native server, followed under qemu.
scripts/cross-follow.sh "$arch" "$native"
