# Tests of archive encryption, and on the host the cipher's benchmark.
target_sources(unit_tests PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/cipher_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/md5_digest_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/password_check_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/decrypting_read_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/entry_encryption_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/encrypted_archive_test.cpp
)

if(NOT WIN32)
    # OpenSSL's Blowfish is the independent reference for the block function.
    find_package(OpenSSL REQUIRED COMPONENTS Crypto)
    target_sources(unit_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/cipher_openssl_test.cpp)
    target_link_libraries(unit_tests PRIVATE OpenSSL::Crypto)

    # Not a test: run it by hand and read the ratios.
    add_executable(cipher_bench ${CMAKE_CURRENT_LIST_DIR}/../bench/cipher_bench.cpp)
    target_link_libraries(cipher_bench PRIVATE sfx_core packaging OpenSSL::Crypto)
endif()
