// The archive cipher: generator and unkeyed-state reference values, keying,
// block functions, CFB and CBC.
#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "crypto/cipher.h"

namespace {

using Block = std::array<uint8_t, 8>;

std::vector<uint8_t> GeneratedImage()
{
    std::vector<uint8_t> image(CIPHER_STATE_SIZE);
    uint16_t x = 1;
    for (uint8_t& byte : image) {
        x = CipherGeneratorNext(x);
        byte = (uint8_t)x;
    }
    return image;
}

bool SameState(const CipherState& a, const CipherState& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<uint8_t> RandomBytes(std::mt19937& random, size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes)
        b = (uint8_t)random();
    return bytes;
}

CipherState KeyedState(const std::vector<uint8_t>& key, uint32_t passes = 10)
{
    CipherState state{};
    EXPECT_EQ(CipherSetKey(&state, key.data(), (uint32_t)key.size(), passes), CIPHER_OK);
    return state;
}

TEST(CipherGenerator, StartsAndEndsAtTheReferenceValues)
{
    EXPECT_EQ(CipherGeneratorNext(1), 23312);
    uint16_t x = 1;
    for (int i = 0; i < CIPHER_STATE_SIZE; i++) {
        x = CipherGeneratorNext(x);
        ASSERT_LT(x, 65533);
    }
    EXPECT_EQ(CipherGeneratorNext(x), 23021);
    // The largest input must not overflow the 32-bit product.
    EXPECT_EQ(CipherGeneratorNext(65535), (uint16_t)((65535u * 23311u + 1u) % 65533u));
}

TEST(CipherUnkeyedState, MatchesTheReferenceImageAndSelfTestBlock)
{
    std::vector<uint8_t> image = GeneratedImage();
    const uint8_t expectedStart[8] = {0x10, 0x1D, 0xBB, 0x1A, 0xC4, 0xAD, 0x8A, 0x84};
    EXPECT_EQ(0, std::memcmp(image.data(), expectedStart, 8));

    CipherState state;
    CipherLoadState(&state, image.data());
    EXPECT_EQ(state.p[0], 0x101DBB1Au);
    EXPECT_EQ(state.p[1], 0xC4AD8A84u);
    // The last word of the image lands in the last entry of the fourth box.
    EXPECT_EQ(state.s[3][255], (uint32_t)image[4164] << 24 | (uint32_t)image[4165] << 16
                                   | (uint32_t)image[4166] << 8 | image[4167]);

    Block block{};
    CipherEncryptBlock(&state, block.data(), block.data());
    EXPECT_EQ(block, (Block{0x4D, 0x38, 0xE6, 0x00, 0x47, 0x35, 0x24, 0xCF}));
    CipherDecryptBlock(&state, block.data(), block.data());
    EXPECT_EQ(block, Block{});
}

TEST(CipherSetKey, ZeroPassesLoadTheKeyBlockItself)
{
    struct Case {
        std::vector<uint8_t> key;
        std::vector<uint32_t> firstWords;  // P[0], P[1], ... as the key block gives them
    };
    const Case cases[] = {
        {{}, {0x00000000, 0x00000000}},
        {{0xA1, 0xB2, 0xC3}, {0x0003A1B2, 0xC3000000, 0x00000000}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10},
         {0x00100102, 0x03040506, 0x0708090A, 0x0B0C0D0E, 0x0F100000, 0x00000000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.size());
        CipherState state;
        std::memset(&state, 0xEE, sizeof state);
        ASSERT_EQ(CipherSetKey(&state, c.key.data(), (uint32_t)c.key.size(), 0), CIPHER_OK);
        for (size_t i = 0; i < c.firstWords.size(); i++)
            EXPECT_EQ(state.p[i], c.firstWords[i]) << "P[" << i << "]";
        EXPECT_EQ(state.s[3][255], 0u);
    }
}

TEST(CipherSetKey, KeyedStateMatchesTheIndependentSchedule)
{
    // Taken from the key schedule that the host's OpenSSL cross-check builds
    // from Blowfish primitives, so that the Windows builds, which have no
    // OpenSSL, check the whole schedule as well.
    std::vector<uint8_t> key(16);
    for (size_t i = 0; i < key.size(); i++)
        key[i] = (uint8_t)i;
    CipherState state = KeyedState(key);
    EXPECT_EQ(state.p[0], 0xB58C239Bu);
    EXPECT_EQ(state.s[3][255], 0x4A835827u);
    Block block{};
    CipherEncryptBlock(&state, block.data(), block.data());
    EXPECT_EQ(block, (Block{0xC4, 0x2A, 0xDE, 0x3F, 0xCE, 0x34, 0xB8, 0xEE}));
}

TEST(CipherSetKey, ResultDependsOnlyOnKeyAndPasses)
{
    const std::vector<uint8_t> key = {0x5E, 0xC4, 0xE7, 0x00, 0x11, 0x22, 0x33, 0x44,
                                      0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC};
    CipherState fresh{};
    ASSERT_EQ(CipherSetKey(&fresh, key.data(), 16, 10), CIPHER_OK);

    CipherState again = fresh;
    ASSERT_EQ(CipherSetKey(&again, key.data(), 16, 10), CIPHER_OK);
    EXPECT_TRUE(SameState(fresh, again)) << "keying twice";

    CipherState wiped = KeyedState({9, 9, 9});
    std::memset(&wiped, 0, sizeof wiped);
    ASSERT_EQ(CipherSetKey(&wiped, key.data(), 16, 10), CIPHER_OK);
    EXPECT_TRUE(SameState(fresh, wiped)) << "keying after zeroing";

    CipherState garbage;
    std::memset(&garbage, 0xA5, sizeof garbage);
    ASSERT_EQ(CipherSetKey(&garbage, key.data(), 16, 10), CIPHER_OK);
    EXPECT_TRUE(SameState(fresh, garbage)) << "keying over arbitrary contents";

    // Each input must matter: one key bit, the key's length, the pass count.
    std::vector<uint8_t> flipped = key;
    flipped[15] ^= 1;
    EXPECT_FALSE(SameState(fresh, KeyedState(flipped)));
    std::vector<uint8_t> longer(key.size() + 1, 0);
    std::copy(key.begin(), key.end(), longer.begin());
    EXPECT_FALSE(SameState(fresh, KeyedState(longer)));
    EXPECT_FALSE(SameState(fresh, KeyedState(key, 9)));
}

TEST(CipherSetKey, RefusesKeysTheKeyBlockCannotHold)
{
    std::vector<uint8_t> key(CIPHER_MAX_KEY_SIZE + 1, 0x42);
    CipherState state;
    std::memset(&state, 0x77, sizeof state);
    CipherState before = state;
    EXPECT_EQ(CipherSetKey(&state, key.data(), CIPHER_MAX_KEY_SIZE + 1, 10), CIPHER_BAD_KEY);
    EXPECT_EQ(CipherSetKey(&state, nullptr, 16, 10), CIPHER_BAD_KEY);
    EXPECT_EQ(CipherSetKey(nullptr, key.data(), 16, 10), CIPHER_BAD_KEY);
    EXPECT_TRUE(SameState(state, before));

    // The longest key fits and ends one byte before the block does.
    EXPECT_EQ(CipherSetKey(&state, key.data(), CIPHER_MAX_KEY_SIZE, 0), CIPHER_OK);
    EXPECT_EQ(state.s[3][255], 0x42424200u);
}

TEST(CipherBlock, DecryptionUndoesEncryptionInPlaceOrNot)
{
    std::mt19937 random(4);
    for (int k = 0; k < 8; k++) {
        CipherState state = KeyedState(RandomBytes(random, 16));
        for (int i = 0; i < 64; i++) {
            std::vector<uint8_t> plain = RandomBytes(random, 8);
            Block separate, inPlace;
            std::memcpy(inPlace.data(), plain.data(), 8);
            CipherEncryptBlock(&state, separate.data(), plain.data());
            CipherEncryptBlock(&state, inPlace.data(), inPlace.data());
            ASSERT_EQ(separate, inPlace);
            ASSERT_NE(0, std::memcmp(separate.data(), plain.data(), 8));

            Block back;
            CipherDecryptBlock(&state, back.data(), separate.data());
            CipherDecryptBlock(&state, inPlace.data(), inPlace.data());
            ASSERT_EQ(back, inPlace);
            ASSERT_EQ(0, std::memcmp(back.data(), plain.data(), 8));
        }
    }
}

TEST(CipherCfb, ThirteenBytesUseOneWholeAndOnePartialRegister)
{
    CipherState state = KeyedState({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    const Block start = {0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87};
    std::vector<uint8_t> plain(13);
    for (size_t i = 0; i < plain.size(); i++)
        plain[i] = (uint8_t)(0x30 + i);

    Block first, second;
    CipherEncryptBlock(&state, first.data(), start.data());
    std::vector<uint8_t> expected(13);
    for (int i = 0; i < 8; i++)
        expected[i] = plain[i] ^ first[i];
    CipherEncryptBlock(&state, second.data(), expected.data());
    for (int i = 0; i < 5; i++)
        expected[8 + i] = plain[8 + i] ^ second[i];
    Block expectedRegister = second;
    std::memcpy(expectedRegister.data(), expected.data() + 8, 5);

    std::vector<uint8_t> buffer = plain;
    Block reg = start;
    CipherEncryptCfb(&state, buffer.data(), 13, reg.data());
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(reg, expectedRegister);

    // The register carries the stream on: 8 then 5 bytes give the same.
    std::vector<uint8_t> split = plain;
    Block splitRegister = start;
    CipherEncryptCfb(&state, split.data(), 8, splitRegister.data());
    CipherEncryptCfb(&state, split.data() + 8, 5, splitRegister.data());
    EXPECT_EQ(split, expected);
    EXPECT_EQ(splitRegister, expectedRegister);
}

TEST(CipherCbc, DecryptsBlockByBlockWithTheChain)
{
    std::mt19937 random(7);
    CipherState state = KeyedState(RandomBytes(random, 16));
    std::vector<uint8_t> cipher = RandomBytes(random, 32);
    const std::vector<uint8_t> startChain = RandomBytes(random, 8);

    // What CBC decryption means, block by block.
    std::vector<uint8_t> expected(32);
    for (int k = 0; k < 4; k++) {
        CipherDecryptBlock(&state, expected.data() + 8 * k, cipher.data() + 8 * k);
        const uint8_t* previous = k == 0 ? startChain.data() : cipher.data() + 8 * (k - 1);
        for (int i = 0; i < 8; i++)
            expected[8 * k + i] ^= previous[i];
    }

    std::vector<uint8_t> whole(32);
    Block chain;
    std::memcpy(chain.data(), startChain.data(), 8);
    EXPECT_EQ(CipherDecryptCbc(&state, whole.data(), cipher.data(), chain.data(), 32), 32u);
    EXPECT_EQ(whole, expected);
    EXPECT_EQ(0, std::memcmp(chain.data(), cipher.data() + 24, 8)) << "chain ends as the last ciphertext block";

    std::vector<uint8_t> halves = cipher;
    std::memcpy(chain.data(), startChain.data(), 8);
    EXPECT_EQ(CipherDecryptCbc(&state, halves.data(), halves.data(), chain.data(), 16), 16u);
    EXPECT_EQ(CipherDecryptCbc(&state, halves.data() + 16, halves.data() + 16, chain.data(), 16), 16u);
    EXPECT_EQ(halves, expected) << "16 + 16 in place";

    // A length short of whole blocks still works on whole blocks.
    std::vector<uint8_t> rounded(16);
    std::memcpy(chain.data(), startChain.data(), 8);
    EXPECT_EQ(CipherDecryptCbc(&state, rounded.data(), cipher.data(), chain.data(), 13), 16u);
    EXPECT_EQ(0, std::memcmp(rounded.data(), expected.data(), 16));
}

TEST(CipherCbc, ZeroLengthChangesNothing)
{
    CipherState state = KeyedState({1, 2, 3});
    Block chain = {1, 2, 3, 4, 5, 6, 7, 8};
    Block output = {9, 9, 9, 9, 9, 9, 9, 9};
    const Block input = {};
    EXPECT_EQ(CipherDecryptCbc(&state, output.data(), input.data(), chain.data(), 0), 0u);
    EXPECT_EQ(chain, (Block{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(output, (Block{9, 9, 9, 9, 9, 9, 9, 9}));
}

}  // namespace
