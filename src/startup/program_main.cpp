// The stub's entry. The command line and the show state are not used: a
// package is driven by its trailer alone.
#include <windows.h>

#include "program_start.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunProgram(instance);
}
