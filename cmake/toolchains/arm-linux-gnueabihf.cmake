# 32-bit Arm Linux, hard float (Debian's armhf: ARMv7-A with VFPv3-D16, as on
# a Raspberry Pi 2 or later under the 32-bit Raspberry Pi OS). Doubles live
# in VFP registers: IEEE double arithmetic, no extended precision.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(picalc_triple arm-linux-gnueabihf)
set(picalc_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
