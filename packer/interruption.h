// Ctrl-C and termination requests: long runs stop at the next piece of
// data, so that they can remove what they have half written.
#pragma once

namespace packer {

// Installs the handlers for SIGINT and SIGTERM (a console control handler
// on Windows).
void InstallInterruptHandler();

// Throws PackerError("interrupted") once an interrupt was requested.
void CheckInterrupted();

// True once an interrupt was requested, for a wait that looks now and then.
bool InterruptRequested();

}  // namespace packer
