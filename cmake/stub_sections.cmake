# Run after the stub is linked: prints the stub's size and each section's,
# and fails when the link map shows something that the stub's own entry
# would leave broken: constructors or thread-local data, which only the C
# runtime's start-up code (not linked) would run or set up.
# Usage: cmake -DOBJDUMP=... -DSTUB=<exe> -DMAP=<link map> -P stub_sections.cmake
execute_process(COMMAND ${OBJDUMP} -h ${STUB} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "objdump could not read ${STUB}")
endif()
file(SIZE ${STUB} total)
message(STATUS "stub size: ${total} bytes (${STUB})")
string(REPLACE "\n" ";" lines "${headers}")
foreach(line IN LISTS lines)
    if(line MATCHES "^ +[0-9]+ +([^ ]+) +([0-9a-f]+) ")
        math(EXPR bytes "0x${CMAKE_MATCH_2}")
        string(LENGTH "${bytes}" width)
        math(EXPR pad "8 - ${width}")
        string(REPEAT " " ${pad} spaces)
        message(STATUS "  ${CMAKE_MATCH_1}\t${spaces}${bytes}")
    endif()
endforeach()

file(READ ${MAP} map)
# An input section line: name (the size may follow on the next line when
# the name is long), address, nonzero size, object.
string(REGEX MATCHALL "\n (\\.ctors|\\.dtors|\\.tls|\\.CRT\\$X)[^ \n]*[ \n]+0x[0-9a-f]+ +0x0*[1-9a-f][0-9a-f]* +[^\n]+"
    needs_startup "${map}")
if(needs_startup)
    string(REPLACE "\n" " " needs_startup "${needs_startup}")
    message(FATAL_ERROR "the stub links code that needs the C runtime's start-up code:${needs_startup}")
endif()
