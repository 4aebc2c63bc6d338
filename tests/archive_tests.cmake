# Tests of the archive reader, the entry data reader and the ZIP writer.
target_sources(unit_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/support/archive_package.cpp
    ${CMAKE_CURRENT_LIST_DIR}/archive_directory_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/entry_reader_test.cpp
)
