// LZMA entries (ZIP method 14) as packages store them, in the layout 7-Zip
// writes and reads: a 4-byte header (the LZMA SDK version the data claim,
// two bytes, then the size of the properties, u16), the 5-byte properties
// (lc, lp and pb in one byte, then the dictionary size, u32), then the raw
// LZMA stream, which ends in an end marker; general purpose bit 1 says so.
//
// The dictionary is what a decoder must hold in memory at once. The stub
// accepts at most kLzmaMaxDictionarySize, and the packer never writes more,
// nor more than the entry needs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packaging/trailer_writer.h"

namespace packaging {

// General purpose bit 1 of an LZMA entry: its stream ends in an end marker.
constexpr std::uint16_t kZipFlagLzmaEndMarker = 0x0002;

// Readers ignore the version; this is the SDK whose stream format the
// data follow, with end markers.
constexpr std::uint8_t kLzmaSdkVersionMajor = 9;
constexpr std::uint8_t kLzmaSdkVersionMinor = 20;
constexpr std::size_t kLzmaPropertiesSize = 5;
constexpr std::size_t kLzmaHeaderSize = 4 + kLzmaPropertiesSize;

constexpr std::uint32_t kLzmaMinDictionarySize = 4096;
constexpr std::uint32_t kLzmaMaxDictionarySize = 64u << 20;

// The dictionary for an entry of entrySize bytes: the least of the sizes
// encoders choose (2^n or 3 * 2^(n-1), at least 4 KiB) that holds the whole
// entry, but never more than wanted (the level's own dictionary) nor more
// than kLzmaMaxDictionarySize. A larger dictionary than the entry would
// only cost the decoder memory.
std::uint32_t lzmaDictionarySize(std::uint64_t entrySize, std::uint32_t wanted);

// The header that begins an entry's data: the version, the properties'
// size and the 5 properties bytes as the encoder gives them.
Bytes lzmaEntryHeader(const std::uint8_t (&properties)[kLzmaPropertiesSize]);

}  // namespace packaging
