// The table-driven CRC-32 against its published check value and against
// zlib's crc32 as the reference: every length around the eight-byte step, at
// every alignment, whole and continued from a running value.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/crc32.h"

namespace {

uint32_t ZlibCrc(uint32_t crc, const uint8_t* data, size_t length)
{
    return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(length)));
}

std::vector<uint8_t> NoiseBytes(size_t length)
{
    std::vector<uint8_t> bytes(length);
    uint32_t x = 0x12345678u;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 23);
    }
    return bytes;
}

}  // namespace

TEST(Crc32, CheckValueAndEmptyInput)
{
    const char* text = "123456789";
    EXPECT_EQ(Crc32Update(0, reinterpret_cast<const uint8_t*>(text), std::strlen(text)), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0, nullptr, 0), 0u);
    EXPECT_EQ(Crc32Update(0xCBF43926u, nullptr, 0), 0xCBF43926u);
}

TEST(Crc32, SameAsZlibForEveryLengthAndAlignment)
{
    const std::vector<uint8_t> noise = NoiseBytes(70000);
    const size_t lengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 33, 255, 256, 1000, 4099, 65536};
    for (size_t offset = 0; offset < 8; offset++) {
        for (size_t length : lengths) {
            const uint8_t* p = noise.data() + offset;
            EXPECT_EQ(Crc32Update(0, p, length), ZlibCrc(0, p, length)) << "offset " << offset << " length " << length;
        }
    }
}

TEST(Crc32, ContinuesARunningValueAcrossPieces)
{
    const std::vector<uint8_t> noise = NoiseBytes(5000);
    const uint32_t whole = ZlibCrc(0, noise.data(), noise.size());
    for (size_t cut : {1u, 7u, 8u, 13u, 2500u, 4999u}) {
        uint32_t crc = Crc32Update(0, noise.data(), cut);
        EXPECT_EQ(Crc32Update(crc, noise.data() + cut, noise.size() - cut), whole) << "cut at " << cut;
    }
    // Many small pieces, as an inflater hands them out.
    uint32_t crc = 0;
    for (size_t at = 0; at < noise.size(); at += 11)
        crc = Crc32Update(crc, noise.data() + at, std::min<size_t>(11, noise.size() - at));
    EXPECT_EQ(crc, whole);
}
