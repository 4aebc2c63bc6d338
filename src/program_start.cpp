// The start sequence: instance, DLL search, language, switches, trailer,
// frame.
#include "program_start.h"

#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/fatal_error.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/system_dlls.h"
#include "startup/win32/unattended_run.h"
#include "switch_start.h"
#include "wizard/frame.h"

int RunProgram(HINSTANCE instance)
{
    ModuleInstance = instance;
    RestrictDllSearchPath();
    ChooseUiLanguage();
    // Read first, so that a silent run stays silent also on a damaged package.
    uint32_t logFailure = ReadRunSwitches();
    uint32_t failure = ReadConfigurationTrailer();
    if (failure != 0)
        ShowFatalError(failure);
    if (RunSwitches.given != 0)
        StartWithSwitches(logFailure);
    // A missing progress bar class only leaves that one control out.
    RegisterProgressBarClass();
    DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_FRAME), NULL, FrameDialogProc, 0);
    return 1;
}
