# Sourced by the cross scripts: for $arch (armel, armhf, arm64) sets triplet,
# the compiler's target, qemu, the emulator command, sysroot, the Debian 11
# root the build uses, and userland, a Debian 11 root of the C library and
# SDL2 alone, standing in for a device. Any other value stops with the
# script's $usage.
case ${arch:-} in
armel) triplet=arm-linux-gnueabi qemu=(/usr/bin/qemu-arm -cpu arm926) ;;
armhf) triplet=arm-linux-gnueabihf qemu=(/usr/bin/qemu-arm -cpu cortex-a7) ;;
arm64) triplet=aarch64-linux-gnu qemu=(/usr/bin/qemu-aarch64) ;;
*) echo "usage: $usage" >&2 && exit 2 ;;
esac
cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/marrowdigger
sysroot=${MD_SYSROOT:-$cache/sysroot-bullseye-$arch}
userland=$cache/userland-bullseye-$arch
