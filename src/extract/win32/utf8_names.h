// Entry names marked as UTF-8 (general purpose flag bit 11), turned into the
// active ANSI code page that the "A" file functions take. Names without the
// mark are OEM bytes and go through MapNameToAnsi instead.
#pragma once
#include <stdint.h>

// Converts name exactly or not at all: invalid UTF-8, a character the code
// page does not hold (no look-alike replacement, so nothing can turn into a
// separator or a dot), a code page of more than one byte per character
// (whose trail bytes the path helpers would take for separators), or a
// result longer than outSize - 1 bytes gives -1. 0 on success.
int ConvertUtf8Name(const char* name, char* out, uint32_t outSize);
