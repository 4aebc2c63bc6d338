# Archive encryption: the cipher, the password check and the process-wide
# encryption state. archive_data.cpp is listed with the core sources.
target_sources(sfx_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/cipher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/crypto_state.cpp
    ${CMAKE_CURRENT_LIST_DIR}/password_check.cpp
    ${CMAKE_CURRENT_LIST_DIR}/secure_wipe.cpp
)
# Every chunk of entry data runs through the block function, so it is built
# for speed while the rest of the core stays small.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/cipher.cpp PROPERTIES COMPILE_OPTIONS -O2)

if(WIN32)
    target_sources(sfx_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/md5_digest_win.cpp)
    target_link_libraries(sfx_core PUBLIC advapi32)
else()
    target_sources(sfx_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/md5_digest_posix.cpp)
    target_link_libraries(sfx_core PUBLIC md)
endif()
