// The commands after extraction: up to two configured command lines, run
// one after the other from the extraction folder, each waited for. Windows
// code, as is all of commands/.
#pragma once
#include <windows.h>
#include <stdint.h>

// Two paths and a little more: a quote, a resolved folder, and the rest.
#define COMMAND_LINE_SIZE 524

// A message names the program, a path, and the system's reason; wsprintfA
// writes no more than this.
#define COMMAND_FAILURE_SIZE 1024

/* The message for a command whose program could not be started: written by
   the runner before it reports WM_COMMAND_FAILED, read by the frame then.
   Empty when the failure was not the program's (an unknown alias), which
   keeps the general message. */
extern char CommandFailure[COMMAND_FAILURE_SIZE];

/* The exit code of the last command that ran, 0 before any; written by the
   runner, read by a silent run once the runner has returned. */
extern DWORD CommandExitCode;

// True when the package has a command and the run is not one that only
// extracts (/X).
int HasCommandsToRun(void);

// The thread procedure. Ends by posting exactly one of WM_COMMANDS_DONE
// and WM_COMMAND_FAILED to the frame; 0 after the first, 1 after the second.
DWORD WINAPI CommandRunner(LPVOID unused);

// True for a line of the form "\\!alias... with either separator.
int IsAliasCommand(const char* line);

// Rebuilds an alias-form line into line (COMMAND_LINE_SIZE bytes): a quote,
// the alias's folder, then the rest from the first separator or quote after
// the name. 0, or -1 when the alias is unknown or the result would not fit.
int RebuildAliasCommand(char* line, const char* configured);
