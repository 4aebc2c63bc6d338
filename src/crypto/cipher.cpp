// ArchiveCipher: state generation and self-test, keying, block functions,
// CFB encryption and CBC decryption.
#include "crypto/cipher.h"

#include <string.h>

#include "crypto/secure_wipe.h"
#include "platform/byte_order.h"

static_assert(sizeof(CipherState) == CIPHER_STATE_SIZE, "CipherState must match its image");

#define GENERATOR_START     1
#define GENERATOR_FIRST     0x5B10u   // the value after GENERATOR_START
#define GENERATOR_AFTER_END 0x59EDu   // the value after the last image byte's

// CBC decryption works on groups of this many blocks. Each block's rounds are
// one long chain of dependent table reads; the blocks of a group do not
// depend on each other (CBC chains only ciphertext, which is all known), so
// their reads overlap. Four about fill the registers of x86-64 and still pay
// on i686, where some halves live on the stack. DecryptGroup is written out
// for exactly four.
#define CBC_GROUP_BLOCKS 4

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
// first and second word.
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

void CipherEncryptBlock(const CipherState* state, uint8_t output[8], const uint8_t input[8])
{
    uint32_t l = ReadU32Be(input);
    uint32_t r = ReadU32Be(input + 4);
    EncryptHalves(state, &l, &r);
    WriteU32Be(output, l);
    WriteU32Be(output + 4, r);
}

// Decryption has a single copy of its rounds, in the CBC group below; a lone
// block is CBC over one block with a zero chain. Only keying's self-test
// decrypts single blocks, so the three idle lanes cost nothing that counts.
void CipherDecryptBlock(const CipherState* state, uint8_t output[8], const uint8_t input[8])
{
    uint8_t chain[CIPHER_BLOCK_SIZE];
    memset(chain, 0, sizeof chain);
    CipherDecryptCbc(state, output, input, chain, CIPHER_BLOCK_SIZE);
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

// One group of 1 to CBC_GROUP_BLOCKS blocks, decrypted side by side. Lane k
// takes block min(k, blocks - 1), so lanes past the end repeat the last
// block: every lane reads real ciphertext, only the first `blocks` lanes are
// written, and the last lane always holds the block the chain must end on.
// All ciphertext is in registers before the first write, so out may be in.
static inline void DecryptGroup(const CipherState* st, uint8_t* out, const uint8_t* in, uint32_t blocks,
                                uint32_t* chainLeft, uint32_t* chainRight)
{
    const uint8_t* in1 = in + (blocks > 1 ? 8 : 0);
    const uint8_t* in2 = in + (blocks > 2 ? 16 : 8 * (blocks - 1));
    const uint8_t* in3 = in + 8 * (blocks - 1);
    uint32_t c0l = ReadU32Be(in), c0r = ReadU32Be(in + 4);
    uint32_t c1l = ReadU32Be(in1), c1r = ReadU32Be(in1 + 4);
    uint32_t c2l = ReadU32Be(in2), c2r = ReadU32Be(in2 + 4);
    uint32_t c3l = ReadU32Be(in3), c3r = ReadU32Be(in3 + 4);

    const uint32_t* p = st->p;
    uint32_t k = p[17];
    uint32_t l0 = c0l ^ k, l1 = c1l ^ k, l2 = c2l ^ k, l3 = c3l ^ k;
    uint32_t r0 = c0r, r1 = c1r, r2 = c2r, r3 = c3r;
    // Two rounds per pass, subkeys 16 and 15 down to 2 and 1. The loop stays
    // rolled: unrolled it would cost kilobytes of stub for a few percent.
    for (int i = 16; i > 0; i -= 2) {
        k = p[i];
        r0 ^= F(st, l0) ^ k;  r1 ^= F(st, l1) ^ k;  r2 ^= F(st, l2) ^ k;  r3 ^= F(st, l3) ^ k;
        k = p[i - 1];
        l0 ^= F(st, r0) ^ k;  l1 ^= F(st, r1) ^ k;  l2 ^= F(st, r2) ^ k;  l3 ^= F(st, r3) ^ k;
    }

    // Output half swap and the final subkey, then the previous block's
    // ciphertext: the chain for the first lane, the lane before otherwise.
    k = p[0];
    WriteU32Be(out, r0 ^ k ^ *chainLeft);
    WriteU32Be(out + 4, l0 ^ *chainRight);
    if (blocks > 1) {
        WriteU32Be(out + 8, r1 ^ k ^ c0l);
        WriteU32Be(out + 12, l1 ^ c0r);
    }
    if (blocks > 2) {
        WriteU32Be(out + 16, r2 ^ k ^ c1l);
        WriteU32Be(out + 20, l2 ^ c1r);
    }
    if (blocks > 3) {
        WriteU32Be(out + 24, r3 ^ k ^ c2l);
        WriteU32Be(out + 28, l3 ^ c2r);
    }
    *chainLeft = c3l;
    *chainRight = c3r;
}

uint32_t CipherDecryptCbc(const CipherState* state, uint8_t* output, const uint8_t* input,
                          uint8_t chain[8], uint32_t length)
{
    uint32_t total = (uint32_t)(((uint64_t)length + 7) & ~(uint64_t)7);
    if (total == 0)
        return 0;
    uint32_t chainLeft = ReadU32Be(chain);
    uint32_t chainRight = ReadU32Be(chain + 4);
    uint32_t blocks;
    for (uint32_t left = total / CIPHER_BLOCK_SIZE; left > 0; left -= blocks) {
        blocks = left < CBC_GROUP_BLOCKS ? left : CBC_GROUP_BLOCKS;
        DecryptGroup(state, output, input, blocks, &chainLeft, &chainRight);
        output += blocks * CIPHER_BLOCK_SIZE;
        input += blocks * CIPHER_BLOCK_SIZE;
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
