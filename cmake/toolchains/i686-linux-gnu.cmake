# 32-bit x86 Linux. 32-bit x86 compilers default to x87 extended precision;
# SSE2 keeps every double a plain IEEE double, as the printed results require.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(picalc_triple i686-linux-gnu)
set(picalc_qemu qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
