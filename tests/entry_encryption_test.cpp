// The writing side of encryption: CBC that the stub's decryption undoes,
// entry data with fill bytes, the header layout, and the random source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "crypto/cipher.h"
#include "crypto/md5_digest.h"
#include "crypto/password_check.h"
#include "packaging/entry_encryption.h"
#include "packaging/system_random.h"
#include "support/test_bytes.h"

using namespace packaging;

namespace {

ArchiveSecrets FixedSecrets()
{
    ArchiveSecrets s;
    for (size_t i = 0; i < s.salt.size(); i++)
        s.salt[i] = (uint8_t)(0xE0 + i);
    for (size_t i = 0; i < 8; i++) {
        s.headerChain[i] = (uint8_t)(i * 17);
        s.entryIvStart[i] = (uint8_t)(0xFF - i);
    }
    for (size_t i = 0; i < 16; i++)
        s.archiveKey[i] = (uint8_t)(i * i + 3);
    return s;
}

CipherState Keyed(const uint8_t* key)
{
    CipherState state{};
    EXPECT_EQ(CipherSetKey(&state, key, 16, CIPHER_KEY_PASSES), CIPHER_OK);
    return state;
}

TEST(CipherEncryptCbc, IsUndoneByCipherDecryptCbcInOneCallOrMany)
{
    const uint8_t key[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    CipherState state = Keyed(key);
    for (size_t length : {0, 8, 16, 800, 16384 + 8}) {
        SCOPED_TRACE(length);
        Bytes plain = NoiseBytes(length, (unsigned)length);
        Bytes data = plain;
        uint8_t chain[8] = {1, 1, 2, 3, 5, 8, 13, 21};
        // Encrypted in two calls, decrypted in one: both chains carry over.
        size_t split = length / 16 * 8;
        cipherEncryptCbc(state, data.data(), split, chain);
        cipherEncryptCbc(state, data.data() + split, length - split, chain);
        if (length > 0) {
            EXPECT_NE(data, plain);
        }

        uint8_t back[8] = {1, 1, 2, 3, 5, 8, 13, 21};
        EXPECT_EQ(CipherDecryptCbc(&state, data.data(), data.data(), back, (uint32_t)length), length);
        EXPECT_EQ(data, plain);
        EXPECT_EQ(0, std::memcmp(chain, back, 8)) << "both chains end at the last ciphertext block";
    }
    uint8_t chain[8] = {};
    uint8_t odd[12] = {};
    EXPECT_THROW(cipherEncryptCbc(state, odd, sizeof odd, chain), std::invalid_argument);
}

TEST(EntryEncryptor, FillsToWholeBlocksAndChainsFromTheEntryStart)
{
    ArchiveSecrets secrets = FixedSecrets();
    EntryEncryptor encryptor(secrets);
    CipherState state = Keyed(secrets.archiveKey.data());
    for (size_t size : {0, 1, 7, 8, 9, 16383, 16384, 16385}) {
        SCOPED_TRACE(size);
        Bytes compressed = NoiseBytes(size, (unsigned)size + 1);
        Bytes stored = encryptor.encryptEntry(compressed);
        ASSERT_EQ(stored.size(), (size + 7) / 8 * 8);
        ASSERT_EQ(stored.size(), encryptedSize(size));

        uint8_t chain[8];
        std::memcpy(chain, secrets.entryIvStart.data(), 8);
        CipherDecryptCbc(&state, stored.data(), stored.data(), chain, (uint32_t)stored.size());
        // Not memcmp: an empty entry's data may be null, which memcmp must not get.
        EXPECT_TRUE(std::equal(compressed.begin(), compressed.end(), stored.begin()));
        for (size_t i = size; i < stored.size(); i++)
            EXPECT_EQ(stored[i], 0) << "fill byte " << i;
    }
    // Every entry starts its own chain: equal data give equal stored bytes.
    Bytes data = NoiseBytes(40, 77);
    EXPECT_EQ(encryptor.encryptEntry(data), encryptor.encryptEntry(data));
}

TEST(EntryEncryptor, PiecesGiveTheSameBytesAsTheWholeEntry)
{
    ArchiveSecrets secrets = FixedSecrets();
    EntryEncryptor encryptor(secrets);
    Bytes compressed = NoiseBytes(16384 * 2 + 5, 3);
    Bytes pieces = compressed;
    pieces.resize(encryptedSize(compressed.size()), 0);
    uint8_t chain[8];
    encryptor.startChain(chain);
    for (size_t done = 0; done < pieces.size();) {
        size_t n = std::min<size_t>(pieces.size() - done, done == 0 ? 24 : 16384);
        encryptor.encryptBlocks(pieces.data() + done, n, chain);
        done += n;
    }
    EXPECT_EQ(pieces, encryptor.encryptEntry(compressed));
}

TEST(MakeCipherHeader, LaysOutTheRecordTheStubReads)
{
    ArchiveSecrets secrets = FixedSecrets();
    const std::string password = "abc";
    Bytes header = makeCipherHeader(password, secrets);
    ASSERT_EQ(header.size(), 52u);
    EXPECT_EQ(header[0] | header[1] << 8, 52);
    EXPECT_EQ(header[2] | header[3] << 8, 14);
    EXPECT_EQ(0, std::memcmp(header.data() + 4, secrets.salt.data(), 6));
    EXPECT_EQ(0, std::memcmp(header.data() + 10, secrets.headerChain.data(), 8));
    EXPECT_EQ(header[18], 0);
    EXPECT_EQ(header[19], 0);

    // Decrypt the check block by hand with the key of the derivation's
    // stream: salt+password repeated over 65535 bytes.
    Bytes stream;
    while (stream.size() < 65535) {
        stream.insert(stream.end(), secrets.salt.begin(), secrets.salt.end());
        stream.insert(stream.end(), password.begin(), password.end());
    }
    stream.resize(65535);
    Md5Context md5;
    ASSERT_EQ(Md5Begin(&md5), 0);
    Md5Feed(&md5, stream.data(), (uint32_t)stream.size());
    uint8_t passwordKey[16];
    ASSERT_EQ(Md5Finish(&md5, passwordKey), 0);
    CipherState state = Keyed(passwordKey);
    uint8_t check[32];
    uint8_t chain[8];
    std::memcpy(chain, secrets.headerChain.data(), 8);
    CipherDecryptCbc(&state, check, header.data() + 20, chain, 32);

    EXPECT_EQ(0, std::memcmp(check, secrets.archiveKey.data(), 16));
    EXPECT_EQ(0, std::memcmp(check + 16, secrets.entryIvStart.data(), 8));
    uint8_t value[8];
    ComputeCheckValue(value, check);
    EXPECT_EQ(0, std::memcmp(check + 24, value, 8));
}

TEST(MakeCipherHeader, RefusesPasswordsTheStubCannotTake)
{
    ArchiveSecrets secrets = FixedSecrets();
    EXPECT_NO_THROW(makeCipherHeader(std::string(kMaxPasswordLength, 'p'), secrets));
    EXPECT_THROW(makeCipherHeader(std::string(kMaxPasswordLength + 1, 'p'), secrets), FormatError);
}

TEST(DrawArchiveSecrets, DrawsFreshValuesEveryTime)
{
    // A broken source (zeros, a constant, a time seed reused within one
    // run) shows up as repeats.
    ArchiveSecrets a = drawArchiveSecrets();
    ArchiveSecrets b = drawArchiveSecrets();
    EXPECT_NE(a.archiveKey, b.archiveKey);
    EXPECT_NE(a.archiveKey, decltype(a.archiveKey){});
    EXPECT_NE(a.salt, b.salt);
    EXPECT_NE(a.headerChain, b.headerChain);
    EXPECT_NE(a.entryIvStart, b.entryIvStart);
    Bytes large(100000);
    systemRandomFill(large.data(), large.size());
    EXPECT_NE(Bytes(large.end() - 16, large.end()), Bytes(16, 0)) << "the tail of a long request is filled too";
}

}  // namespace
