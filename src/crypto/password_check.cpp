// Password key derivation, the check value and password verification.
#include "crypto/password_check.h"

#include <string.h>

#include "crypto/cipher.h"
#include "crypto/crypto_state.h"
#include "crypto/md5_digest.h"
#include "crypto/secure_wipe.h"
#include "platform/byte_order.h"
#include "platform/sys_file.h"

int DerivePasswordKey(uint8_t key[PASSWORD_KEY_SIZE], const uint8_t salt[CIPHER_HEADER_SALT_SIZE],
                      const uint8_t* password, uint32_t length)
{
    memset(key, 0, PASSWORD_KEY_SIZE);
    if (length > PASSWORD_MAX_LENGTH || (length > 0 && password == NULL))
        return -1;

    uint8_t piece[CIPHER_HEADER_SALT_SIZE + PASSWORD_MAX_LENGTH];
    const uint32_t pieceSize = CIPHER_HEADER_SALT_SIZE + length;
    memcpy(piece, salt, CIPHER_HEADER_SALT_SIZE);
    if (length > 0)
        memcpy(piece + CIPHER_HEADER_SALT_SIZE, password, length);

    Md5Context md5;
    int result = -1;
    if (Md5Begin(&md5) == 0) {
        for (uint32_t left = PASSWORD_KEY_STREAM_LENGTH; left > 0;) {
            uint32_t feed = left < pieceSize ? left : pieceSize;
            Md5Feed(&md5, piece, feed);
            left -= feed;
        }
        result = Md5Finish(&md5, key);
    }
    SecureWipe(piece, sizeof piece);
    return result;
}

void ComputeCheckValue(uint8_t output[CHECK_VALUE_SIZE], const uint8_t input[24])
{
    uint32_t x = 0;
    uint32_t sum = 0;
    for (int i = 0; i < 6; i++) {
        uint32_t w = ReadU32Le(input + 4 * i);
        x ^= w;
        sum += w;
    }
    // Little-endian, unlike the cipher's blocks: this is how headers are made.
    for (int i = 0; i < 4; i++) {
        output[i] = (uint8_t)(x >> (8 * i));
        output[4 + i] = (uint8_t)(sum >> (8 * i));
    }
}

// Compares without an early exit; the header is public, but there is no
// reason to let the time depend on how much of the check value matched.
static int SameBytes(const uint8_t* a, const uint8_t* b, uint32_t size)
{
    uint8_t difference = 0;
    for (uint32_t i = 0; i < size; i++)
        difference |= (uint8_t)(a[i] ^ b[i]);
    return difference == 0;
}

int VerifyPasswordInto(SfxSettingsRecord* settings, const uint8_t* password, uint32_t length, CipherState** cipher,
                       uint8_t entryIvStart[CIPHER_BLOCK_SIZE])
{
    if (cipher == NULL || entryIvStart == NULL)
        return PASSWORD_BAD_PARAMETER;
    if (settings == NULL || length > PASSWORD_MAX_LENGTH || (length > 0 && password == NULL))
        return PASSWORD_BAD_PARAMETER;
    if (settings->passwordAccepted || !settings->cipherHeaderPresent)
        return PASSWORD_REFUSED;

    // Allocated before any key exists, so running out of memory leaves
    // nothing to wipe.
    if (*cipher == NULL) {
        CipherState* state = (CipherState*)SysAlloc(sizeof(CipherState));
        if (state == NULL)
            return PASSWORD_NO_MEMORY;
        *cipher = state;
    }
    CipherState* state = *cipher;

    uint8_t header[CIPHER_HEADER_SIZE];
    uint8_t passwordKey[PASSWORD_KEY_SIZE];
    uint8_t checkValue[CHECK_VALUE_SIZE];
    memcpy(header, settings->cipherHeader, sizeof header);
    uint8_t* check = header + CIPHER_HEADER_CHECK_BLOCK;

    int accepted = 0;
    // A key that could not be derived, or a cipher that fails its own
    // self-test, is treated like a wrong password: keying with a key of
    // zeros or checking under the unkeyed state would prove nothing.
    if (DerivePasswordKey(passwordKey, header + CIPHER_HEADER_SALT, password, length) == 0
        && CipherSetKey(state, passwordKey, PASSWORD_KEY_SIZE, CIPHER_KEY_PASSES) == CIPHER_OK) {
        CipherDecryptCbc(state, check, check, header + CIPHER_HEADER_CHAIN, CHECK_BLOCK_SIZE);
        ComputeCheckValue(checkValue, check);
        if (SameBytes(checkValue, check + CHECK_BLOCK_CHECK_VALUE, CHECK_VALUE_SIZE)
            && CipherSetKey(state, check + CHECK_BLOCK_ARCHIVE_KEY, ARCHIVE_KEY_SIZE,
                            CIPHER_KEY_PASSES) == CIPHER_OK) {
            memcpy(entryIvStart, check + CHECK_BLOCK_ENTRY_IV, CIPHER_BLOCK_SIZE);
            accepted = 1;
        }
    }

    SecureWipe(passwordKey, sizeof passwordKey);
    SecureWipe(checkValue, sizeof checkValue);
    SecureWipe(header, sizeof header);
    if (!accepted) {
        SecureWipe(state, sizeof(CipherState));
        return PASSWORD_REFUSED;
    }
    settings->passwordAccepted = 1;
    return PASSWORD_ACCEPTED;
}

int VerifyPassword(SfxSettingsRecord* settings, const uint8_t* password, uint32_t length)
{
    return VerifyPasswordInto(settings, password, length, &ActiveCipher, EntryIvStart);
}
