// The start sequence: instance, DLL search, language, trailer, frame.
#include "program_start.h"

#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/fatal_error.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/system_dlls.h"
#include "wizard/frame.h"

int RunProgram(HINSTANCE instance)
{
    ModuleInstance = instance;
    RestrictDllSearchPath();
    ChooseUiLanguage();
    uint32_t failure = ReadConfigurationTrailer();
    if (failure != 0)
        ShowFatalError(failure);
    // A missing progress bar class only leaves that one control out.
    RegisterProgressBarClass();
    DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_FRAME), NULL, FrameDialogProc, 0);
    return 1;
}
