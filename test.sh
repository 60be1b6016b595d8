#!/bin/bash
# Builds everything and runs every test: the normal build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and short fuzzer runs.
#   ./test.sh
# Compiler warnings are errors when CI=true (or MD_WERROR=ON).
set -euo pipefail
. "$(dirname "$0")/scripts/help.sh"
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)
werror=${MD_WERROR:-OFF}
[ "${CI:-}" = true ] && werror=ON

echo "== WebAssembly build (the Node.js runner and the page)"
scripts/web-build.sh build-web

echo "== build and test (RelWithDebInfo)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMD_TESTS=ON -DMD_BENCH=ON -DMD_WERROR="$werror" \
    >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMD_SANITIZE=ON -DMD_BENCH=OFF \
    -DMD_WERROR="$werror" >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j"$jobs")

if [ -d fuzz ]; then
    echo "== short fuzzer runs (clang, libFuzzer, ASan + UBSan)"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DMD_FUZZ=ON \
        -DMD_TESTS=OFF -DMD_BENCH=OFF -DMD_WERROR="$werror" >/dev/null
    cmake --build build-fuzz -j"$jobs"
    (cd build-fuzz && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j"$jobs")
fi
echo "== all tests passed"
