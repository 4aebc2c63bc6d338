// The stub's stand-ins for zlib's checksums, linked here as in the stub (so
// the worker tests in this program run on them too): zlib's conventions for
// a null buffer, published check values, and a running value carried over.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace {

const Bytef* Text(const char* s)
{
    return reinterpret_cast<const Bytef*>(s);
}

}  // namespace

TEST(StubChecksums, Crc32AsZlibDefinesIt)
{
    EXPECT_EQ(crc32(0, Z_NULL, 0), 0u);
    EXPECT_EQ(crc32(0x12345678u, Z_NULL, 0), 0u) << "a null buffer asks for the start value";
    EXPECT_EQ(crc32(0, Text("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(crc32(crc32(0, Text("1234"), 4), Text("56789"), 5), 0xCBF43926u);
}

TEST(StubChecksums, Adler32AsZlibDefinesIt)
{
    EXPECT_EQ(adler32(0, Z_NULL, 0), 1u);
    EXPECT_EQ(adler32(1, Text("Wikipedia"), 9), 0x11E60398u);
    EXPECT_EQ(adler32(adler32(1, Text("Wiki"), 4), Text("pedia"), 5), 0x11E60398u);
    // Both sums past the modulus: 1000 bytes of 0xFF (A = 1 + 255000 mod
    // 65521; B = the sum of the 1000 values of A, mod 65521).
    static Bytef ones[1000];
    std::memset(ones, 0xFF, sizeof ones);
    EXPECT_EQ(adler32(1, ones, sizeof ones), 0xE6E9E446u);
}
