# What a release holds, and the packages CPack makes of it (scripts/release.sh
# runs it): on Linux a Debian package with the packer, both stubs in
# lib/sfxpack, the man page, the bash completion, the README and the
# licence; from the 64-bit Windows build a zip with sfxpack.exe, both stubs
# beside it, the README and the licence as text. The version is the
# project's.
#
# The packer finds its stubs relative to itself (packer/stub_file.h), so the
# places here and there must agree: beside it in the zip, ../lib/sfxpack from
# bin in any prefix.

include(GNUInstallDirs)
if(WIN32)
    set(SFX_STUB_DESTINATION .)
else()
    set(SFX_STUB_DESTINATION lib/sfxpack)
endif()

# A build makes one stub; the other comes from the build tree of the other
# preset beside this one (build/win32, build/win64), when it was built.
set(SFX_STUB32 ${CMAKE_BINARY_DIR}/../win32/bin/sfxstub.exe CACHE FILEPATH "The 32-bit stub a release takes")
set(SFX_STUB64 ${CMAKE_BINARY_DIR}/../win64/bin/sfxstub.exe CACHE FILEPATH "The 64-bit stub a release takes")
foreach(bits 32 64)
    math(EXPR own_bits "${CMAKE_SIZEOF_VOID_P} * 8")
    if(WIN32 AND bits EQUAL own_bits)
        install(FILES $<TARGET_FILE:sfxstub> DESTINATION ${SFX_STUB_DESTINATION} RENAME sfxstub${bits}.exe)
    else()
        install(FILES ${SFX_STUB${bits}} DESTINATION ${SFX_STUB_DESTINATION} RENAME sfxstub${bits}.exe OPTIONAL)
    endif()
endforeach()

set(SFX_PACKAGE_MAINTAINER "Brenlow GmbH <sfxpack@brenlow.example>"
    CACHE STRING "The Debian package's maintainer: a name and an address")
set(documents ${CMAKE_BINARY_DIR}/release-documents)
file(MAKE_DIRECTORY ${documents})
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)

if(WIN32)
    # Text files a Windows user opens with a double click: a .txt name and
    # CR LF line ends.
    foreach(pair "README.md;README.txt" "LICENSE;LICENSE.txt")
        list(GET pair 0 source)
        list(GET pair 1 target)
        file(READ ${PROJECT_SOURCE_DIR}/${source} text)
        string(REPLACE "\r\n" "\n" text "${text}")
        string(REPLACE "\n" "\r\n" text "${text}")
        file(WRITE ${documents}/${target} "${text}")
        install(FILES ${documents}/${target} DESTINATION .)
    endforeach()
else()
    # Debian's copyright file is the licence in its machine-readable form
    # (MIT is called Expat there). The stubs carry zlib's inflate, linked in;
    # zlib1g, a dependency of the package, brings its licence.
    string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" notice "${licence}")
    set(holder "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" terms "${licence}")
    string(REGEX REPLACE "\n+$" "" terms "${terms}")
    string(REPLACE "\n\n" "\n.\n" terms "${terms}")
    string(REPLACE "\n" "\n " terms "${terms}")
    file(WRITE ${documents}/copyright
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: sfxpack\n"
        "\n"
        "Files: *\n"
        "Copyright: ${holder}\n"
        "License: Expat\n"
        "Comment: The stubs in /usr/lib/sfxpack contain zlib's inflate code, linked\n"
        " statically; its licence is in /usr/share/doc/zlib1g/copyright.\n"
        "\n"
        "License: Expat\n"
        " ${terms}\n")
    # A native package's change log, in Debian's format, compressed as the
    # policy wants it: one entry for the version released.
    string(TIMESTAMP released "%a, %d %b %Y %H:%M:%S +0000" UTC)
    file(WRITE ${documents}/changelog
        "sfxpack (${PROJECT_VERSION}) unstable; urgency=medium\n"
        "\n"
        "  * Release ${PROJECT_VERSION}.\n"
        "\n"
        " -- ${SFX_PACKAGE_MAINTAINER}  ${released}\n")
    find_program(GZIP gzip REQUIRED)
    add_custom_command(OUTPUT ${documents}/changelog.gz
        COMMAND ${GZIP} -9nf -k ${documents}/changelog
        DEPENDS ${documents}/changelog
        VERBATIM)
    add_custom_target(release_documents ALL DEPENDS ${documents}/changelog.gz)
    set(doc_folder ${CMAKE_INSTALL_DATADIR}/doc/sfxpack)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${documents}/copyright ${documents}/changelog.gz
            DESTINATION ${doc_folder})
endif()

set(CPACK_PACKAGE_NAME sfxpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brenlow GmbH")
set(CPACK_PACKAGE_CONTACT "${SFX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make self-extracting packages for Windows")
set(CPACK_PACKAGE_DESCRIPTION [[
sfxpack turns a folder or a ZIP file into a Windows program that unpacks it:
a small wizard in German or English asks for a password if there is one,
extracts the files into a fresh folder, runs up to two commands there and
removes everything when it ends. sfxpack also inspects, lists, tests and
extracts such packages. The stubs, 32-bit and 64-bit, come with it.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_PACKAGE_FILE_NAME sfxpack-${PROJECT_VERSION}-win64)
    else()
        set(CPACK_PACKAGE_FILE_NAME sfxpack-${PROJECT_VERSION}-win32)
    endif()
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SFX_PACKAGE_MAINTAINER}")
endif()
# The release script builds what a release holds and nothing more; an
# install would otherwise build every test first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
