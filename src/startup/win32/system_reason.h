// The system's own words for an error code, for the second line of a
// message that names what failed.
#pragma once
#include <windows.h>

// Room for one reason; the system's texts are a line or two.
#define SYSTEM_REASON_SIZE 256

// Writes the system's text for error into reason (SYSTEM_REASON_SIZE
// bytes), in the interface language where the system has it, else in the
// system's own; without a text, the code as a number. Line ends at its
// end are cut off.
void FormatSystemReason(DWORD error, char reason[SYSTEM_REASON_SIZE]);
