# 32-bit Windows, the reference platform, with SSE2 arithmetic instead of x87.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(picalc_mingw_triplet i686-w64-mingw32)
set(picalc_mingw_flags "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
