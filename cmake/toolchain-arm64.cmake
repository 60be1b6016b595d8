# arm64: AArch64, today's ARM handhelds.
set(MD_ARCH arm64)
set(MD_TRIPLET aarch64-linux-gnu)
set(MD_SUITE bullseye)
set(MD_PROCESSOR aarch64)
set(MD_ARCH_FLAGS "")
set(MD_QEMU /usr/bin/qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
