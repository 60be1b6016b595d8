#!/bin/bash
# The WebAssembly build: build-web/ holds the headless runner for Node.js
# (marrowdigger-headless.js) and the game's page (index.html, page.js,
# marrowdigger.js, .wasm and .data, the data tree). Needs Debian's
# emscripten (scripts/deps.sh installs it); native builds are not touched.
#
#   scripts/web-build.sh [BUILD_DIR]      (default: build-web)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-web}
scripts/deps.sh emscripten
# Emscripten's JavaScript optimiser needs Debian's acorn module.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DMD_TESTS=OFF -DMD_BENCH=OFF >/dev/null
cmake --build "$out" -j2
echo "web build: $out/index.html, $out/marrowdigger-headless.js"
