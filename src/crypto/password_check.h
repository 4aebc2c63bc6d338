// The password check of encrypted archives: the password key, the check
// value, and VerifyPassword, which keys ActiveCipher with the archive key
// once a password has proved right.
#pragma once
#include <stdint.h>

#include "crypto/cipher.h"
#include "startup/settings.h"

/* CipherHeader: trailer record 14 as the settings keep it, CIPHER_HEADER_SIZE
   bytes with the record header. Offsets into it: */
#define CIPHER_HEADER_SALT         4    // salt of the password key
#define CIPHER_HEADER_SALT_SIZE    6
#define CIPHER_HEADER_CHAIN        10   // chaining value for the check block
#define CIPHER_HEADER_CHECK_BLOCK  20   // CBC-encrypted under the password key
#define CHECK_BLOCK_SIZE           32

/* The check block once decrypted. */
#define CHECK_BLOCK_ARCHIVE_KEY    0    // key of all entry data, 16 bytes
#define CHECK_BLOCK_ENTRY_IV       16   // becomes EntryIvStart, 8 bytes
#define CHECK_BLOCK_CHECK_VALUE    24   // ComputeCheckValue of bytes 0..23
#define CHECK_VALUE_SIZE           8
#define ARCHIVE_KEY_SIZE           16

#define PASSWORD_KEY_SIZE          16
#define PASSWORD_MAX_LENGTH        126  // what the password page passes at most
#define PASSWORD_KEY_STREAM_LENGTH 65535
#define CIPHER_KEY_PASSES          10

/* VerifyPassword results. */
#define PASSWORD_REFUSED        0
#define PASSWORD_ACCEPTED       1
#define PASSWORD_NO_MEMORY      (-1)  // the cipher state could not be allocated
#define PASSWORD_BAD_PARAMETER  (-2)

// Password key: MD5 over exactly PASSWORD_KEY_STREAM_LENGTH bytes of the
// piece "salt, password" repeated, the last repetition cut short. 0, or -1
// for a password longer than PASSWORD_MAX_LENGTH or when MD5 is unavailable
// (the key is zeros then).
int DerivePasswordKey(uint8_t key[PASSWORD_KEY_SIZE], const uint8_t salt[CIPHER_HEADER_SALT_SIZE],
                      const uint8_t* password, uint32_t length);

// XOR and sum modulo 2^32 of the six little-endian words of `input`, both
// written little-endian.
void ComputeCheckValue(uint8_t output[CHECK_VALUE_SIZE], const uint8_t input[24]);

// Checks a password against settings->cipherHeader. On success keys
// ActiveCipher with the archive key, sets EntryIvStart and
// settings->passwordAccepted, and returns PASSWORD_ACCEPTED. A wrong password
// leaves ActiveCipher allocated but zeroed and returns PASSWORD_REFUSED, as
// does every call once a password has been accepted (nothing changes then).
// PASSWORD_NO_MEMORY when the state cannot be allocated; the caller turns it
// into the out-of-memory message. The header copy in the settings is never
// changed.
int VerifyPassword(SfxSettingsRecord* settings, const uint8_t* password, uint32_t length);

// VerifyPassword for a cipher and first chaining value of the caller's own
// (a host tool's, one per package): *cipher is allocated when null and keyed
// or zeroed as ActiveCipher is above; entryIvStart, CIPHER_BLOCK_SIZE bytes,
// is written when the password proves right.
int VerifyPasswordInto(SfxSettingsRecord* settings, const uint8_t* password, uint32_t length, CipherState** cipher,
                       uint8_t entryIvStart[CIPHER_BLOCK_SIZE]);
