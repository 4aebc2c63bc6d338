// The program's course from its entry to the wizard: the one place where the
// entry hands over to the rest of the stub. Shared by the stub's entry and by
// test programs that run the stub with a prepared file layer.
#pragma once
#include <windows.h>

// Records the instance, restricts the DLL search, chooses the language,
// reads the trailer and runs the wizard frame. Every end of the program is
// a process exit from there (a trailer that cannot be read ends it through
// the fatal path); it returns 1 only if the frame could not be shown.
int RunProgram(HINSTANCE instance);
