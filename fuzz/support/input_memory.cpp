// SysAlloc for the fuzz build: the same zero-filled memory as on the host,
// chained so that ReleaseReaderMemory can free all of it after each input;
// SysFree takes a block out of the chain.
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

void SysFree(void* memory)
{
    if (memory == NULL)
        return;
    BlockLink* block = (BlockLink*)memory - 1;
    for (BlockLink** link = &LastBlock; *link != NULL; link = &(*link)->next) {
        if (*link == block) {
            *link = block->next;
            free(block);
            return;
        }
    }
}

void ReleaseReaderMemory(void)
{
    while (LastBlock != NULL) {
        BlockLink* next = LastBlock->next;
        free(LastBlock);
        LastBlock = next;
    }
}
