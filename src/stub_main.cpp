// The stub's entry, which hands over to RunProgram (program_start.cpp) at
// once. The command line and the show state are not used: a package is
// driven by its trailer alone.
// The process starts at StubEntry, not in the C runtime's start-up code: the
// stub has no static constructors, no thread-local data, no command line to
// parse and nothing to run at exit, so that code would be dead weight; the
// few functions imported from msvcrt.dll need nothing but the DLL's own
// initialisation.
#include <windows.h>

#include "program_start.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunProgram(instance);
}

// The system enters here with the stack aligned only as its own calling
// convention asks, which on 32-bit Windows can be less than the compiler
// assumes; the attribute realigns it, as the runtime's start-up code does.
extern "C" __attribute__((force_align_arg_pointer)) void WINAPI StubEntry(void)
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, NULL, SW_SHOWDEFAULT));
}
