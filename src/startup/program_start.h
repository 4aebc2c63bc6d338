// The program's course from its start to the wizard, shared by the stub's
// entry and by test programs that run the stub with a prepared file layer.
#pragma once
#include <windows.h>

// Records the instance, chooses the language, reads the trailer and runs
// the wizard frame. Every end of the program is a process exit from there;
// it returns 1 only if the frame could not be shown.
int RunProgram(HINSTANCE instance);
