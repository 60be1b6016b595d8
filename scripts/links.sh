#!/bin/sh
# Link figures of the on-line client: joins through a lossy relay (TRIES at
# 10 % and 30 % loss each way, 20 ms delay, a fresh relay for each join), a
# server started a second after its client, taps across a 3 s blackout and
# at 30 % loss. The figures come from the on-line test program, which this
# builds first in BUILD_DIR (a folder that ./run.sh configured without the
# tests gets them switched on). Prints the figure lines; exit status 1 when
# a case failed. MD_LINK_SEED picks another fixed sequence of losses.
# With "taps" after them: COUNT taps (200 by default) of 80 and 150 ms at
# 0, 40 and 300 ms round trips: more applied than taps is taps that moved
# twice (a few minutes).
# Usage: scripts/links.sh [BUILD_DIR] [TRIES]
#        scripts/links.sh BUILD_DIR TRIES taps [COUNT]
set -eu
build=$(realpath -m "${1:-build}")
tries=${2:-20}
cd "$(dirname "$0")/.."
here=$PWD
type=
[ -f "$build/CMakeCache.txt" ] || type=-DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "links.sh: building test_net and the server in $build (tests switched on)" >&2
cmake -S . -B "$build" -DMD_TESTS=ON $type >/dev/null
cmake --build "$build" -j2 --target test_net marrowdigger-server >/dev/null
if [ "${3:-}" = taps ]; then
    MD_TAP_COUNT=${4:-200} ctest --test-dir "$build" -R 'Taps.*held' -j6 --timeout 3000 \
        --output-on-failure -V | grep -E '^[0-9]+: taps: [0-9]|tests passed|Failed'
    exit 0
fi
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
cd "$here/gamedata"
status=0
# Each case in a process of its own, as ctest runs them.
for filter in 'Loss/LossyJoins.Figures/10pc' 'Loss/LossyJoins.Figures/30pc' 'LateServer.*' \
    '*Taps*30pc_lost*' '*Taps*3000ms_cut'; do
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy XDG_STATE_HOME=$state MD_BUILD_DIR=$build \
        MD_LINK_TRIES=$tries "$build/test_net" --gtest_filter="$filter" >"$state/out" 2>&1 ||
        { status=1; cat "$state/out" >&2; }
    grep -E '^(joins at|late server:|taps: [0-9])' "$state/out" || true
done
exit $status
