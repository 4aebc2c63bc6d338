# The ZIP writer joins the package-assembly library; it deflates with zlib,
# the same (static, on Windows) library the core reader inflates with.
target_sources(packaging PRIVATE ${CMAKE_CURRENT_LIST_DIR}/zip_writer.cpp)
if(NOT TARGET ZLIB::ZLIB)
    if(WIN32)
        set(ZLIB_USE_STATIC_LIBS ON)
    endif()
    find_package(ZLIB REQUIRED)
endif()
target_link_libraries(packaging PUBLIC ZLIB::ZLIB)
