# Shared by the Linux cross toolchains: Debian's cross compiler for the
# triple (package g++-TRIPLE), its C and C++ libraries under /usr/TRIPLE, and
# qemu-user with that root to run the result. Each file sets picalc_triple,
# picalc_qemu and CMAKE_SYSTEM_PROCESSOR first. The project's own flags turn
# floating-point contraction off on every target, which matters most here:
# GCC fuses multiply-adds by default on Arm, RISC-V, POWER and IBM Z.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${picalc_triple}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR ${picalc_qemu} -L /usr/${picalc_triple})
set(CMAKE_FIND_ROOT_PATH /usr/${picalc_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
