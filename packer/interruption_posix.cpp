// SIGINT and SIGTERM on Linux: signal handlers.
#include "interruption.h"

#include <signal.h>

#include "interruption_shared.h"

namespace packer {

namespace {

void OnSignal(int)
{
    Interrupted = 1;
}

}  // namespace

void InstallInterruptHandler()
{
    // Without SA_RESTART, so that a read waiting at the password prompt
    // returns and the prompt can give the terminal its echo back.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace packer
