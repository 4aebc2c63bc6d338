// A run started with switches: what the command line asked for, the log
// it may have named, and the exit codes of the stub's own failures.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "startup/command_switches.h"

/* The stub's own failures end with this plus the base id of the message
   that says why (21 "could not create folder" is 0x5F15); no installer's
   own code (0, 1, 2, 5, 87, 1602, 1603, 1618, 1641, 3010...) lies there. */
#define EXIT_CODE_BASE 0x5F00u

/* The switches of this run, read once by ReadRunSwitches before anything
   else looks at them; the password is wiped once it has been checked. */
extern CommandSwitches RunSwitches;

/* The log file /LOG named, open for appending; INVALID_HANDLE_VALUE without
   one. Opened by ReadRunSwitches; the process's end closes it. */
extern HANDLE RunLogFile;

// Reads the switches from the command line and opens the log, which gets its
// first line. 0, or IDS_ERR_CREATE_FILE (the failure recorded) when the log
// cannot be opened.
uint32_t ReadRunSwitches(void);

// True when the run shows nothing: /S.
int IsSilentRun(void);

// Appends "time step text" as one line to the log, if there is one; line
// breaks in text become blanks.
void LogLine(const char* step, const char* text);

// The same with a number as the text.
void LogNumber(const char* step, DWORD number);

// Logs the end and ends the process with code.
[[noreturn]] void EndRun(UINT code);
