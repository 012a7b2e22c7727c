# 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(picalc_mingw_triplet x86_64-w64-mingw32)
set(picalc_mingw_flags "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
