# Sourced by the cross scripts: for $arch (armel, armhf, arm64) sets triplet,
# the compiler's target, qemu, the emulator command, suite, the Debian
# release the build and its tests use, floor, the highest C library version
# a package may need, sysroot, the build's root of that release, and
# userland, a root of its C library alone, standing in for a device,
# firmware, a root of the C library and SDL2, standing in for today's
# firmware (armhf and arm64 only), and sdl, the SDL 1.2 a package carries:
# compat (sdl12-compat, drawing through the firmware's SDL2) or classic. Any
# other value stops with the script's $usage.
#
# armel is built on Debian 12: Debian 11's archive carries no armel packages
# any more. Its packages keep classic SDL 1.2: ARMv5 devices have no SDL2.
case ${arch:-} in
armel) triplet=arm-linux-gnueabi qemu=(/usr/bin/qemu-arm -cpu arm926) suite=bookworm floor=2.36 sdl=classic ;;
armhf) triplet=arm-linux-gnueabihf qemu=(/usr/bin/qemu-arm -cpu cortex-a7) suite=bullseye floor=2.30 sdl=compat ;;
arm64) triplet=aarch64-linux-gnu qemu=(/usr/bin/qemu-aarch64) suite=bullseye floor=2.30 sdl=compat ;;
*) echo "usage: $usage" >&2 && exit 2 ;;
esac
cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/marrowdigger
sysroot=${MD_SYSROOT:-$cache/sysroot-$suite-$arch}
userland=$cache/userland-$suite-$arch
firmware=$cache/firmware-$suite-$arch
# root_libs ROOT: the library folders of ROOT by their paths on this machine,
# for LD_LIBRARY_PATH under qemu, where Debian 12's loader (armel) checks
# folders with statx, which qemu does not look up in the -L root; nothing for
# Debian 11.
root_libs() { [ "$suite" = bullseye ] || echo "$1/lib/$triplet:$1/usr/lib/$triplet"; }
