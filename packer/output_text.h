// Everything the packer prints goes through here: UTF-8 text to standard
// output or standard error. To a file or a pipe it goes as the UTF-8 bytes
// it is, on both systems; to a Windows console as wide characters
// (WriteConsoleW), which the console shows whatever its code page, so that
// names beyond it read right (output_text_win.cpp, output_text_posix.cpp).
#pragma once

#include <cstdio>
#include <string_view>

namespace packer {

// Writes the text to the stream, after what the stream holds already.
void WriteText(std::FILE* stream, std::string_view utf8);

// The format checks std::fprintf gets: mingw's C library formats as GNU's
// does (%zu, PRIu64 as %llu), which its own name for the checks knows.
#ifdef __MINGW_PRINTF_FORMAT
#define PACKER_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define PACKER_PRINTF_FORMAT printf
#endif

// As std::fprintf, through WriteText.
void PrintTo(std::FILE* stream, const char* format, ...) __attribute__((format(PACKER_PRINTF_FORMAT, 2, 3)));

}  // namespace packer
