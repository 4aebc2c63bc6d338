// The single way the program ends on an error: clean up what this run
// created, tell the user, exit with code 1.
#pragma once
#include <stdint.h>

// Shows the localized text of a base message id; does not return.
[[noreturn]] void ShowFatalError(uint32_t baseMessageId);

// Shows text as it stands; does not return.
[[noreturn]] void ShowFatalText(const char* text);
