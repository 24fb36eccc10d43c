# 32-bit x86 on a 64-bit Debian: the multiarch libraries (g++-multilib, libreadline-dev:i386,
# libgtest-dev:i386), and the programs run under user-mode emulation (qemu-user's qemu-i386),
# tests included, for a machine that cannot run them itself. -m32 is part of the compiler, not
# of its flags, so that flags given on the command line (CMAKE_CXX_FLAGS) keep it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc -m32)
set(CMAKE_CXX_COMPILER g++ -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# A cache entry, so that an emulator given on the command line, arguments and all, wins.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 CACHE STRING "Runs the target's programs here")
