# Cross-build for 32-bit Windows with the posix-thread mingw-w64 compilers
# (GoogleTest needs std::mutex, which the win32-thread variant lacks).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(SFX_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
