// Owners for what the shared readers hand out, so that a test gives back
// what it opened (the stub itself keeps it all to the end of the process).
#pragma once
#include <cstdint>
#include <memory>

#include "archive/entry_reader.h"
#include "platform/sys_file.h"

struct SysFreeDeleter {
    void operator()(const void* memory) const { SysFree(const_cast<void*>(memory)); }
};

// A trailer's record block, which the settings read from it point into. Shared,
// so that a result holding settings and block can be copied.
using TrailerBlock = std::shared_ptr<const std::uint8_t>;
inline TrailerBlock OwnTrailerBlock(const std::uint8_t* block)
{
    return TrailerBlock(block, SysFreeDeleter());
}

struct ArchiveCloser {
    void operator()(ArchiveReader* reader) const { ArchiveClose(reader); }
};
using ArchiveHandle = std::unique_ptr<ArchiveReader, ArchiveCloser>;
