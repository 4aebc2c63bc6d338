// SysAlloc for the fuzz build: the same zero-filled memory as on the host,
// chained so that ReleaseReaderMemory can free all of it after each input.
#include <stddef.h>
#include <stdlib.h>

#include "fuzz_input.h"
#include "platform/sys_file.h"

// Each block starts with this link; the size keeps the caller's part as
// aligned as calloc's own result.
union BlockLink {
    union BlockLink* next;
    max_align_t alignment;
};

static BlockLink* LastBlock;            // newest block; SysAlloc adds, ReleaseReaderMemory empties

void* SysAlloc(uint32_t size)
{
    BlockLink* block = (BlockLink*)calloc(1, sizeof(BlockLink) + size);
    if (block == NULL)
        return NULL;
    block->next = LastBlock;
    LastBlock = block;
    return block + 1;
}

void ReleaseReaderMemory(void)
{
    while (LastBlock != NULL) {
        BlockLink* next = LastBlock->next;
        free(LastBlock);
        LastBlock = next;
    }
}
