// The interrupt flag, and the check that the loops moving data make.
#include "interruption.h"

#include "interruption_shared.h"
#include "packer_error.h"

namespace packer {

volatile std::sig_atomic_t Interrupted = 0;

void CheckInterrupted()
{
    if (Interrupted)
        throw PackerError("interrupted");
}

bool InterruptRequested()
{
    return Interrupted != 0;
}

}  // namespace packer
