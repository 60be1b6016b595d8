#!/bin/bash
# Installs what the build and the tests need on Debian 12, when missing.
#   scripts/deps.sh            everything: building, testing, packaging tools
#   scripts/deps.sh --play     only what building and playing the game need
#   scripts/deps.sh PACKAGE... just the packages named (e.g. cross compilers)
# apt's own progress is shown, so a long first install is seen to move.
set -euo pipefail
. "$(dirname "$0")/help.sh"
play=(g++ make cmake pkg-config libsdl1.2-compat-dev libenet-dev libpng-dev)
pkgs=("${play[@]}" libgtest-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xauth
      valgrind libtcod-dev desktop-file-utils xdotool groff-base man-db appstream systemd
      emscripten chromium)
lean=()
if [ "${1:-}" = --play ]; then
    # Recommended packages would double a first install for nothing the game uses.
    pkgs=("${play[@]}")
    lean=(--no-install-recommends)
elif [ $# -gt 0 ]; then
    pkgs=("$@")
fi
need=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "installing: ${need[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    # Wait for another apt run rather than fail on its lock.
    $SUDO apt-get -o DPkg::Lock::Timeout=600 update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y \
        ${lean[@]+"${lean[@]}"} "${need[@]}"
fi
