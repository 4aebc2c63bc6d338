// The password check: key derivation over its exact byte stream, the check
// value, and VerifyPassword's effect on the settings and the cipher state.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "crypto/crypto_state.h"
#include "crypto/md5_digest.h"
#include "crypto/password_check.h"
#include "packaging/entry_encryption.h"

namespace {

using Key = std::array<uint8_t, PASSWORD_KEY_SIZE>;

Key Md5Of(const std::vector<uint8_t>& data)
{
    Md5Context context;
    EXPECT_EQ(Md5Begin(&context), 0);
    Md5Feed(&context, data.data(), (uint32_t)data.size());
    Key digest;
    EXPECT_EQ(Md5Finish(&context, digest.data()), 0);
    return digest;
}

TEST(DerivePasswordKey, HashesExactlyTheRepeatedPieceStream)
{
    const uint8_t salt[CIPHER_HEADER_SALT_SIZE] = {0x53, 0xA1, 0x7E, 0x00, 0xFF, 0x42};
    struct Case {
        size_t length;
        size_t wholePieces;  // how often salt+password fits into 65535 bytes
        size_t tail;         // bytes of the piece after the last whole one
    };
    const Case cases[] = {
        {0, 10922, 3},    // the salt alone, then its first 3 bytes
        {9, 4369, 0},     // a 15-byte piece divides 65535
        {126, 496, 63},   // the longest password the page passes
        {1, 9362, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<uint8_t> password(c.length);
        for (size_t i = 0; i < c.length; i++)
            password[i] = (uint8_t)('a' + i % 26 + (i & 0x80));

        std::vector<uint8_t> piece(salt, salt + sizeof salt);
        piece.insert(piece.end(), password.begin(), password.end());
        std::vector<uint8_t> stream;
        for (size_t i = 0; i < c.wholePieces; i++)
            stream.insert(stream.end(), piece.begin(), piece.end());
        stream.insert(stream.end(), piece.begin(), piece.begin() + c.tail);
        ASSERT_EQ(stream.size(), (size_t)PASSWORD_KEY_STREAM_LENGTH);

        Key key;
        ASSERT_EQ(DerivePasswordKey(key.data(), salt, password.data(), (uint32_t)c.length), 0);
        EXPECT_EQ(key, Md5Of(stream));
    }
}

TEST(DerivePasswordKey, RefusesPasswordsLongerThanThePageAllows)
{
    const uint8_t salt[CIPHER_HEADER_SALT_SIZE] = {};
    std::vector<uint8_t> password(PASSWORD_MAX_LENGTH + 1, 'x');
    Key key;
    key.fill(0xCC);
    EXPECT_EQ(DerivePasswordKey(key.data(), salt, password.data(), (uint32_t)password.size()), -1);
    EXPECT_EQ(key, Key{});
}

TEST(ComputeCheckValue, XorAndWrappingSumOfLittleEndianWords)
{
    struct Case {
        std::array<uint32_t, 6> words;
        uint32_t xorValue, sum;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5, 6}, 7, 21},
        {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, 0, 0xFFFFFFFA},
        {{0x80000000, 0x80000000, 0x00000001, 0, 0, 0x12345678}, 0x12345679, 0x12345679},
        {{0x01020304, 0, 0, 0, 0, 0}, 0x01020304, 0x01020304},
    };
    for (const Case& c : cases) {
        uint8_t input[24];
        for (int i = 0; i < 6; i++)
            for (int b = 0; b < 4; b++)
                input[4 * i + b] = (uint8_t)(c.words[i] >> (8 * b));
        uint8_t output[CHECK_VALUE_SIZE];
        ComputeCheckValue(output, input);
        const uint8_t expected[8] = {
            (uint8_t)c.xorValue, (uint8_t)(c.xorValue >> 8), (uint8_t)(c.xorValue >> 16), (uint8_t)(c.xorValue >> 24),
            (uint8_t)c.sum,      (uint8_t)(c.sum >> 8),      (uint8_t)(c.sum >> 16),      (uint8_t)(c.sum >> 24)};
        EXPECT_EQ(0, std::memcmp(output, expected, 8)) << std::hex << c.xorValue << " " << c.sum;
    }
}

