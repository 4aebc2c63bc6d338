# Writes the bash completion script the packer prints for --bash-completion
# to OUTPUT; a build step cannot redirect a program's output by itself.
execute_process(COMMAND ${PACKER} --bash-completion OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "${PACKER} --bash-completion failed: ${result}")
endif()
