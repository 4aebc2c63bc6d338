# The archive reader and the entry data reader join the shared core library.
# zlib inflates the entry data and checks their CRC-32. The Windows programs
# are linked with -static and must not need a zlib1.dll beside them, so the
# cross builds take the static libz.a of the mingw package.
target_sources(sfx_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/archive_reader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/entry_reader.cpp
)
if(WIN32)
    set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
target_link_libraries(sfx_core PUBLIC ZLIB::ZLIB)
