// The single way the program ends on an error: clean up what this run
// created, log the message, tell the user and exit with code 1; a silent
// run tells no one and exits with EXIT_CODE_BASE plus the message's id. Declared here, on the lowest
// floor of the stub's Windows code, so that every floor can end the program;
// defined on the top floor (src/fatal_error.cpp), the one place that knows
// what there is to clean up and which window owns the message.
#pragma once
#include <stdint.h>

// Shows the localized text of a base message id; does not return.
[[noreturn]] void ShowFatalError(uint32_t baseMessageId);

// Shows text as it stands, the text of base message id messageId; does
// not return.
[[noreturn]] void ShowFatalText(const char* text, uint32_t messageId);