// Each test starts as the program does: no cipher yet, a header from the
// trailer, the password not accepted.
class VerifyPasswordTest : public testing::Test {
  protected:
    void SetUp() override
    {
        ResetCryptoState();
        for (size_t i = 0; i < 6; i++)
            secrets.salt[i] = (uint8_t)(0x10 + i);
        for (size_t i = 0; i < 8; i++) {
            secrets.headerChain[i] = (uint8_t)(0xC0 + i);
            secrets.entryIvStart[i] = (uint8_t)(0x70 + 3 * i);
        }
        for (size_t i = 0; i < 16; i++)
            secrets.archiveKey[i] = (uint8_t)(0xA0 ^ (7 * i));
        packaging::Bytes header = packaging::makeCipherHeader(kPassword, secrets);
        std::memset(&settings, 0, sizeof settings);
        std::memcpy(settings.cipherHeader, header.data(), CIPHER_HEADER_SIZE);
        settings.cipherHeaderPresent = 1;
        settings.passwordAccepted = 0;
    }

    int Verify(const std::string& password)
    {
        return VerifyPassword(&settings, (const uint8_t*)password.data(), (uint32_t)password.size());
    }

    CipherState ArchiveKeyState() const
    {
        CipherState state{};
        EXPECT_EQ(CipherSetKey(&state, secrets.archiveKey.data(), 16, CIPHER_KEY_PASSES), CIPHER_OK);
        return state;
    }

    static bool IsZero(const void* data, size_t size)
    {
        const uint8_t* p = (const uint8_t*)data;
        for (size_t i = 0; i < size; i++)
            if (p[i] != 0)
                return false;
        return true;
    }

    static constexpr const char* kPassword = "Kennwort \xE4\xF6\xFC!";
    packaging::ArchiveSecrets secrets;
    SfxSettingsRecord settings;
};

TEST_F(VerifyPasswordTest, RightPasswordKeysTheArchiveCipher)
{
    uint8_t headerBefore[CIPHER_HEADER_SIZE];
    std::memcpy(headerBefore, settings.cipherHeader, sizeof headerBefore);

    EXPECT_EQ(Verify(kPassword), PASSWORD_ACCEPTED);
    EXPECT_EQ(settings.passwordAccepted, 1);
    ASSERT_NE(ActiveCipher, nullptr);
    CipherState expected = ArchiveKeyState();
    EXPECT_EQ(0, std::memcmp(ActiveCipher, &expected, sizeof expected));
    EXPECT_EQ(0, std::memcmp(EntryIvStart, secrets.entryIvStart.data(), 8));
    EXPECT_EQ(0, std::memcmp(settings.cipherHeader, headerBefore, sizeof headerBefore));
}

TEST_F(VerifyPasswordTest, WrongPasswordsLeaveAZeroedStateThenTheRightOneWorks)
{
    const std::string wrong[] = {"", "kennwort \xE4\xF6\xFC!", "Kennwort \xE4\xF6\xFC", "Kennwort \xE4\xF6\xFC!!"};
    for (const std::string& password : wrong) {
        EXPECT_EQ(Verify(password), PASSWORD_REFUSED) << password;
        EXPECT_EQ(settings.passwordAccepted, 0);
        ASSERT_NE(ActiveCipher, nullptr);
        EXPECT_TRUE(IsZero(ActiveCipher, sizeof(CipherState)));
        EXPECT_TRUE(IsZero(EntryIvStart, sizeof EntryIvStart));
    }
    CipherState* state = ActiveCipher;
    EXPECT_EQ(Verify(kPassword), PASSWORD_ACCEPTED);
    EXPECT_EQ(ActiveCipher, state) << "the state is allocated once";
    CipherState expected = ArchiveKeyState();
    EXPECT_EQ(0, std::memcmp(ActiveCipher, &expected, sizeof expected));
    EXPECT_EQ(0, std::memcmp(EntryIvStart, secrets.entryIvStart.data(), 8));
}

