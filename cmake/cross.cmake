# Shared part of the ARM toolchain files: clang for MD_TRIPLET with lld,
# everything else from a private Debian sysroot (scripts/sysroot.sh): the C
# library, GCC's C++ library and run time, and the libraries the game uses.
# The shipped programs then need no newer C library than that release's.
# qemu-user runs the built programs, test discovery and CTest. The including
# file sets MD_ARCH, MD_TRIPLET, MD_SUITE (the Debian release), MD_PROCESSOR,
# MD_ARCH_FLAGS (the instruction set), MD_ARCH_LIBS (libraries every link
# needs last) and MD_QEMU (the emulator command as a list).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${MD_PROCESSOR})
set(CMAKE_LIBRARY_ARCHITECTURE ${MD_TRIPLET})

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MD_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${MD_TRIPLET})

# The sysroot: -DMD_SYSROOT=..., else $MD_SYSROOT, else the user's cache.
if(NOT MD_SYSROOT)
  if(DEFINED ENV{MD_SYSROOT})
    set(MD_SYSROOT $ENV{MD_SYSROOT})
  else()
    set(MD_SYSROOT $ENV{HOME}/.cache/marrowdigger/sysroot-${MD_SUITE}-${MD_ARCH})
  endif()
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MD_SYSROOT)
set(CMAKE_SYSROOT ${MD_SYSROOT})

set(CMAKE_FIND_ROOT_PATH ${MD_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${MD_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR} ${MD_SYSROOT}/usr/lib/${MD_TRIPLET}/pkgconfig:${MD_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The libraries' own dependencies are found in the sysroot when linking. The
# C++ library and GCC's run time go into every program, so that a device
# needs neither, nor any version of them.
set(MD_LIBS ${MD_SYSROOT}/lib/${MD_TRIPLET}:${MD_SYSROOT}/usr/lib/${MD_TRIPLET})
set(MD_LINK_INIT "-fuse-ld=lld -Wl,-rpath-link,${MD_LIBS}:${MD_SYSROOT}/usr/lib/${MD_TRIPLET}/pulseaudio")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${MD_LINK_INIT} -static-libstdc++ -static-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${MD_LINK_INIT})
set(CMAKE_C_STANDARD_LIBRARIES_INIT "${MD_ARCH_LIBS}")
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "${MD_ARCH_LIBS}")

# Under qemu-user a 32-bit program without 64-bit file offsets gets nothing
# from readdir on a 64-bit host, so every file call uses the 64-bit forms.
# ARM needs aligned word loads: a cast that raises a pointer's alignment is
# reported.
set(CMAKE_C_FLAGS_INIT "${MD_ARCH_FLAGS} -D_FILE_OFFSET_BITS=64 -Wcast-align")
set(CMAKE_CXX_FLAGS_INIT "${MD_ARCH_FLAGS} -D_FILE_OFFSET_BITS=64 -Wcast-align")

# No run path into this machine's sysroot: the programs go into the package
# as they are, and qemu's loader finds the sysroot's libraries by itself.
set(CMAKE_SKIP_BUILD_RPATH ON)

# Built programs run under qemu with the sysroot's loader and libraries.
# Debian 12's loader checks its library folders with statx, which qemu-user
# does not look up in the -L root: there the folders are named by their paths
# on this machine as well.
set(CMAKE_CROSSCOMPILING_EMULATOR ${MD_QEMU} -L ${MD_SYSROOT})
if(MD_SUITE STREQUAL "bookworm")
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR
       -E LD_LIBRARY_PATH=${MD_SYSROOT}/lib/${MD_TRIPLET}:${MD_SYSROOT}/usr/lib/${MD_TRIPLET})
endif()
