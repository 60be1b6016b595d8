#!/bin/sh
# Link figures of the on-line client: joins through a lossy relay (20 tries
# at 10 % and 30 % loss each way, 20 ms delay), a server started a second
# after its client, taps across a 3 s blackout and at 30 % loss. Prints the
# figure lines of the tests. Usage: scripts/links.sh [BUILD_DIR] [TRIES]
# With "taps" after them: COUNT taps (200 by default) of 80 and 150 ms at
# 0, 40 and 300 ms round trips: more applied than taps is taps that moved
# twice (a few minutes).
# Usage: scripts/links.sh BUILD_DIR TRIES taps [COUNT]
set -eu
build=${1:-build}
if [ "${3:-}" = taps ]; then
    MD_TAP_COUNT=${4:-200} ctest --test-dir "$build" -R 'Taps.*held' -j6 --timeout 3000 \
        --output-on-failure -V | grep -E '^[0-9]+: taps: [0-9]|tests passed|Failed'
    exit 0
fi
MD_LINK_TRIES=${2:-20} ctest --test-dir "$build" -R 'LossyJoins|LateServer|Taps.*(30pc|3000ms)' \
    --output-on-failure -V | grep -E '^[0-9]+: (joins|late server|taps):|tests passed|Failed'
