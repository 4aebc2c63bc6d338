// Checked allocation from the process heap.
#include "startup/win32/checked_alloc.h"

#include "resource_ids.h"
#include "startup/win32/fatal_error.h"
#include "startup/win32/startup_state.h"

void* CheckedAlloc(uint32_t size)
{
    void* block = HeapAlloc(ProcessHeap, 0, size);
    if (block == NULL)
        ShowFatalError(IDS_ERR_NO_MEMORY);
    return block;
}

char* DuplicateText(const char* text, int length)
{
    if (length < 0)
        length = lstrlenA(text);
    char* copy = (char*)CheckedAlloc((uint32_t)length + 1);
    CopyMemory(copy, text, (SIZE_T)length);
    copy[length] = 0;
    return copy;
}
