// Zeroing of key material that must survive dead-store elimination.
#include "crypto/secure_wipe.h"

void SecureWipe(void* buffer, uint32_t size)
{
    // Stores through a volatile pointer are observable behaviour, so the
    // compiler must keep every one of them even for a buffer about to die.
    volatile uint8_t* p = (volatile uint8_t*)buffer;
    while (size--)
        *p++ = 0;
}
