# A build for another of Debian's architectures (DEBIAN_ARCH: arm64, armhf, armel, ppc64el,
# s390x or mips64el) on an x86-64 Debian: clang for the target, the cross linker of
# binutils-TRIPLE, Debian's libraries for the target unpacked into a sysroot
# (SPELL_CHECKER_SYSROOT, made by cmake/debian_sysroot.sh), and the programs run under
# qemu-user's emulator with that sysroot, tests included. Debian's cross g++ would do as well,
# but it cannot be installed beside g++-multilib, which the 32-bit x86 build needs.
set(CMAKE_SYSTEM_NAME Linux)
# The try_compile projects that CMake makes see the same.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DEBIAN_ARCH SPELL_CHECKER_SYSROOT)

set(flags "")
if(DEBIAN_ARCH STREQUAL "arm64")
  set(triple aarch64-linux-gnu)
  set(processor aarch64)
  set(emulator qemu-aarch64)
elseif(DEBIAN_ARCH STREQUAL "armhf")  # ARMv7-A with VFPv3-D16, as Debian's armhf is built
  set(triple arm-linux-gnueabihf)
  set(processor armv7l)
  set(emulator qemu-arm)
  set(flags "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard -mthumb")
elseif(DEBIAN_ARCH STREQUAL "armel")  # ARMv5TE, soft floating point
  set(triple arm-linux-gnueabi)
  set(processor armv5tel)
  set(emulator qemu-arm)
  set(flags "-march=armv5te -mfloat-abi=soft")
elseif(DEBIAN_ARCH STREQUAL "ppc64el")
  set(triple powerpc64le-linux-gnu)
  set(processor ppc64le)
  set(emulator qemu-ppc64le)
elseif(DEBIAN_ARCH STREQUAL "s390x")  # big-endian
  set(triple s390x-linux-gnu)
  set(processor s390x)
  set(emulator qemu-s390x)
elseif(DEBIAN_ARCH STREQUAL "mips64el")
  set(triple mips64el-linux-gnuabi64)
  set(processor mips64)
  set(emulator qemu-mips64el)
  # Debian's GoogleTest, built by GCC, and clang's code do not mix here: a test program crashes
  # as GoogleTest's code calls a function that clang's code has too, through the GOT. The tests
  # build GoogleTest from Debian's copy of its source (package googletest) instead.
  set(SPELL_CHECKER_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source, to build")
else()
  message(FATAL_ERROR "DEBIAN_ARCH must be arm64, armhf, armel, ppc64el, s390x or mips64el; "
                      "got \"${DEBIAN_ARCH}\"")
endif()
if(NOT IS_DIRECTORY "${SPELL_CHECKER_SYSROOT}")
  message(FATAL_ERROR "SPELL_CHECKER_SYSROOT names no directory: \"${SPELL_CHECKER_SYSROOT}\" "
                      "(cmake/debian_sysroot.sh ${DEBIAN_ARCH} DIR makes one)")
endif()

set(CMAKE_SYSTEM_PROCESSOR ${processor})
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_C_FLAGS_INIT "${flags}")
set(CMAKE_CXX_FLAGS_INIT "${flags}")
set(CMAKE_SYSROOT "${SPELL_CHECKER_SYSROOT}")
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})
# Only the sysroot holds the target's libraries and packages' CMake files.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# A cache entry, so that an emulator given on the command line, arguments and all, wins.
set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator} -L "${SPELL_CHECKER_SYSROOT}" CACHE STRING
    "Runs the target's programs here")
