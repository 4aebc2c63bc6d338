// Host side of the shared layer's memory. A file of its own, so that the
// fuzz build can put an allocator in its place that gives each input's
// memory back instead of keeping it to the end of the process.
#include "platform/sys_file.h"

#include <stdlib.h>

void* SysAlloc(uint32_t size)
{
    return calloc(1, size ? size : 1);
}

void SysFree(void* memory)
{
    free(memory);
}

void* SysAllocBlock(uint32_t size)
{
    return malloc(size ? size : 1);
}

void SysFreeBlock(void* block)
{
    free(block);
}
