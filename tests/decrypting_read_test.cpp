// ReadArchiveData: plain reads without a cipher, whole-block decrypting reads
// with one, the chain running across chunks and restarting per entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/archive_data.h"
#include "crypto/cipher.h"
#include "crypto/crypto_state.h"
#include "crypto/password_check.h"
#include "packaging/entry_encryption.h"
#include "support/temp_path.h"
#include "support/test_bytes.h"

using packaging::Bytes;

namespace {

class ReadArchiveDataTest : public testing::Test {
  protected:
    void SetUp() override
    {
        for (size_t i = 0; i < 16; i++)
            secrets.archiveKey[i] = (uint8_t)(3 * i + 1);
        for (size_t i = 0; i < 8; i++)
            secrets.entryIvStart[i] = (uint8_t)(0x90 + i);
        ActiveCipher = nullptr;
    }
    void TearDown() override
    {
        ActiveCipher = nullptr;
        for (SysFile f : opened)
            SysFileClose(f);
    }

    // Makes the archive cipher active as a successful password check would.
    void ActivateCipher()
    {
        ASSERT_EQ(CipherSetKey(&state, secrets.archiveKey.data(), 16, CIPHER_KEY_PASSES), CIPHER_OK);
        ActiveCipher = &state;
        std::memcpy(EntryIvStart, secrets.entryIvStart.data(), 8);
        ResetEntryIv();
    }

    SysFile Open(const Bytes& content)
    {
        SysFile f = SysFileOpenRead(dir.write("data" + std::to_string(opened.size()), content).c_str());
        EXPECT_NE(f, SYS_FILE_INVALID);
        opened.push_back(f);
        return f;
    }

    // Reads `total` bytes in requests of the given sizes, cycling through them.
    Bytes ReadInChunks(SysFile f, size_t total, std::vector<uint32_t> sizes)
    {
        Bytes out(total);
        size_t done = 0;
        for (size_t i = 0; done < total; i++) {
            uint32_t request = (uint32_t)std::min<size_t>(sizes[i % sizes.size()], total - done);
            uint32_t got = 0;
            EXPECT_NE(ReadArchiveData(&ProcessArchiveData, f, out.data() + done, request, &got), 0);
            EXPECT_EQ(got, request);
            if (got == 0)
                break;
            done += got;
        }
        return out;
    }

    TempDir dir;
    packaging::ArchiveSecrets secrets;
    CipherState state;
    std::vector<SysFile> opened;
};

TEST_F(ReadArchiveDataTest, WithoutCipherReadsArePlainReadsOfAnyLength)
{
    Bytes content = NoiseBytes(100, 1);
    SysFile f = Open(content);
    struct Step {
        uint32_t request, expected;
    };
    const Step steps[] = {{13, 13}, {1, 1}, {7, 7}, {0, 0}, {50, 50}, {100, 29}, {10, 0}};
    size_t position = 0;
    for (const Step& s : steps) {
        Bytes buffer(s.request + 1, 0xEE);
        uint32_t got = 12345;
        ASSERT_NE(ReadArchiveData(&ProcessArchiveData, f, buffer.data(), s.request, &got), 0);
        ASSERT_EQ(got, s.expected) << s.request;
        EXPECT_EQ(0, std::memcmp(buffer.data(), content.data() + position, got));
        EXPECT_EQ(buffer[got], 0xEE);
        position += got;
    }
}

TEST_F(ReadArchiveDataTest, WithCipherOnlyWholeBlocksAreReadAndDecrypted)
{
    ActivateCipher();
    Bytes plain = NoiseBytes(16384 + 64, 2);
    Bytes stored = packaging::EntryEncryptor(secrets).encryptEntry(plain);
    struct Step {
        uint32_t request, expectedGot;
    };
    // A request below a block reads nothing and leaves the chain alone, so
    // the reads after it still decrypt.
    const Step steps[] = {{16384, 16384}, {13, 8}, {7, 0}, {0, 0}, {1, 0}, {24, 24}, {9, 8}};
    SysFile f = Open(stored);
    size_t position = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.request);
        Bytes buffer(s.request + 1, 0xEE);
        uint32_t got = 12345;
        ASSERT_NE(ReadArchiveData(&ProcessArchiveData, f, buffer.data(), s.request, &got), 0);
        ASSERT_EQ(got, s.expectedGot);
        EXPECT_EQ(0, std::memcmp(buffer.data(), plain.data() + position, got));
        for (size_t i = got; i < buffer.size(); i++)
            ASSERT_EQ(buffer[i], 0xEE) << "byte " << i << " past the blocks read";
        position += got;
    }
}

