// The stub's entry: language, trailer, then the wizard frame, inside whose
// lifetime everything else happens. Every end of the program is a process
// exit from there; main returns only if the frame could not be shown.
// The process starts at StubEntry, not in the C runtime's start-up code: the
// stub has no static constructors, no thread-local data, no command line to
// parse and nothing to run at exit, so that code would be dead weight; the
// few functions imported from msvcrt.dll need nothing but the DLL's own
// initialisation.
#include <windows.h>

#include "../../res/resource_ids.h"
#include "../wizard/frame.h"
#include "config_trailer.h"
#include "startup_state.h"
#include "system_dlls.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    ModuleInstance = instance;
    RestrictDllSearchPath();
    ChooseUiLanguage();
    ReadConfigurationTrailer();
    // A missing progress bar class only leaves that one control out.
    RegisterProgressBarClass();
    DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_FRAME), NULL, FrameDialogProc, 0);
    return 1;
}

// The system enters here with the stack aligned only as its own calling
// convention asks, which on 32-bit Windows can be less than the compiler
// assumes; the attribute realigns it, as the runtime's start-up code does.
extern "C" __attribute__((force_align_arg_pointer)) void WINAPI StubEntry(void)
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, NULL, SW_SHOWDEFAULT));
}
