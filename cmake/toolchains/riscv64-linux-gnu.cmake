# 64-bit RISC-V Linux (RV64GC).
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(picalc_triple riscv64-linux-gnu)
set(picalc_qemu qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
