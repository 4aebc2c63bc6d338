// SysAlloc and SysAllocBlock for the fuzz build: the same memory as on the
// host, chained so that ReleaseReaderMemory can free all of it after each
// input. SysFree takes a block out of SysAlloc's chain; SysFreeBlock's
// blocks are freed one by one often, so their chain runs both ways.
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

// The link before a freeable block, kept as aligned as BlockLink.
union FreeableLink {
    struct {
        union FreeableLink* next;
        union FreeableLink* previous;
    } chain;
    max_align_t alignment;
};

static FreeableLink* LastFreeable;      // newest live block; SysAllocBlock adds, SysFreeBlock and
                                        // ReleaseReaderMemory take out

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

void* SysAllocBlock(uint32_t size)
{
    FreeableLink* block = (FreeableLink*)malloc(sizeof(FreeableLink) + size);
    if (block == NULL)
        return NULL;
    block->chain.next = LastFreeable;
    block->chain.previous = NULL;
    if (LastFreeable != NULL)
        LastFreeable->chain.previous = block;
    LastFreeable = block;
    return block + 1;
}

void SysFreeBlock(void* memory)
{
    if (memory == NULL)
        return;
    FreeableLink* block = (FreeableLink*)memory - 1;
    if (block->chain.previous != NULL)
        block->chain.previous->chain.next = block->chain.next;
    else
        LastFreeable = block->chain.next;
    if (block->chain.next != NULL)
        block->chain.next->chain.previous = block->chain.previous;
    free(block);
}

void ReleaseReaderMemory(void)
{
    while (LastFreeable != NULL) {
        FreeableLink* next = LastFreeable->chain.next;
        free(LastFreeable);
        LastFreeable = next;
    }
    while (LastBlock != NULL) {
        BlockLink* next = LastBlock->next;
        free(LastBlock);
        LastBlock = next;
    }
}
