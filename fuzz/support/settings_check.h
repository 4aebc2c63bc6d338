// The promise the trailer reader makes about the settings it fills: every
// text it sets lies inside the record block, ahead of the footer, and ends
// there. Shared by the harnesses that read trailers.
#pragma once

#include <stdint.h>

#include "startup/settings.h"

// Aborts through FuzzCheck when a text of settings breaks the promise for
// the block of length bytes (records and footer).
void CheckSettingsTexts(const SfxSettingsRecord* settings, const uint8_t* block, uint32_t length);
