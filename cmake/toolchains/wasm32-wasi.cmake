# WebAssembly for WASI preview1 with Debian's clang, wasi-libc, libc++ for
# wasm32 and lld (packages clang, lld, wasi-libc, libc++-dev-wasm32,
# libclang-rt-dev-wasm32): one picalc.wasm for Node's node:wasi, any WASI
# runtime and, through a WASI shim, the browser. wasm32 has no fused
# multiply-add, no extended precision and a 32-bit size_t, like the
# reference platform.
# CMake before 3.31 knows no WASI platform; Generic with the target triple is
# all the build needs.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
set(CMAKE_CROSSCOMPILING_EMULATOR node)
# Nothing of the build machine's (its GoogleTest, its Google Benchmark) is
# for this target.
set(CMAKE_FIND_ROOT_PATH /usr/lib/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
