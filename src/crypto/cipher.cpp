// ArchiveCipher: state generation and self-test, keying, block functions,
// CFB encryption and CBC decryption.
#include "cipher.h"

#include <string.h>

#include "../platform/byte_order.h"
#include "secure_wipe.h"

static_assert(sizeof(CipherState) == CIPHER_STATE_SIZE, "CipherState must match its image");

#define GENERATOR_START     1
#define GENERATOR_FIRST     0x5B10u   // the value after GENERATOR_START
#define GENERATOR_AFTER_END 0x59EDu   // the value after the last image byte's

// The unkeyed state must encrypt the zero block to this.
static const uint8_t kSelfTestBlock[CIPHER_BLOCK_SIZE] = {0x4D, 0x38, 0xE6, 0x00, 0x47, 0x35, 0x24, 0xCF};

uint16_t CipherGeneratorNext(uint16_t x)
{
    return (uint16_t)(((uint32_t)x * 23311u + 1u) % 65533u);
}

void CipherLoadState(CipherState* state, const uint8_t image[CIPHER_STATE_SIZE])
{
    for (int i = 0; i < 18; i++)
        state->p[i] = ReadU32Be(image + 4 * i);
    const uint8_t* boxes = image + 4 * 18;
    for (int box = 0; box < 4; box++)
        for (int i = 0; i < 256; i++)
            state->s[box][i] = ReadU32Be(boxes + 4 * (256 * box + i));
}

static inline uint32_t F(const CipherState* st, uint32_t x)
{
    return ((st->s[0][x >> 24] + st->s[1][(x >> 16) & 0xFF]) ^ st->s[2][(x >> 8) & 0xFF]) + st->s[3][x & 0xFF];
}

// The rounds on two halves; *left and *right come back as the output block's
// first and second word. Shared by the single-block calls and CBC, which
// keeps its chain in registers.
static inline void EncryptHalves(const CipherState* st, uint32_t* left, uint32_t* right)
{
    const uint32_t* p = st->p;
    uint32_t l = *left ^ p[0];
    uint32_t r = *right;
    r ^= F(st, l) ^ p[1];   l ^= F(st, r) ^ p[2];
    r ^= F(st, l) ^ p[3];   l ^= F(st, r) ^ p[4];
    r ^= F(st, l) ^ p[5];   l ^= F(st, r) ^ p[6];
    r ^= F(st, l) ^ p[7];   l ^= F(st, r) ^ p[8];
    r ^= F(st, l) ^ p[9];   l ^= F(st, r) ^ p[10];
    r ^= F(st, l) ^ p[11];  l ^= F(st, r) ^ p[12];
    r ^= F(st, l) ^ p[13];  l ^= F(st, r) ^ p[14];
    r ^= F(st, l) ^ p[15];  l ^= F(st, r) ^ p[16];
    *left = r ^ p[17];
    *right = l;
}

static inline void DecryptHalves(const CipherState* st, uint32_t* left, uint32_t* right)
{
    const uint32_t* p = st->p;
    uint32_t l = *left ^ p[17];
    uint32_t r = *right;
    r ^= F(st, l) ^ p[16];  l ^= F(st, r) ^ p[15];
    r ^= F(st, l) ^ p[14];  l ^= F(st, r) ^ p[13];
    r ^= F(st, l) ^ p[12];  l ^= F(st, r) ^ p[11];
    r ^= F(st, l) ^ p[10];  l ^= F(st, r) ^ p[9];
    r ^= F(st, l) ^ p[8];   l ^= F(st, r) ^ p[7];
    r ^= F(st, l) ^ p[6];   l ^= F(st, r) ^ p[5];
    r ^= F(st, l) ^ p[4];   l ^= F(st, r) ^ p[3];
    r ^= F(st, l) ^ p[2];   l ^= F(st, r) ^ p[1];
    *left = r ^ p[0];
    *right = l;
}

void CipherEncryptBlock(const CipherState* state, uint8_t output[8], const uint8_t input[8])
{
    uint32_t l = ReadU32Be(input);
    uint32_t r = ReadU32Be(input + 4);
    EncryptHalves(state, &l, &r);
    WriteU32Be(output, l);
    WriteU32Be(output + 4, r);
}

