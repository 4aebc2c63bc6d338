// The layout of LZMA entries: their header and the dictionary they get.
#include "packaging/lzma_layout.h"

#include <algorithm>

#include "archive/zip_format.h"

namespace packaging {

// What the packer writes and what the readers accept are one layout.
static_assert(kLzmaMaxDictionarySize == ZIP_LZMA_MAX_DICTIONARY_SIZE);
static_assert(kLzmaHeaderSize == ZIP_LZMA_HEADER_SIZE);
static_assert(kZipFlagLzmaEndMarker == ZIP_FLAG_LZMA_END_MARKER);

std::uint32_t lzmaDictionarySize(std::uint64_t entrySize, std::uint32_t wanted)
{
    std::uint32_t limit = std::max(kLzmaMinDictionarySize, std::min(wanted, kLzmaMaxDictionarySize));
    // 4 KiB, 6 KiB, 8 KiB, 12 KiB, ... up to the limit.
    for (std::uint32_t power = kLzmaMinDictionarySize; power < limit; power *= 2) {
        if (entrySize <= power)
            return power;
        if (entrySize <= power / 2 * 3)
            return std::min(power / 2 * 3, limit);
    }
    return limit;
}

Bytes lzmaEntryHeader(const std::uint8_t (&properties)[kLzmaPropertiesSize])
{
    Bytes header = {kLzmaSdkVersionMajor, kLzmaSdkVersionMinor};
    appendU16(header, static_cast<std::uint16_t>(kLzmaPropertiesSize));
    header.insert(header.end(), properties, properties + kLzmaPropertiesSize);
    return header;
}

}  // namespace packaging
