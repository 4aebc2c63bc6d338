// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320, the running
// value starting at 0), from tables that are computed on first use rather
// than stored in the program.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The CRC-32 of the bytes before data (crc) extended by length more bytes;
// Crc32Update(0, data, n) is the CRC-32 of n bytes. data may be null when
// length is 0. The first call fills the tables, so it must not overlap with
// another call; in the stub only the extraction worker calls it.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length);
