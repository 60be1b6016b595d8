# armhf: ARMv7 hard-float.
set(MD_ARCH armhf)
set(MD_TRIPLET arm-linux-gnueabihf)
set(MD_PROCESSOR arm)
set(MD_QEMU /usr/bin/qemu-arm -cpu cortex-a7)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
