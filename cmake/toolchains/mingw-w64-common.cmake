# Shared by the two Windows toolchains: mingw-w64's own printf (exact %.38lf,
# where the old system C runtime rounded), and a static link so that the .exe
# runs on its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_CXX_COMPILER ${picalc_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${picalc_mingw_triplet}-windres)
set(CMAKE_CXX_FLAGS_INIT "${picalc_mingw_flags} -D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(CMAKE_FIND_ROOT_PATH /usr/${picalc_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
