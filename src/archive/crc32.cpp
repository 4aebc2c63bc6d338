// CRC-32 over five interleaved words at a time ("braids"): each braid keeps
// a CRC of its own every fifth word, so five table look-up chains run side
// by side, and the last block joins them into one value. The tables (5 KiB)
// are derived from the polynomial when first needed; in the stub they cost
// no file space that way.
#include "crc32.h"

#define CRC32_POLYNOMIAL 0xEDB88320u
#define CRC32_BRAIDS     5                               // words in flight at once
#define CRC32_WORD       4                               // bytes per word
#define CRC32_BLOCK      (CRC32_BRAIDS * CRC32_WORD)     // bytes per round of all braids

// Written once, by the first Crc32Update (BuildCrc32Tables), read after.
// Crc32ByteTable advances a CRC by one byte. Crc32BraidTables[k] advances it
// by byte k of a word and then by the zero bytes up to the same braid's next
// word: the rest of the word and the other braids' words.
static uint32_t Crc32ByteTable[256];
static uint32_t Crc32BraidTables[CRC32_WORD][256];
static int Crc32TablesReady;   // 1 once both tables are complete

// Out of line and marked cold: inlined into Crc32Update, it changed how the
// compiler laid out the braid loop (no longer aligned), which then ran at
// about two thirds of the speed on 32-bit x86.
static __attribute__((cold, noinline)) void BuildCrc32Tables(void)
{
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; bit++)
            c = (c & 1) ? (c >> 1) ^ CRC32_POLYNOMIAL : c >> 1;
        Crc32ByteTable[n] = c;
    }
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = Crc32ByteTable[n];
        for (int zeros = 1; zeros < CRC32_BLOCK; zeros++) {
            c = (c >> 8) ^ Crc32ByteTable[c & 0xFF];
            int k = CRC32_BLOCK - 1 - zeros;   // the byte that this many zeros follow
            if (k < CRC32_WORD)
                Crc32BraidTables[k][n] = c;
        }
    }
    __atomic_store_n(&Crc32TablesReady, 1, __ATOMIC_RELEASE);
}

static inline uint32_t LoadU32Le(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// The CRC register c advanced over the four bytes it holds, low byte first.
static inline uint32_t Crc32Word(uint32_t c)
{
    for (int k = 0; k < CRC32_WORD; k++)
        c = (c >> 8) ^ Crc32ByteTable[c & 0xFF];
    return c;
}

// One braid's register after its word w, moved on to its next word.
static inline uint32_t Crc32BraidWord(uint32_t w)
{
    return Crc32BraidTables[0][w & 0xFF] ^ Crc32BraidTables[1][(w >> 8) & 0xFF] ^
           Crc32BraidTables[2][(w >> 16) & 0xFF] ^ Crc32BraidTables[3][w >> 24];
}

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length)
{
    if (!__atomic_load_n(&Crc32TablesReady, __ATOMIC_ACQUIRE))
        BuildCrc32Tables();
    uint32_t c = ~crc;
    size_t blocks = length / CRC32_BLOCK;
    if (blocks > 1) {
        length -= blocks * CRC32_BLOCK;
        uint32_t c0 = c, c1 = 0, c2 = 0, c3 = 0, c4 = 0;
        while (--blocks > 0) {
            uint32_t w0 = c0 ^ LoadU32Le(data);
            uint32_t w1 = c1 ^ LoadU32Le(data + 4);
            uint32_t w2 = c2 ^ LoadU32Le(data + 8);
            uint32_t w3 = c3 ^ LoadU32Le(data + 12);
            uint32_t w4 = c4 ^ LoadU32Le(data + 16);
            c0 = Crc32BraidWord(w0);
            c1 = Crc32BraidWord(w1);
            c2 = Crc32BraidWord(w2);
            c3 = Crc32BraidWord(w3);
            c4 = Crc32BraidWord(w4);
            data += CRC32_BLOCK;
        }
        // Each braid's register stands where its word of the last block
        // starts; walking that block word by word folds them in turn.
        c = Crc32Word(c0 ^ LoadU32Le(data));
        c = Crc32Word(c1 ^ LoadU32Le(data + 4) ^ c);
        c = Crc32Word(c2 ^ LoadU32Le(data + 8) ^ c);
        c = Crc32Word(c3 ^ LoadU32Le(data + 12) ^ c);
        c = Crc32Word(c4 ^ LoadU32Le(data + 16) ^ c);
        data += CRC32_BLOCK;
    }
    while (length-- > 0)
        c = (c >> 8) ^ Crc32ByteTable[(c ^ *data++) & 0xFF];
    return ~c;
}
