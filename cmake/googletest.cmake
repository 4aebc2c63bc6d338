# GoogleTest: the host uses the installed package; the Windows builds compile
# it from the Debian googletest sources with the cross compiler.
if(WIN32)
    set(SFX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${SFX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
    # Warnings in the library's own sources are not ours to fix.
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)
