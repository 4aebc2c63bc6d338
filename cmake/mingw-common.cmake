# Shared part of the two mingw-w64 toolchain files. Every program links
# statically, so nothing but system DLLs is needed on the target, and runs
# under Wine when CTest starts it.
set(CMAKE_C_COMPILER   ${SFX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SFX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${SFX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SFX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
