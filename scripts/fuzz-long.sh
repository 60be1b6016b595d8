#!/bin/bash
# Long fuzzing of the six loaders (client configuration, palette, string
# table, tile file, map file, font image), each with libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, several at a time.
#
#   scripts/fuzz-long.sh [LIMIT] [TARGET...]
#
# LIMIT is the number of runs per target (default 10000000), or a time per
# target with an "s" suffix (e.g. 600s). TARGETs are any of config palette
# strings tiles map font netserver followstream record tokenfile script
# clientmsg (default: all). JOBS sets how many run at once
# (default: the number of cores). Builds build-fuzz when needed.
#
# Each target grows its own corpus in build-fuzz/fuzz/long/TARGET/corpus
# (kept between long runs, so a later run carries on from it; the committed
# seeds in fuzz/corpus/TARGET are only read) and logs to
# build-fuzz/fuzz/long/TARGET.log. A crash, hang, leak or broken table leaves
# its input in build-fuzz/fuzz/long/TARGET/artifacts; reproduce it with
#   build-fuzz/fuzz/fuzz_TARGET build-fuzz/fuzz/long/TARGET/artifacts/crash-...
# Prints the runs done per target and exits non-zero when any target failed.
set -euo pipefail
. "$(dirname "$0")/help.sh"
cd "$(dirname "$0")/.."
root=$(pwd)

limit=${1:-10000000}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(config palette strings tiles map font netserver followstream
    record tokenfile script clientmsg)
jobs=${JOBS:-$(nproc)}

# Largest input per target, as in fuzz/CMakeLists.txt.
declare -A max_len=([config]=4096 [palette]=4096 [strings]=4096 [tiles]=4096 [map]=8192
                    [font]=20000 [netserver]=4096 [followstream]=4096 [record]=4096
                    [tokenfile]=256 [script]=4096 [clientmsg]=4096)

if [[ $limit =~ ^[0-9]+s$ ]]; then
    limit_opts=(-max_total_time="${limit%s}" -runs=-1)
elif [[ $limit =~ ^[0-9]+$ ]]; then
    limit_opts=(-runs="$limit")
else
    echo "usage: $0 [RUNS | SECONDSs] [TARGET...]" >&2
    exit 2
fi
for t in "${targets[@]}"; do
    if [ -z "${max_len[$t]:-}" ]; then
        echo "unknown target: $t" >&2
        exit 2
    fi
done

if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DMD_FUZZ=ON \
        -DMD_TESTS=OFF -DMD_BENCH=OFF >/dev/null
fi
cmake --build build-fuzz -j"$(nproc)" >/dev/null

out=$root/build-fuzz/fuzz/long
mkdir -p "$out"
# Leak checking stays on for the long runs, and no single allocation may
# exceed 64 MiB (a font is at most 65536 pixels); the loaders' complaints on
# stderr are silenced (-close_fd_mask=2), the fuzzer's and sanitizers'
# reports are not.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

# Runs one target to its limit; its exit status goes to TARGET.rc.
run_one() {
    local t=$1
    mkdir -p "$out/$t/corpus" "$out/$t/artifacts"
    local start rc=0
    start=$(date +%s)
    "$root/build-fuzz/fuzz/fuzz_$t" "${limit_opts[@]}" -max_len="${max_len[$t]}" -timeout=10 \
        -malloc_limit_mb=64 -close_fd_mask=2 -print_final_stats=1 \
        -artifact_prefix="$out/$t/artifacts/" \
        "$out/$t/corpus" "$root/fuzz/corpus/$t" >"$out/$t.log" 2>&1 || rc=$?
    echo "$rc $(($(date +%s) - start))" >"$out/$t.rc"
}

echo "fuzzing ${targets[*]} ($limit each, $jobs at a time); logs in $out"
for t in "${targets[@]}"; do
    rm -f "$out/$t.rc"
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    run_one "$t" &
done
wait

failed=0
printf '%-8s %12s %8s %8s  %s\n' target runs seconds exec/s result
for t in "${targets[@]}"; do
    read -r rc secs <"$out/$t.rc"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$t.log" | tail -1)
    if [ -z "$runs" ]; then
        # A crash ends the run before the final statistics: take the last count.
        runs=$(grep -o '^#[0-9]*' "$out/$t.log" | tail -1 | tr -d '#')
    fi
    runs=${runs:-0}
    rate=$((secs > 0 ? runs / secs : runs))
    if [ "$rc" -eq 0 ]; then
        result=ok
    else
        result="FAILED ($rc): $(ls "$out/$t/artifacts" | tr '\n' ' ')"
        failed=1
    fi
    printf '%-8s %12s %8s %8s  %s\n' "$t" "$runs" "$secs" "$rate" "$result"
done
exit $failed