TEST_F(ReadArchiveDataTest, ChunkSizesDoNotChangeThePlaintext)
{
    ActivateCipher();
    Bytes plain = NoiseBytes(50000, 3);
    Bytes stored = packaging::EntryEncryptor(secrets).encryptEntry(plain);
    ASSERT_EQ(stored.size(), 50000u);
    const std::vector<std::vector<uint32_t>> patterns = {
        {50000}, {16384}, {8}, {8, 16, 4096, 24, 16384}, {16376, 16392}};
    for (const auto& pattern : patterns) {
        SysFile f = Open(stored);
        ResetEntryIv();
        EXPECT_EQ(ReadInChunks(f, stored.size(), pattern), plain) << "first request " << pattern[0];
    }
}

TEST_F(ReadArchiveDataTest, EachEntryRestartsItsChainWhetherOrNotTheLastWasFinished)
{
    ActivateCipher();
    packaging::EntryEncryptor encryptor(secrets);
    Bytes first = NoiseBytes(40000, 4), second = NoiseBytes(20008, 5);
    Bytes storedFirst = encryptor.encryptEntry(first), storedSecond = encryptor.encryptEntry(second);
    Bytes archive = storedFirst;
    archive.insert(archive.end(), storedSecond.begin(), storedSecond.end());

    for (size_t readOfFirst : {storedFirst.size(), (size_t)16384, (size_t)0}) {
        SCOPED_TRACE(readOfFirst);
        SysFile f = Open(archive);
        ResetEntryIv();
        Bytes firstRead = ReadInChunks(f, readOfFirst, {16384});
        // Not memcmp: the data of an empty vector may be null, which memcmp must not get.
        EXPECT_TRUE(std::equal(first.begin(), first.begin() + (std::ptrdiff_t)readOfFirst, firstRead.begin()));

        // As the entry reader does: seek to the entry's data, restart the chain.
        ASSERT_EQ(SysFileSeek(f, (int64_t)storedFirst.size(), SYS_SEEK_BEGIN), (int64_t)storedFirst.size());
        ResetEntryIv();
        EXPECT_EQ(ReadInChunks(f, second.size(), {16384}), second);
    }
}

TEST_F(ReadArchiveDataTest, PartialBlockAtTheEndOfTheFileStaysAsRead)
{
    ActivateCipher();
    Bytes plain = NoiseBytes(32, 6);
    Bytes stored = packaging::EntryEncryptor(secrets).encryptEntry(plain);
    Bytes truncated(stored.begin(), stored.begin() + 21);  // two blocks and 5 bytes
    SysFile f = Open(truncated);
    Bytes buffer(32, 0);
    uint32_t got = 0;
    ASSERT_NE(ReadArchiveData(&ProcessArchiveData, f, buffer.data(), 32, &got), 0);
    EXPECT_EQ(got, 21u);
    EXPECT_EQ(0, std::memcmp(buffer.data(), plain.data(), 16));
    EXPECT_EQ(0, std::memcmp(buffer.data() + 16, stored.data() + 16, 5));
}

TEST_F(ReadArchiveDataTest, FailedReadDecryptsNothing)
{
    for (bool cipher : {false, true}) {
        SCOPED_TRACE(cipher);
        if (cipher)
            ActivateCipher();
        uint8_t chainBefore[8];
        std::memcpy(chainBefore, EntryIv, 8);
        Bytes buffer(64, 0x3C);
        uint32_t got = 0;
        EXPECT_EQ(ReadArchiveData(&ProcessArchiveData, SYS_FILE_INVALID, buffer.data(), 64, &got), 0);
        EXPECT_EQ(0, std::memcmp(EntryIv, chainBefore, 8));
        EXPECT_EQ(buffer, Bytes(64, 0x3C));
    }
}

TEST_F(ReadArchiveDataTest, EncryptedEntrySizesMustBeWholeBlocks)
{
    const uint32_t sizes[] = {0, 1, 7, 8, 9, 16384, 16385, 0xFFFFFFF8u, 0xFFFFFFFFu};
    for (uint32_t size : sizes)
        EXPECT_EQ(CheckEntryDataSize(&ProcessArchiveData, size), 0) << "plain archive, size " << size;
    ActivateCipher();
    for (uint32_t size : sizes)
        EXPECT_EQ(CheckEntryDataSize(&ProcessArchiveData, size), size % 8 == 0 ? 0 : -1) << "encrypted archive, size " << size;
}

}  // namespace
