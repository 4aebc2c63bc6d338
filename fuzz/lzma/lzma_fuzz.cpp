// Fuzz target: the LZMA entry path, header check and decoder, with every
// input landing in an LZMA entry's data. The input is the entry's
// uncompressed size and CRC-32 (u32 each, little-endian; the size taken
// below 1 MiB so that no input decodes for long), then its data as a ZIP
// holds them: 7-Zip's header and the raw stream. The harness wraps them
// into an archive, with a second entry behind, and reads it as the stub
// does.
#include <stddef.h>
#include <stdint.h>

#include "archive/archive_reader.h"
#include "support/entry_walk.h"
#include "support/fuzz_input.h"
#include "support/zip_builder.h"

// The size's bits that count: at most 1 MiB - 1.
#define FUZZ_LZMA_SIZE_MASK 0xFFFFFu
#define FUZZ_LZMA_PREFIX_SIZE 8u

static uint32_t ReadU32(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < FUZZ_LZMA_PREFIX_SIZE || size > (1u << 24))
        return 0;
    packaging::Bytes entryData(data + FUZZ_LZMA_PREFIX_SIZE, data + size);
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::prepared("entry.bin", packaging::ZipMethod::kLzma, entryData, ReadU32(data + 4),
                               ReadU32(data) & FUZZ_LZMA_SIZE_MASK));
    zip.add(packaging::ZipEntry::file("after.txt", packaging::Bytes(100, 'a'), packaging::ZipMethod::kStored));
    packaging::Bytes archive = zip.build();
    SysFile file = LoadFuzzInput(archive.data(), archive.size());
    ArchiveReader* reader = ArchiveOpen(file, 0, (uint32_t)archive.size(), NULL);
    FuzzCheck(reader != NULL, "the wrapped archive did not open");
    WalkArchive(reader);
    ReleaseReaderMemory();
    return 0;
}
