// The archive cipher checked against OpenSSL's Blowfish (host only): the
// block function on random states, CBC and CFB, a published Blowfish vector,
// and the key schedule rebuilt from OpenSSL's primitives.
#include <gtest/gtest.h>

// OpenSSL 3 deprecates the low-level Blowfish calls; they are exactly what
// an independent check of the block function needs.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "crypto/cipher.h"
#include "support/test_bytes.h"

namespace {

BF_KEY ToOpenSsl(const CipherState& state)
{
    BF_KEY key;
    for (int i = 0; i < 18; i++)
        key.P[i] = state.p[i];
    for (int box = 0; box < 4; box++)
        for (int i = 0; i < 256; i++)
            key.S[256 * box + i] = state.s[box][i];
    return key;
}

CipherState FromOpenSsl(const BF_KEY& key)
{
    CipherState state;
    for (int i = 0; i < 18; i++)
        state.p[i] = (uint32_t)key.P[i];
    for (int box = 0; box < 4; box++)
        for (int i = 0; i < 256; i++)
            state.s[box][i] = (uint32_t)key.S[256 * box + i];
    return state;
}

CipherState RandomState(std::mt19937& random)
{
    CipherState state;
    for (uint32_t& w : state.p)
        w = random();
    for (auto& box : state.s)
        for (uint32_t& w : box)
            w = random();
    return state;
}

TEST(CipherAgainstOpenSsl, BlockFunctionAgreesOnRandomStatesAndBlocks)
{
    std::mt19937 random(2024);
    for (int s = 0; s < 50; s++) {
        CipherState state = RandomState(random);
        BF_KEY reference = ToOpenSsl(state);
        for (int b = 0; b < 200; b++) {
            std::vector<uint8_t> plain = RandomBytes(random, 8);
            uint8_t ours[8], theirs[8], back[8];
            CipherEncryptBlock(&state, ours, plain.data());
            BF_ecb_encrypt(plain.data(), theirs, &reference, BF_ENCRYPT);
            ASSERT_EQ(0, std::memcmp(ours, theirs, 8)) << "state " << s << " block " << b;
            CipherDecryptBlock(&state, back, ours);
            BF_ecb_encrypt(ours, theirs, &reference, BF_DECRYPT);
            ASSERT_EQ(0, std::memcmp(back, theirs, 8));
            ASSERT_EQ(0, std::memcmp(back, plain.data(), 8));
        }
    }
}

TEST(CipherAgainstOpenSsl, PublishedBlowfishVectorsUnderBlowfishsOwnSchedule)
{
    // From Eric Young's Blowfish test set: the block function alone, fed
    // with the state that standard Blowfish keying produces.
    struct Vector {
        uint8_t key[8], plain[8], cipher[8];
    };
    const Vector vectors[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}, {0x4E, 0xF9, 0x97, 0x45, 0x61, 0x98, 0xDD, 0x78}},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x51, 0x86, 0x6F, 0xD5, 0xB8, 0x5E, 0xCB, 0x8A}},
        {{0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10},
         {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
         {0x0A, 0xCE, 0xAB, 0x0F, 0xC6, 0xA0, 0xA2, 0x8D}},
    };
    for (const Vector& v : vectors) {
        BF_KEY key;
        BF_set_key(&key, 8, v.key);
        CipherState state = FromOpenSsl(key);
        uint8_t out[8], back[8];
        CipherEncryptBlock(&state, out, v.plain);
        EXPECT_EQ(0, std::memcmp(out, v.cipher, 8));
        CipherDecryptBlock(&state, back, out);
        EXPECT_EQ(0, std::memcmp(back, v.plain, 8));
    }
}

