# 32-bit x86 on a 64-bit Debian: g++-multilib's C and C++ libraries, and the other libraries
# (Readline, its terminal library, GoogleTest) of Debian's i386 packages unpacked into a sysroot
# (SPELL_CHECKER_SYSROOT, made by cmake/debian_sysroot.sh), which the programs find by their run
# path. The programs, tests included, run natively where this machine runs 32-bit x86 programs
# itself (a kernel may have its IA-32 emulation off), AVX-512 kernels and all; else under
# user-mode emulation (qemu-user's qemu-i386). -m32 is part of the compiler, not of its flags, so
# that flags given on the command line (CMAKE_CXX_FLAGS) keep it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc -m32)
set(CMAKE_CXX_COMPILER g++ -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# The try_compile projects that CMake makes see the same.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SPELL_CHECKER_SYSROOT)
if(NOT IS_DIRECTORY "${SPELL_CHECKER_SYSROOT}")
  message(FATAL_ERROR "SPELL_CHECKER_SYSROOT names no directory: \"${SPELL_CHECKER_SYSROOT}\" "
                      "(cmake/debian_sysroot.sh i386 DIR makes one)")
endif()
# The sysroot first, then the machine's own (the C and C++ libraries, and the headers).
set(CMAKE_FIND_ROOT_PATH "${SPELL_CHECKER_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(libraries "${SPELL_CHECKER_SYSROOT}/usr/lib/i386-linux-gnu"
              "${SPELL_CHECKER_SYSROOT}/lib/i386-linux-gnu")
string(REPLACE ";" ":" library_path "${libraries}")
# Readline's library needs its terminal library, which the link finds by this path too, and the
# programs by their run path: an old-style one, which the loader searches for the libraries'
# own needs as well.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,-rpath-link,${library_path} -Wl,-rpath,${library_path} -Wl,--disable-new-dtags")
# CMake's own run path for the sysroot's Readline would end in an empty entry, which the loader
# takes for the current directory.
set(CMAKE_SKIP_BUILD_RPATH ON)
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
