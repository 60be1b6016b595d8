#!/bin/bash
# The game's page in Debian's headless Chromium, driven over the DevTools
# protocol (tests/web/watch.js, puppeteer-core from npm): a record of a short
# game of the native server, watched in the page with ?watch=URL, prints the
# same hash lines as the server's --replay of it, and the walk played with
# ?script=URL gives the native runner's trace, frame hashes included.
#
#   scripts/web-page-test.sh [NATIVE_BUILD] [WEB_BUILD]   (default: build build-web)
#
# Without node, npm, Chromium or the web build it says so and exits 77,
# CTest's skip, except in CI (CI=true), where that is a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
web=${2:-build-web}
missing=""
for tool in node npm chromium; do
    command -v "$tool" >/dev/null || missing="${missing:+$missing, }$tool"
done
[ -f "$web/index.html" ] && [ -f "$web/marrowdigger.wasm" ] || missing="${missing:+$missing, }$web"
if [ -n "$missing" ]; then
    if [ "${CI:-}" = true ]; then
        echo "web-page-test: $missing missing in CI (scripts/deps.sh, scripts/web-build.sh)" >&2
        exit 1
    fi
    echo "web-page-test: skipped, $missing missing (scripts/deps.sh, scripts/web-build.sh)"
    exit 77
fi
if [ ! -d tests/web/node_modules/puppeteer-core ]; then
    echo "web-page-test: installing puppeteer-core into tests/web/node_modules"
    npm install --prefix tests/web --no-audit --no-fund --loglevel=error >/dev/null
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
turns=24
every=6
"$native/marrowdigger-server" --data gamedata --port 0 --bind 127.0.0.1 --turns "$turns" \
    --turn-ms 2 --record "$out/game.rec" --quiet --hash-every 0 >/dev/null
"$native/marrowdigger-server" --replay "$out/game.rec" --data gamedata --hash-every "$every" \
    >"$out/expected"
"$native/marrowdigger-headless" --data gamedata --script tests/replays/walk.script --trace - \
    >"$out/walk.trace" 2>/dev/null
# The browser and the static server end with the driver, which is given a
# bounded time.
timeout 240 node tests/web/watch.js "$web" "$out/game.rec" "$every" "$out/expected" \
    tests/replays/walk.script "$out/walk.trace"
