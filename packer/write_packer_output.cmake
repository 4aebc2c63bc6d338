# Writes what the packer prints for FLAG (--bash-completion, --man-sections)
# to OUTPUT; a build step cannot redirect a program's output by itself.
execute_process(COMMAND ${PACKER} ${FLAG} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "${PACKER} ${FLAG} failed: ${result}")
endif()
