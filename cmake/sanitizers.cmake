# Compiler flags of the two checking builds on the host: SFX_SANITIZE (the
# tests under AddressSanitizer and UndefinedBehaviorSanitizer) and SFX_FUZZ
# (the libFuzzer harnesses, which need the same two and clang's coverage
# instrumentation). Included before any target exists, so that every
# library, the shared readers among them, is built the same way.
if(NOT (SFX_SANITIZE OR SFX_FUZZ))
    return()
endif()
if(WIN32)
    message(FATAL_ERROR "SFX_SANITIZE and SFX_FUZZ are host builds")
endif()

# Undefined behaviour stops the program: a test or a fuzz run that goes on
# after a report would count as passed. Stacks in the reports are whole, no
# frame left out or replaced by a tail call, so that a leak suppression can
# name the function that allocated.
add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -g
                    -fno-omit-frame-pointer -fno-optimize-sibling-calls)
add_link_options(-fsanitize=address,undefined)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 follows the paths the sanitizers' checks add and warns about
    # sizes on them that the code rules out (a vector shrunk by a constant
    # is "18446744073709551609 bytes", and a member of the standard
    # library's regex automaton "may be used uninitialized"); the normal
    # build keeps the warnings.
    add_compile_options(-Wno-stringop-overflow -Wno-array-bounds -Wno-maybe-uninitialized)
endif()

if(SFX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "SFX_FUZZ needs clang (the fuzz preset chooses it)")
    endif()
    # Coverage for every object; only the harnesses link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
