// Finding the program a command line starts, as the system would but without
// the folders a stranger can fill: the package's own folder (often a
// Downloads folder) and whatever folder the package was started from.
#pragma once
#include <windows.h>

/* The program of a command line, found: its full path, which goes to the
   system as the application name, and where in the line its arguments
   start (the first non-blank behind the program's name, or the line's
   end). */
struct CommandProgram {
    char path[MAX_PATH];
    const char* arguments;
};

// The text from its first character that is neither a space nor a tab.
const char* SkipBlanks(const char* text);

// Finds the program of a plain line without leading blanks. A name in
// quotes is the program; without quotes each run of words from the start is
// tried in turn ("my", then "my setup.exe" ...) and the shortest one that
// names an existing file wins. A name without an extension gets ".exe". A
// full path (drive and root, a root, a share) is taken as it stands; any
// other name is looked for in the extraction folder, then the system
// folder, the Windows folder and the full folders of PATH, except that a
// name starting with "." is looked for in the extraction folder only. Names
// with a ".." component and drive-relative names ("D:setup.exe") lead to a
// folder this program did not choose and are found nowhere.
// 0 with program filled, or -1 when no file fits.
int FindCommandProgram(const char* line, CommandProgram* program);

// True for a program the system starts only through its command
// interpreter: a ".bat" or ".cmd" file.
int IsBatchProgram(const char* path);
