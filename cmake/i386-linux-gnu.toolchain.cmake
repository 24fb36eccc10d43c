# 32-bit x86 on a 64-bit Debian: the multiarch libraries (g++-multilib, libreadline-dev:i386,
# libgtest-dev:i386). The programs, tests included, run natively where this machine runs 32-bit
# x86 programs itself (a kernel may have its IA-32 emulation off), AVX-512 kernels and all; else
# under user-mode emulation (qemu-user's qemu-i386). -m32 is part of the compiler, not of its
# flags, so that flags given on the command line (CMAKE_CXX_FLAGS) keep it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc -m32)
set(CMAKE_CXX_COMPILER g++ -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# The 32-bit dynamic loader runs, and says its version, only where 32-bit programs run.
execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE loader_status
                OUTPUT_QUIET ERROR_QUIET)
if(loader_status STREQUAL "0")
  set(emulator "")
else()
  set(emulator qemu-i386)
endif()
# A cache entry, so that an emulator given on the command line, arguments and all, wins.
set(CMAKE_CROSSCOMPILING_EMULATOR "${emulator}" CACHE STRING "Runs the target's programs here")
