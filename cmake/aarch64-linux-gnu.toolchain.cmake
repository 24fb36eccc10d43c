# 64-bit ARM on an x86-64 Debian: clang for the target, the cross linker of
# binutils-aarch64-linux-gnu, Debian's arm64 multiarch libraries (libc6-dev:arm64,
# libstdc++-12-dev:arm64, libreadline-dev:arm64, libgtest-dev:arm64), and the programs run under
# user-mode emulation (qemu-user's qemu-aarch64), tests included. Debian's cross g++ would do as
# well, but it cannot be installed beside g++-multilib, which the 32-bit x86 build needs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# A cache entry, so that an emulator given on the command line, arguments and all, wins.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 CACHE STRING "Runs the target's programs here")
