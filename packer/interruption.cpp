// The interrupt flag and the handlers that set it.
#include "interruption.h"

#include <csignal>

#ifndef _WIN32
#include <signal.h>
#endif

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
    // Without SA_RESTART, so that a read waiting at the password prompt
    // returns and the prompt can give the terminal its echo back.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

void CheckInterrupted()
{
    if (Interrupted)
        throw PackerError("interrupted");
}

}  // namespace packer
