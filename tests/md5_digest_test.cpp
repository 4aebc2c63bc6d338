// MD5 from the platform (libmd here, CryptoAPI under Windows) against the
// RFC 1321 test suite, fed whole and in pieces.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "crypto/md5_digest.h"

namespace {

std::string Hex(const uint8_t* bytes, size_t size)
{
    std::string text;
    char two[3];
    for (size_t i = 0; i < size; i++) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        text += two;
    }
    return text;
}

std::string DigestInPieces(const std::string& message, size_t piece)
{
    Md5Context context;
    EXPECT_EQ(Md5Begin(&context), 0);
    const uint8_t* data = (const uint8_t*)message.data();
    for (size_t done = 0; done < message.size(); done += piece)
        Md5Feed(&context, data + done, (uint32_t)std::min(piece, message.size() - done));
    uint8_t digest[MD5_DIGEST_SIZE];
    EXPECT_EQ(Md5Finish(&context, digest), 0);
    return Hex(digest, sizeof digest);
}

TEST(Md5Digest, Rfc1321TestSuite)
{
    struct Case {
        const char* message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        std::string message = c.message;
        EXPECT_EQ(DigestInPieces(message, message.size() + 1), c.digest) << '"' << message << "\" whole";
        EXPECT_EQ(DigestInPieces(message, 1), c.digest) << '"' << message << "\" byte by byte";
        EXPECT_EQ(DigestInPieces(message, 7), c.digest) << '"' << message << "\" in sevens";
    }
}

}  // namespace
