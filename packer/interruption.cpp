// The interrupt flag and the handlers that set it.
#include "interruption.h"

#include <csignal>

#include "packer_error.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace packer {

namespace {

// Set by the handler (a signal handler, or the console's own thread on
// Windows), read by the loops that move data; nothing else writes it.
volatile std::sig_atomic_t Interrupted = 0;

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD)
{
    Interrupted = 1;
    return TRUE;
}
#else
void OnSignal(int)
{
    Interrupted = 1;
}
#endif

}  // namespace

void InstallInterruptHandler()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
#endif
}

void CheckInterrupted()
{
    if (Interrupted)
        throw PackerError("interrupted");
}

}  // namespace packer
