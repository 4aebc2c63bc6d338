// ArchiveCipher: the 64-bit block cipher of encrypted archives. The block
// function is Blowfish's; the initial state comes from a small generator and
// is self-tested, and keying runs the cipher over a key block in CFB mode.
// No global state: callers own the CipherState and every chaining value.
#pragma once
#include <stdint.h>

#define CIPHER_BLOCK_SIZE   8
#define CIPHER_STATE_SIZE   4168     // bytes of a CipherState and of a state image
#define CIPHER_STATE_WORDS  1042     // 18 subkeys and four boxes of 256
#define CIPHER_MAX_KEY_SIZE 4165     // the key block keeps two bytes for the length

/* CipherSetKey results. */
#define CIPHER_OK                    0
#define CIPHER_GENERATOR_START_WRONG (-1)  // first generator value is not 0x5B10
#define CIPHER_GENERATOR_END_WRONG   (-2)  // value after the image is not 0x59ED
#define CIPHER_SELF_TEST_WRONG       (-3)  // zero block does not encrypt to the reference
#define CIPHER_SELF_TEST_NOT_UNDONE  (-4)  // the reference does not decrypt to zeros
#define CIPHER_BAD_KEY               (-5)  // no state, or a key the key block cannot hold

// Words in native byte order. s[0] is indexed by bits 24..31 of F's input,
// s[3] by bits 0..7.
struct CipherState {
    uint32_t p[18];
    uint32_t s[4][256];
};

// The next value of the state generator: (x * 23311 + 1) mod 65533.
uint16_t CipherGeneratorNext(uint16_t x);

// Replaces every word of the state: word k is the big-endian value of
// image bytes 4k..4k+3, subkeys first, then the four boxes.
void CipherLoadState(CipherState* state, const uint8_t image[CIPHER_STATE_SIZE]);

// One block each way; output and input may be the same 8 bytes.
void CipherEncryptBlock(const CipherState* state, uint8_t output[8], const uint8_t input[8]);
void CipherDecryptBlock(const CipherState* state, uint8_t output[8], const uint8_t input[8]);

// Generates and self-tests the initial state, then keys it with `passes`
// CFB passes over the key block. CIPHER_OK or one of the codes above; the
// state is meaningful only after CIPHER_OK. Keys are shorter than
// CIPHER_MAX_KEY_SIZE + 1 bytes; the archive always uses 16.
int CipherSetKey(CipherState* state, const uint8_t* key, uint32_t keyLength, uint32_t passes);

// CFB encryption in place. `reg` carries over between calls; after a final
// segment of s < 8 bytes it holds that segment's ciphertext, then the rest of
// the encrypted register.
void CipherEncryptCfb(const CipherState* state, uint8_t* buffer, uint32_t length, uint8_t reg[8]);

// CBC decryption of `length` rounded up to whole blocks (so the caller must
// provide whole blocks); output may equal input. `chain` ends as the last
// ciphertext block, so a stream can be decrypted in several calls. Returns
// the number of bytes decrypted, 0 when length is 0.
uint32_t CipherDecryptCbc(const CipherState* state, uint8_t* output, const uint8_t* input,
                          uint8_t chain[8], uint32_t length);
