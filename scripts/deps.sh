#!/bin/bash
# Installs what the build and the tests need on Debian 12, when missing.
#   scripts/deps.sh [PACKAGE...]
# With arguments, installs just the packages named (e.g. cross compilers).
set -euo pipefail
. "$(dirname "$0")/help.sh"
pkgs=(build-essential cmake pkg-config libsdl1.2-compat-dev libgtest-dev libbenchmark-dev
      libpng-dev clang libclang-rt-14-dev xvfb xauth valgrind libtcod-dev libenet-dev
      desktop-file-utils xdotool groff-base man-db appstream systemd)
[ $# -gt 0 ] && pkgs=("$@")
need=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "installing: ${need[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    # Wait for another apt run rather than fail on its lock.
    $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        "${need[@]}" >/dev/null
fi
