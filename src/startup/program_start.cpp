// The start sequence: instance, DLL search, language, trailer, frame.
#include "program_start.h"

#include "../../res/resource_ids.h"
#include "../wizard/frame.h"
#include "config_trailer.h"
#include "startup_state.h"
#include "system_dlls.h"

int RunProgram(HINSTANCE instance)
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
