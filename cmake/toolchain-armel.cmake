# armel: ARMv5TE soft-float, the nearest Debian gets to the handheld's ARM920T.
set(MD_ARCH armel)
set(MD_TRIPLET arm-linux-gnueabi)
set(MD_SUITE bookworm)
set(MD_PROCESSOR arm)
set(MD_ARCH_FLAGS "-march=armv5te -mfloat-abi=soft")
set(MD_QEMU /usr/bin/qemu-arm -cpu arm926)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
