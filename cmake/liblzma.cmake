# liblzma, for LZMA entries: three targets that the code links by name.
#
#   liblzma_codec           encoder and decoder: the packer
#   liblzma_stub_decoder    the decoder alone, built small: the stub
#   liblzma_headers         lzma.h only, for the shared core, which both of
#                           them link: a program takes one build of liblzma,
#                           never parts of two
#
# On Linux both are Debian's liblzma-dev. Debian has no mingw build of it,
# so for Windows scripts/build-liblzma.sh builds both from Debian's own
# xz-utils source package into build/deps/liblzma/TRIPLET-packer and
# TRIPLET-stub; a configure that finds them missing runs it for its target.
if(NOT WIN32)
    find_package(LibLZMA REQUIRED)
    add_library(liblzma_codec INTERFACE)
    target_link_libraries(liblzma_codec INTERFACE LibLZMA::LibLZMA)
    add_library(liblzma_stub_decoder INTERFACE)
    target_link_libraries(liblzma_stub_decoder INTERFACE LibLZMA::LibLZMA)
    add_library(liblzma_headers INTERFACE)
    target_link_libraries(liblzma_headers INTERFACE LibLZMA::LibLZMA)
    return()
endif()

set(SFX_LIBLZMA_ROOT ${PROJECT_SOURCE_DIR}/build/deps/liblzma)
set(liblzma_builds ${SFX_LIBLZMA_ROOT}/${SFX_MINGW_PREFIX}-packer ${SFX_LIBLZMA_ROOT}/${SFX_MINGW_PREFIX}-stub)
set(liblzma_missing OFF)
foreach(build IN LISTS liblzma_builds)
    if(NOT EXISTS ${build}/lib/liblzma.a OR NOT EXISTS ${build}/include/lzma.h)
        set(liblzma_missing ON)
    endif()
endforeach()
if(liblzma_missing)
    message(STATUS "Building liblzma for ${SFX_MINGW_PREFIX} (scripts/build-liblzma.sh)")
    execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/build-liblzma.sh ${SFX_MINGW_PREFIX}
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "liblzma for ${SFX_MINGW_PREFIX} could not be built; run scripts/install-deps.sh")
    endif()
endif()

# Static libraries: lzma.h declares its functions as DLL imports unless
# told otherwise.
function(sfx_import_liblzma target build)
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES
        IMPORTED_LOCATION ${build}/lib/liblzma.a
        INTERFACE_INCLUDE_DIRECTORIES ${build}/include
        INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)
endfunction()
sfx_import_liblzma(liblzma_codec ${SFX_LIBLZMA_ROOT}/${SFX_MINGW_PREFIX}-packer)
sfx_import_liblzma(liblzma_stub_decoder ${SFX_LIBLZMA_ROOT}/${SFX_MINGW_PREFIX}-stub)
add_library(liblzma_headers INTERFACE)
target_include_directories(liblzma_headers INTERFACE ${SFX_LIBLZMA_ROOT}/${SFX_MINGW_PREFIX}-stub/include)
target_compile_definitions(liblzma_headers INTERFACE LZMA_API_STATIC)