void CipherDecryptBlock(const CipherState* state, uint8_t output[8], const uint8_t input[8])
{
    uint32_t l = ReadU32Be(input);
    uint32_t r = ReadU32Be(input + 4);
    DecryptHalves(state, &l, &r);
    WriteU32Be(output, l);
    WriteU32Be(output + 4, r);
}

void CipherEncryptCfb(const CipherState* state, uint8_t* buffer, uint32_t length, uint8_t reg[8])
{
    while (length > 0) {
        uint32_t segment = length < CIPHER_BLOCK_SIZE ? length : CIPHER_BLOCK_SIZE;
        CipherEncryptBlock(state, reg, reg);
        for (uint32_t i = 0; i < segment; i++) {
            buffer[i] ^= reg[i];
            reg[i] = buffer[i];
        }
        buffer += segment;
        length -= segment;
    }
}

uint32_t CipherDecryptCbc(const CipherState* state, uint8_t* output, const uint8_t* input,
                          uint8_t chain[8], uint32_t length)
{
    uint32_t total = (uint32_t)(((uint64_t)length + 7) & ~(uint64_t)7);
    if (total == 0)
        return 0;
    uint32_t chainLeft = ReadU32Be(chain);
    uint32_t chainRight = ReadU32Be(chain + 4);
    for (uint32_t done = 0; done < total; done += CIPHER_BLOCK_SIZE) {
        // The ciphertext is held in registers before the output is written,
        // which is what lets output and input be the same buffer.
        uint32_t cipherLeft = ReadU32Be(input + done);
        uint32_t cipherRight = ReadU32Be(input + done + 4);
        uint32_t l = cipherLeft;
        uint32_t r = cipherRight;
        DecryptHalves(state, &l, &r);
        WriteU32Be(output + done, l ^ chainLeft);
        WriteU32Be(output + done + 4, r ^ chainRight);
        chainLeft = cipherLeft;
        chainRight = cipherRight;
    }
    WriteU32Be(chain, chainLeft);
    WriteU32Be(chain + 4, chainRight);
    return total;
}

int CipherSetKey(CipherState* state, const uint8_t* key, uint32_t keyLength, uint32_t passes)
{
    if (state == 0 || keyLength > CIPHER_MAX_KEY_SIZE || (keyLength > 0 && key == 0))
        return CIPHER_BAD_KEY;

    // One buffer serves first as the generated image and then as the key
    // block; only the key block is secret, and it is wiped below.
    uint8_t block[CIPHER_STATE_SIZE];
    uint8_t reg[CIPHER_BLOCK_SIZE];

    if (CipherGeneratorNext(GENERATOR_START) != GENERATOR_FIRST)
        return CIPHER_GENERATOR_START_WRONG;
    uint16_t x = GENERATOR_START;
    for (uint32_t i = 0; i < CIPHER_STATE_SIZE; i++) {
        x = CipherGeneratorNext(x);
        block[i] = (uint8_t)x;
    }
    if (CipherGeneratorNext(x) != GENERATOR_AFTER_END)
        return CIPHER_GENERATOR_END_WRONG;
    CipherLoadState(state, block);

    memset(reg, 0, sizeof reg);
    CipherEncryptBlock(state, reg, reg);
    if (memcmp(reg, kSelfTestBlock, sizeof reg) != 0)
        return CIPHER_SELF_TEST_WRONG;
    CipherDecryptBlock(state, reg, reg);
    for (uint32_t i = 0; i < sizeof reg; i++)
        if (reg[i] != 0)
            return CIPHER_SELF_TEST_NOT_UNDONE;
    // reg is all zeros again and is the CFB register from here on.

    memset(block, 0, sizeof block);
    block[0] = (uint8_t)(keyLength >> 8);
    block[1] = (uint8_t)keyLength;
    if (keyLength > 0)
        memcpy(block + 2, key, keyLength);

    // Each pass encrypts the previous pass's output under the state that
    // output produced, and the register runs on from pass to pass.
    for (uint32_t pass = 0; pass < passes; pass++) {
        CipherEncryptCfb(state, block, sizeof block, reg);
        CipherLoadState(state, block);
    }
    if (passes == 0)
        CipherLoadState(state, block);

    SecureWipe(block, sizeof block);
    SecureWipe(reg, sizeof reg);
    return CIPHER_OK;
}
