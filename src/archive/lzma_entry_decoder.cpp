// LZMA entries: the header check, liblzma's raw LZMA1 decoder, and the pool
// its memory comes from.
#include "archive/lzma_entry_decoder.h"

#include <string.h>

#include "archive/archive_codes.h"
#include "archive/zip_format.h"
#include "platform/byte_order.h"
#include "platform/sys_file.h"

// The largest properties byte liblzma takes apart: pb 4, lp 4, lc 8.
#define LZMA_PROPERTIES_BYTE_MAX ((4 * 5 + 4) * 9 + 8)

void ReleaseLzmaBlocks(LzmaBlockPool* pool)
{
    for (uint32_t i = 0; i < LZMA_BLOCK_SLOTS; i++) {
        LzmaBlockSlot* slot = &pool->slots[i];
        if (slot->memory != NULL && !slot->inUse) {
            SysFreeBlock(slot->memory);
            slot->memory = NULL;
        }
    }
}

// Takes the smallest parked block that holds size bytes. When none does,
// every parked block is given back before a new one is made: what did not
// fit this request is an older, smaller dictionary, and keeping it would let
// memory grow with each larger one.
static void* AllocateFromPool(void* opaque, size_t count, size_t size)
{
    LzmaBlockPool* pool = (LzmaBlockPool*)opaque;
    if (size != 0 && count > UINT32_MAX / size)
        return NULL;
    uint32_t wanted = (uint32_t)(count * size);
    LzmaBlockSlot* best = NULL;
    for (uint32_t i = 0; i < LZMA_BLOCK_SLOTS; i++) {
        LzmaBlockSlot* slot = &pool->slots[i];
        if (slot->memory != NULL && !slot->inUse && slot->size >= wanted && (best == NULL || slot->size < best->size))
            best = slot;
    }
    if (best == NULL) {
        ReleaseLzmaBlocks(pool);
        for (uint32_t i = 0; i < LZMA_BLOCK_SLOTS && best == NULL; i++) {
            if (pool->slots[i].memory == NULL)
                best = &pool->slots[i];
        }
        if (best == NULL)
            return NULL;
        best->memory = SysAllocBlock(wanted);
        if (best->memory == NULL)
            return NULL;
        best->size = wanted;
    }
    best->inUse = 1;
    return best->memory;
}

static void ParkInPool(void* opaque, void* memory)
{
    LzmaBlockPool* pool = (LzmaBlockPool*)opaque;
    for (uint32_t i = 0; i < LZMA_BLOCK_SLOTS; i++) {
        if (pool->slots[i].memory == memory && memory != NULL)
            pool->slots[i].inUse = 0;
    }
}

// Fills options from the header's properties; 0, or -1 when liblzma could
// not decode them or the dictionary is above the cap.
static int ReadLzmaProperties(const uint8_t* header, lzma_options_lzma* options)
{
    if (ReadU16Le(header + 2) != ZIP_LZMA_PROPERTIES_SIZE)
        return -1;
    uint32_t byte = header[4];
    if (byte > LZMA_PROPERTIES_BYTE_MAX)
        return -1;
    options->pb = byte / (9 * 5);
    options->lp = byte % (9 * 5) / 9;
    options->lc = byte % 9;
    options->dict_size = ReadU32Le(header + 5);
    // liblzma's LZMA1 decoder takes lc + lp up to 4 (LZMA1 itself allows
    // lc up to 8 and lp up to 4, which no common encoder writes).
    if (options->lc + options->lp > LZMA_LCLP_MAX || options->pb > LZMA_PB_MAX)
        return -1;
    return options->dict_size > ZIP_LZMA_MAX_DICTIONARY_SIZE ? -1 : 0;
}

int StartLzmaDecoder(LzmaEntryDecoder* decoder, LzmaBlockPool* pool, const uint8_t* header,
                     uint32_t uncompressedSize)
{
    lzma_options_lzma options;
    memset(&options, 0, sizeof options);
    if (ReadLzmaProperties(header, &options) != 0)
        return ARCHIVE_BAD_FORMAT;
    // With the size known, the stream ends there; an end marker is taken
    // right after it whether or not general purpose bit 1 announces it, as
    // other readers do, and refused anywhere else.
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = uncompressedSize;
    options.ext_size_high = 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, NULL}};

    memset(decoder, 0, sizeof *decoder);
    decoder->pool = pool;
    decoder->allocator.alloc = AllocateFromPool;
    decoder->allocator.free = ParkInPool;
    decoder->allocator.opaque = pool;
    decoder->stream.allocator = &decoder->allocator;
    lzma_ret result = lzma_raw_decoder(&decoder->stream, filters);
    if (result == LZMA_MEM_ERROR) {
        lzma_end(&decoder->stream);
        return ARCHIVE_NO_MEMORY;
    }
    if (result != LZMA_OK) {
        lzma_end(&decoder->stream);
        return ARCHIVE_BAD_FORMAT;
    }
    decoder->ready = 1;
    return ARCHIVE_OK;
}

int StepLzmaDecoder(LzmaEntryDecoder* decoder, const uint8_t** input, uint32_t* inputLeft, uint8_t* out,
                    uint32_t space, uint32_t* made, uint32_t* ended)
{
    *made = 0;
    if (!decoder->ready)
        return ARCHIVE_BAD_FORMAT;
    decoder->stream.next_in = *input;
    decoder->stream.avail_in = *inputLeft;
    decoder->stream.next_out = out;
    decoder->stream.avail_out = space;
    lzma_ret result = lzma_code(&decoder->stream, LZMA_RUN);
    *made = space - (uint32_t)decoder->stream.avail_out;
    *input = decoder->stream.next_in;
    *inputLeft = (uint32_t)decoder->stream.avail_in;
    if (result == LZMA_STREAM_END) {
        *ended = 1;
        return ARCHIVE_OK;
    }
    if (result == LZMA_OK)
        return ARCHIVE_OK;
    return result == LZMA_MEM_ERROR ? ARCHIVE_NO_MEMORY : ARCHIVE_BAD_FORMAT;
}

void EndLzmaDecoder(LzmaEntryDecoder* decoder)
{
    if (decoder->ready)
        lzma_end(&decoder->stream);
    decoder->ready = 0;
}
