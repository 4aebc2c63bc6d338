// The flag between the interrupt handlers and the loops that check it; only
// interruption.cpp and its halves for each system include it.
#pragma once

#include <csignal>

namespace packer {

// Set by the handler (a signal handler, or the console's own thread on
// Windows), read by the loops that move data; nothing else writes it.
extern volatile std::sig_atomic_t Interrupted;

}  // namespace packer
