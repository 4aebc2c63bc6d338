// Heap allocation that cannot fail from the caller's point of view: when the
// heap is exhausted the program ends with "Out of memory".
#pragma once
#include <stdint.h>

void* CheckedAlloc(uint32_t size);

// A zero-terminated heap copy of length bytes of text; a negative length
// means "measure text". Never freed.
char* DuplicateText(const char* text, int length);
