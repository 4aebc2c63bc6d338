# Tests of the archive reader, the entry data reader and the ZIP writer.
target_sources(unit_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/support/archive_package.cpp
    ${CMAKE_CURRENT_LIST_DIR}/archive_directory_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/entry_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zip_writer_test.cpp
)

# Archives from real tools, made on the build machine by a shell script. The
# Windows test program reads them under Wine through its Z: drive, which
# shows the build machine's root folder.
if(CMAKE_HOST_UNIX)
    set(SFX_TOOL_ARCHIVES ${CMAKE_BINARY_DIR}/tool_archives)
    add_custom_command(OUTPUT ${SFX_TOOL_ARCHIVES}/stamp
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fixtures/make_tool_archives.sh ${SFX_TOOL_ARCHIVES}
        DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fixtures/make_tool_archives.sh
        COMMENT "Making the real-tool test archives"
        VERBATIM)
    add_custom_target(tool_archives DEPENDS ${SFX_TOOL_ARCHIVES}/stamp)
    add_dependencies(unit_tests tool_archives)
    if(WIN32)
        set(SFX_TOOL_ARCHIVES "Z:${SFX_TOOL_ARCHIVES}")
    endif()
    target_sources(unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/real_zip_tools_test.cpp)
    set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/real_zip_tools_test.cpp APPEND PROPERTY
        COMPILE_DEFINITIONS SFX_TOOL_ARCHIVES_DIR="${SFX_TOOL_ARCHIVES}")
endif()

# Reader throughput against plain zlib in the same process; run by hand, see
# the comment at the top of the source. Not a test.
add_executable(archive_bench ${CMAKE_SOURCE_DIR}/bench/archive_bench.cpp)
target_link_libraries(archive_bench PRIVATE sfx_core packaging)
