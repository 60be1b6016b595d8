#!/bin/bash
# Checks that the WebAssembly headless runner on Node.js plays exactly as the
# native one: every recorded run (tests/replays/*.script) gives the same
# trace, line for line, frame hashes included.
#
#   scripts/web-compare.sh [NATIVE_BUILD] [WEB_BUILD]   (default: build build-web)
#
# Without node or the web build (scripts/web-build.sh) it says so and exits
# 77, CTest's skip, except in CI (CI=true), where that is a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
web=${2:-build-web}
missing=""
command -v node >/dev/null || missing="node"
[ -f "$web/marrowdigger-headless.js" ] || missing="${missing:+$missing and }$web/marrowdigger-headless.js"
if [ -n "$missing" ]; then
    if [ "${CI:-}" = true ]; then
        echo "web-compare: $missing missing in CI (scripts/web-build.sh makes the web build)" >&2
        exit 1
    fi
    echo "web-compare: skipped, $missing missing (scripts/web-build.sh makes the web build)"
    exit 77
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for script in tests/replays/*.script; do
    name=$(basename "$script" .script)
    args=(--data gamedata --script "$script" --trace -)
    "$native/marrowdigger-headless" "${args[@]}" >"$out/$name.native" 2>"$out/$name.native.err"
    # Node is given a bounded time: a hung runtime fails rather than stalls.
    timeout 120 node "$web/marrowdigger-headless.js" "${args[@]}" >"$out/$name.web" \
        2>"$out/$name.web.err" || {
        echo "web-compare: $name: the Node.js runner failed:" >&2
        cat "$out/$name.web.err" >&2
        exit 1
    }
    if ! diff "$out/$name.native" "$out/$name.web" >"$out/$name.diff"; then
        echo "web-compare: $name differs on Node.js (< native, > wasm):" >&2
        head -n 20 "$out/$name.diff" >&2
        exit 1
    fi
    if ! diff "$out/$name.native.err" "$out/$name.web.err" >/dev/null; then
        echo "web-compare: $name: the runners' last lines differ:" >&2
        cat "$out/$name.native.err" "$out/$name.web.err" >&2
        exit 1
    fi
    echo "web-compare: $name: $(wc -l <"$out/$name.native") lines, same on Node.js"
done
