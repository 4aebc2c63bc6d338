// Fuzz target: the ZIP directory walk and the entry data reader. The input
// is a whole file whose last byte is the archive's last byte, as when the
// trailer's archive record names the file up to its end; the archive may
// begin anywhere before its end record, as in a package.
#include <stddef.h>
#include <stdint.h>

#include "archive/archive_reader.h"
#include "support/entry_walk.h"
#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > UINT32_MAX)
        return 0;
    SysFile file = LoadFuzzInput(data, size);
    ArchiveReader* reader = ArchiveOpen(file, 0, (uint32_t)size, NULL);
    if (reader != NULL)
        WalkArchive(reader);
    ReleaseReaderMemory();
    return 0;
}
