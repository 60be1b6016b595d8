# armel: ARMv5TE soft-float, the nearest Debian gets to the handheld's ARM920T.
set(MD_ARCH armel)
set(MD_TRIPLET arm-linux-gnueabi)
set(MD_SUITE bookworm)
set(MD_PROCESSOR arm)
set(MD_ARCH_FLAGS "-march=armv5te -mfloat-abi=soft")
# ARMv5 has no atomic instructions: clang calls GCC's atomic library for
# them, linked in like the rest of the run time.
set(MD_ARCH_LIBS "-l:libatomic.a")
set(MD_QEMU /usr/bin/qemu-arm -cpu arm926)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
