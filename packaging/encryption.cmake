# Encryption for packages: cipher headers, entry encryption and the system's
# random source. The cipher and the password key come from the core, so the
# writer and the stub share one implementation of them.
target_sources(packaging PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/entry_encryption.cpp
    ${CMAKE_CURRENT_LIST_DIR}/system_random.cpp
)
target_link_libraries(packaging PUBLIC sfx_core)
if(WIN32)
    target_link_libraries(packaging PUBLIC bcrypt)
endif()
