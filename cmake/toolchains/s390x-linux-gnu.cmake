# IBM Z Linux: big-endian, the one byte order unlike every other target.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(picalc_triple s390x-linux-gnu)
set(picalc_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
