# 64-bit Arm Linux.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(picalc_triple aarch64-linux-gnu)
set(picalc_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
