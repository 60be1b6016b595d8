# armhf: ARMv7 hard-float, with Debian's floating-point unit (VFPv3-D16).
set(MD_ARCH armhf)
set(MD_TRIPLET arm-linux-gnueabihf)
set(MD_SUITE bullseye)
set(MD_PROCESSOR arm)
set(MD_ARCH_FLAGS "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard")
set(MD_QEMU /usr/bin/qemu-arm -cpu cortex-a7)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
