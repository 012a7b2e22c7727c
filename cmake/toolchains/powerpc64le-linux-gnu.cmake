# 64-bit POWER Linux, little-endian (Debian's ppc64el, POWER8 and later).
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(picalc_triple powerpc64le-linux-gnu)
set(picalc_qemu qemu-ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