TEST(CipherAgainstOpenSsl, CbcDecryptionAgrees)
{
    std::mt19937 random(99);
    for (int s = 0; s < 10; s++) {
        CipherState state = RandomState(random);
        BF_KEY reference = ToOpenSsl(state);
        std::vector<uint8_t> cipher = RandomBytes(random, 8 * (1 + random() % 300));
        std::vector<uint8_t> chain = RandomBytes(random, 8);

        std::vector<uint8_t> ours(cipher.size()), theirs(cipher.size());
        std::vector<uint8_t> ourChain = chain, theirChain = chain;
        CipherDecryptCbc(&state, ours.data(), cipher.data(), ourChain.data(), (uint32_t)cipher.size());
        BF_cbc_encrypt(cipher.data(), theirs.data(), (long)cipher.size(), &reference, theirChain.data(), BF_DECRYPT);
        ASSERT_EQ(ours, theirs);
        ASSERT_EQ(ourChain, theirChain);

        // In place and in pieces of uneven block counts, as reads deliver it.
        std::vector<uint8_t> pieces = cipher;
        ourChain = chain;
        for (size_t at = 0; at < pieces.size();) {
            size_t n = std::min(pieces.size() - at, 8 * (1 + random() % 11));
            CipherDecryptCbc(&state, pieces.data() + at, pieces.data() + at, ourChain.data(), (uint32_t)n);
            at += n;
        }
        ASSERT_EQ(pieces, theirs);
        ASSERT_EQ(ourChain, theirChain);
    }
}

// Keying rebuilt from its description with OpenSSL doing every block
// operation: generated image, CFB passes over the key block, reloads.
CipherState ReferenceSchedule(const std::vector<uint8_t>& key, uint32_t passes)
{
    std::vector<uint8_t> block(CIPHER_STATE_SIZE);
    uint32_t x = 1;
    for (uint8_t& b : block) {
        x = (x * 23311 + 1) % 65533;
        b = (uint8_t)x;
    }
    CipherState state;
    CipherLoadState(&state, block.data());
    BF_KEY bf = ToOpenSsl(state);

    std::fill(block.begin(), block.end(), 0);
    block[0] = (uint8_t)(key.size() >> 8);
    block[1] = (uint8_t)key.size();
    std::copy(key.begin(), key.end(), block.begin() + 2);
    unsigned char reg[8] = {};
    int used = 0;
    for (uint32_t pass = 0; pass < passes; pass++) {
        BF_cfb64_encrypt(block.data(), block.data(), (long)block.size(), &bf, reg, &used, BF_ENCRYPT);
        CipherLoadState(&state, block.data());
        bf = ToOpenSsl(state);
    }
    CipherLoadState(&state, block.data());
    return state;
}

TEST(CipherAgainstOpenSsl, KeyScheduleAgreesWithOneBuiltOnOpenSsl)
{
    std::mt19937 random(5);
    const std::vector<std::vector<uint8_t>> keys = {{}, {0x61}, RandomBytes(random, 16), RandomBytes(random, 16),
                                                    RandomBytes(random, 200)};
    for (const auto& key : keys) {
        for (uint32_t passes : {0u, 1u, 2u, 10u}) {
            SCOPED_TRACE(testing::Message() << key.size() << " key bytes, " << passes << " passes");
            CipherState ours;
            ASSERT_EQ(CipherSetKey(&ours, key.data(), (uint32_t)key.size(), passes), CIPHER_OK);
            CipherState reference = ReferenceSchedule(key, passes);
            EXPECT_EQ(0, std::memcmp(&ours, &reference, sizeof ours));
        }
    }
}

TEST(CipherAgainstOpenSsl, CfbWithPartialLastSegmentAgrees)
{
    std::mt19937 random(11);
    CipherState state = RandomState(random);
    BF_KEY reference = ToOpenSsl(state);
    for (uint32_t length : {1u, 5u, 8u, 13u, 64u, 101u}) {
        std::vector<uint8_t> data = RandomBytes(random, length);
        std::vector<uint8_t> start = RandomBytes(random, 8);
        std::vector<uint8_t> ours = data, theirs = data;
        std::vector<uint8_t> ourReg = start, theirReg = start;
        int used = 0;
        CipherEncryptCfb(&state, ours.data(), length, ourReg.data());
        BF_cfb64_encrypt(theirs.data(), theirs.data(), (long)length, &reference, theirReg.data(), &used, BF_ENCRYPT);
        EXPECT_EQ(ours, theirs) << length;
        EXPECT_EQ(ourReg, theirReg) << length;
    }
}

}  // namespace
