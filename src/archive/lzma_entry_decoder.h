// The decoder of LZMA entries (ZIP method 14): their header checked, then
// liblzma's raw LZMA1 decoder told the uncompressed size, so that streams
// with and without an end marker both end exactly there. Its memory comes
// from a few blocks that outlive the entry: the next entry takes them
// again, and only a larger dictionary costs new memory, the one it replaces
// going back to the system.
#pragma once
#include <lzma.h>
#include <stdint.h>

// Blocks liblzma's LZMA1 decoder holds at once: its coders (three) and the
// dictionary, with room to spare.
#define LZMA_BLOCK_SLOTS 6

// One block the decoder had from the pool; inUse 0 means parked for the
// next request it fits.
struct LzmaBlockSlot {
    void* memory;                // from SysAllocBlock, or null for an empty slot
    uint32_t size;
    uint32_t inUse;
};

// Kept with the entry state across entries: the open clears everything else.
struct LzmaBlockPool {
    LzmaBlockSlot slots[LZMA_BLOCK_SLOTS];
};

struct LzmaEntryDecoder {
    lzma_stream stream;
    lzma_allocator allocator;    // hands out the pool's blocks
    LzmaBlockPool* pool;
    uint32_t ready;              // 1 when lzma_end is owed
};

// Checks the entry's header (ZIP_LZMA_HEADER_SIZE bytes at header) and
// starts the decoder for an entry of uncompressedSize bytes, its memory from
// pool. ARCHIVE_OK; ARCHIVE_BAD_FORMAT for a properties size other than 5,
// lc, lp or pb out of the range liblzma decodes (lc + lp at most 4, pb at
// most 4) or a dictionary above ZIP_LZMA_MAX_DICTIONARY_SIZE;
// ARCHIVE_NO_MEMORY when the dictionary cannot be had.
int StartLzmaDecoder(LzmaEntryDecoder* decoder, LzmaBlockPool* pool, const uint8_t* header,
                     uint32_t uncompressedSize);

// Decodes from *input (*inputLeft bytes, both moved past what was used) into
// out, up to space bytes; their count in *made, *ended set to 1 once the
// stream reached its end. ARCHIVE_OK or ARCHIVE_BAD_FORMAT (corrupt data, an
// end marker before the size) or ARCHIVE_NO_MEMORY.
int StepLzmaDecoder(LzmaEntryDecoder* decoder, const uint8_t** input, uint32_t* inputLeft, uint8_t* out,
                    uint32_t space, uint32_t* made, uint32_t* ended);

// Ends the decoder, its blocks parked in the pool. Takes a decoder never started.
void EndLzmaDecoder(LzmaEntryDecoder* decoder);

// Gives every parked block back to the system; for the owner of the pool
// when it is done with it. Blocks still in use are left alone.
void ReleaseLzmaBlocks(LzmaBlockPool* pool);
