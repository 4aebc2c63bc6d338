// The archive cipher: generator and unkeyed-state reference values, keying,
// block functions, CFB and CBC.
#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "crypto/cipher.h"
#include "support/test_bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

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

// CBC encryption from the encrypting rounds, which share no code with the
// decrypting ones.
std::vector<uint8_t> EncryptCbc(const CipherState& state, std::vector<uint8_t> data, const std::vector<uint8_t>& chain)
{
    const uint8_t* previous = chain.data();
    for (size_t at = 0; at < data.size(); at += 8) {
        for (int i = 0; i < 8; i++)
            data[at + i] ^= previous[i];
        CipherEncryptBlock(&state, data.data() + at, data.data() + at);
        previous = data.data() + at;
    }
    return data;
}

TEST(CipherCbc, EveryBlockCountAndSplitDecryptsAndWritesNothingBeyond)
{
    // Blocks are decrypted several at a time; these counts end a call on
    // every position within such a group, and the splits start the second
    // call on every one.
    std::mt19937 random(12);
    CipherState state = KeyedState(RandomBytes(random, 16));
    const std::vector<uint8_t> startChain = RandomBytes(random, 8);
    const uint8_t kGuard = 0xA5;
    for (uint32_t blocks = 1; blocks <= 13; blocks++) {
        SCOPED_TRACE(testing::Message() << blocks << " blocks");
        const uint32_t size = 8 * blocks;
        const std::vector<uint8_t> plain = RandomBytes(random, size);
        const std::vector<uint8_t> cipher = EncryptCbc(state, plain, startChain);
        const Block lastCipher = {cipher[size - 8], cipher[size - 7], cipher[size - 6], cipher[size - 5],
                                  cipher[size - 4], cipher[size - 3], cipher[size - 2], cipher[size - 1]};

        std::vector<uint8_t> output(size + 8, kGuard);
        std::vector<uint8_t> input = cipher;
        Block chain;
        std::memcpy(chain.data(), startChain.data(), 8);
        ASSERT_EQ(CipherDecryptCbc(&state, output.data(), input.data(), chain.data(), size), size);
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), output.begin()));
        EXPECT_EQ(std::count(output.begin() + size, output.end(), kGuard), 8) << "wrote past the end";
        EXPECT_EQ(input, cipher) << "input changed";
        EXPECT_EQ(chain, lastCipher);

        for (uint32_t split = 0; split <= blocks; split++) {
            std::vector<uint8_t> buffer = cipher;
            buffer.resize(size + 8, kGuard);
            std::memcpy(chain.data(), startChain.data(), 8);
            CipherDecryptCbc(&state, buffer.data(), buffer.data(), chain.data(), 8 * split);
            CipherDecryptCbc(&state, buffer.data() + 8 * split, buffer.data() + 8 * split, chain.data(),
                             size - 8 * split);
            EXPECT_TRUE(std::equal(plain.begin(), plain.end(), buffer.begin())) << "in place, split at " << split;
            EXPECT_EQ(std::count(buffer.begin() + size, buffer.end(), kGuard), 8) << "split at " << split;
            EXPECT_EQ(chain, lastCipher) << "split at " << split;
        }
    }
}

// Two pages of which the second cannot be touched: data placed at the end of
// the first show any read past their end as a crash.
class GuardedPage {
  public:
    GuardedPage()
    {
#ifdef _WIN32
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_ = info.dwPageSize;
        base_ = (uint8_t*)VirtualAlloc(nullptr, 2 * size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old;
        if (base_ != nullptr && !VirtualProtect(base_ + size_, size_, PAGE_NOACCESS, &old))
            base_ = nullptr;
#else
        size_ = (size_t)sysconf(_SC_PAGESIZE);
        void* p = mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : (uint8_t*)p;
        if (base_ != nullptr && mprotect(base_ + size_, size_, PROT_NONE) != 0)
            base_ = nullptr;
#endif
    }
    ~GuardedPage()
    {
#ifdef _WIN32
        if (base_ != nullptr)
            VirtualFree(base_, 0, MEM_RELEASE);
#else
        if (base_ != nullptr)
            munmap(base_, 2 * size_);
#endif
    }
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    // size bytes that end where the readable page ends; null without a page.
    uint8_t* EndingWith(size_t size) const { return base_ == nullptr ? nullptr : base_ + size_ - size; }

  private:
    uint8_t* base_ = nullptr;
    size_t size_ = 0;
};

TEST(CipherCbc, ReadsNothingPastTheLastBlock)
{
    // A call whose blocks do not fill the cipher's group of side-by-side
    // blocks must not look beyond them, nor may a lone block.
    std::mt19937 random(13);
    CipherState state = KeyedState(RandomBytes(random, 16));
    GuardedPage page;
    for (uint32_t blocks = 1; blocks <= 5; blocks++) {
        SCOPED_TRACE(testing::Message() << blocks << " blocks");
        uint8_t* data = page.EndingWith(8 * blocks);
        ASSERT_NE(data, nullptr);
        const std::vector<uint8_t> plain = RandomBytes(random, 8 * blocks);
        const std::vector<uint8_t> startChain = RandomBytes(random, 8);
        const std::vector<uint8_t> cipher = EncryptCbc(state, plain, startChain);
        std::memcpy(data, cipher.data(), cipher.size());
        Block chain;
        std::memcpy(chain.data(), startChain.data(), 8);
        CipherDecryptCbc(&state, data, data, chain.data(), 8 * blocks);
        EXPECT_EQ(0, std::memcmp(data, plain.data(), plain.size()));
    }
    uint8_t* last = page.EndingWith(8);
    std::memset(last, 0x3C, 8);
    Block encrypted, back;
    CipherEncryptBlock(&state, encrypted.data(), last);
    std::memcpy(last, encrypted.data(), 8);
    CipherDecryptBlock(&state, back.data(), last);
    EXPECT_EQ(back, (Block{0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C, 0x3C}));
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
