// Notes and warnings, written in one place.
#include "notices.h"

#include <cstdio>

namespace packer {

namespace {

void PrintNotice(const char* kind, const std::string& text)
{
    // Standard output may be a pipe that holds earlier lines back; they come first.
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", kind, text.c_str());
}

}  // namespace

void PrintNote(const std::string& text)
{
    PrintNotice("note", text);
}

void PrintWarning(const std::string& text)
{
    PrintNotice("warning", text);
}

}  // namespace packer