TEST_F(VerifyPasswordTest, AfterSuccessEveryFurtherCallRefusesAndChangesNothing)
{
    ASSERT_EQ(Verify(kPassword), PASSWORD_ACCEPTED);
    CipherState* state = ActiveCipher;
    CipherState keyed = *ActiveCipher;
    for (const std::string& password : {std::string(kPassword), std::string("wrong")}) {
        EXPECT_EQ(Verify(password), PASSWORD_REFUSED);
        EXPECT_EQ(settings.passwordAccepted, 1);
        EXPECT_EQ(ActiveCipher, state);
        EXPECT_EQ(0, std::memcmp(ActiveCipher, &keyed, sizeof keyed));
        EXPECT_EQ(0, std::memcmp(EntryIvStart, secrets.entryIvStart.data(), 8));
    }
}

TEST_F(VerifyPasswordTest, DamagedHeaderRefusesEveryPassword)
{
    // One bit anywhere in the check block or its chaining value spoils the
    // check value; the salt changes the key.
    for (int offset : {CIPHER_HEADER_SALT, CIPHER_HEADER_CHAIN + 7, CIPHER_HEADER_CHECK_BLOCK,
                       CIPHER_HEADER_CHECK_BLOCK + 31}) {
        SetUp();
        settings.cipherHeader[offset] ^= 0x01;
        EXPECT_EQ(Verify(kPassword), PASSWORD_REFUSED) << offset;
        EXPECT_EQ(settings.passwordAccepted, 0);
    }
}

TEST_F(VerifyPasswordTest, CallsThatCannotBeRightChangeNothing)
{
    // No header: the archive is plain and there is nothing to check.
    settings.cipherHeaderPresent = 0;
    settings.passwordAccepted = 1;
    EXPECT_EQ(Verify(kPassword), PASSWORD_REFUSED);
    EXPECT_EQ(ActiveCipher, nullptr);

    settings.cipherHeaderPresent = 1;
    settings.passwordAccepted = 0;
    std::string tooLong(PASSWORD_MAX_LENGTH + 1, 'x');
    EXPECT_EQ(Verify(tooLong), PASSWORD_BAD_PARAMETER);
    EXPECT_EQ(VerifyPassword(nullptr, (const uint8_t*)"x", 1), PASSWORD_BAD_PARAMETER);
    EXPECT_EQ(VerifyPassword(&settings, nullptr, 3), PASSWORD_BAD_PARAMETER);
    EXPECT_EQ(ActiveCipher, nullptr);
    EXPECT_EQ(settings.passwordAccepted, 0);
}

TEST_F(VerifyPasswordTest, EmptyAndLongestPasswordsWork)
{
    for (const std::string& password : {std::string(), std::string(PASSWORD_MAX_LENGTH, '\xFF')}) {
        SCOPED_TRACE(password.size());
        ResetCryptoState();
        packaging::Bytes header = packaging::makeCipherHeader(password, secrets);
        std::memcpy(settings.cipherHeader, header.data(), CIPHER_HEADER_SIZE);
        settings.passwordAccepted = 0;
        std::string wrong = password.empty() ? "x" : password.substr(1) + "x";
        EXPECT_EQ(Verify(wrong), PASSWORD_REFUSED);
        EXPECT_EQ(Verify(password), PASSWORD_ACCEPTED);
    }
}

TEST(ResetEntryIv, RestartsTheChainOnlyWhileACipherIsActive)
{
    // An earlier test's cipher is given back first, not lost when the
    // pointer is borrowed below.
    ResetCryptoState();
    CipherState state{};
    std::memset(EntryIvStart, 0x5A, sizeof EntryIvStart);
    std::memset(EntryIv, 0x11, sizeof EntryIv);
    ActiveCipher = nullptr;
    ResetEntryIv();
    EXPECT_EQ(EntryIv[0], 0x11);
    ActiveCipher = &state;
    ResetEntryIv();
    EXPECT_EQ(0, std::memcmp(EntryIv, EntryIvStart, sizeof EntryIv));
    ActiveCipher = nullptr;
}

}  // namespace
