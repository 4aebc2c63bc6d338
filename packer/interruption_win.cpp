// Ctrl-C and the console's other stop requests on Windows: a console control handler.
#include "interruption.h"

#include <windows.h>

#include "interruption_shared.h"

namespace packer {

namespace {

BOOL WINAPI OnConsoleControl(DWORD)
{
    Interrupted = 1;
    return TRUE;
}

}  // namespace

void InstallInterruptHandler()
{
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

}  // namespace packer
