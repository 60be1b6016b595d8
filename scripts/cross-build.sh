#!/bin/bash
# Cross build for an ARM target, tested under qemu-user:
#
#   scripts/cross-build.sh ARCH [--no-test]      ARCH: armel, armhf or arm64
#
# Installs clang, lld and qemu-user when missing, makes the target's Debian 11
# sysroot (Debian 12 for armel; scripts/sysroot.sh, kept in ~/.cache/marrowdigger
# or $MD_SYSROOT), builds the library, the programs and the tests into
# build-ARCH and runs CTest, whose tests and test discovery run under qemu.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/cross-build.sh armel|armhf|arm64 [--no-test]"
source scripts/cross-arch.sh
jobs=$(nproc)

scripts/deps.sh cmake make pkg-config clang lld llvm qemu-user
scripts/sysroot.sh "$arch" "$sysroot" "$suite"

echo "== $arch: build"
# A build made on another sysroot holds objects and links of its libraries:
# start it afresh.
if ! cmp -s "$sysroot/.sysroot-stamp" "build-$arch/.sysroot-stamp"; then
    rm -rf "build-$arch"
    mkdir -p "build-$arch"
    cp "$sysroot/.sysroot-stamp" "build-$arch/"
fi
cmake -S . -B "build-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch.cmake" \
    -DMD_SYSROOT="$sysroot" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMD_BENCH=OFF >/dev/null
cmake --build "build-$arch" -j"$jobs"
[ "${2:-}" = --no-test ] && exit 0

echo "== $arch: test under qemu"
# The test environment goes to CTest itself as well: gtest_discover_tests
# passes on only the first variable of the tests' ENVIRONMENT list, and
# tests with an environment of their own would lack it too.
emulator=$(sed -n 's/^MD_EMULATOR:INTERNAL=//p' "build-$arch/CMakeCache.txt")
(cd "build-$arch" && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy MD_TEST_EMULATOR=$emulator \
    ctest --output-on-failure -j"$jobs")
