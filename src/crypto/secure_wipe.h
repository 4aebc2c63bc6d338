// Overwriting key material with zeros in a way the optimiser cannot drop,
// even when the buffer is never read again.
#pragma once
#include <stdint.h>

void SecureWipe(void* buffer, uint32_t size);
