// Walking every entry of an archive as the extraction worker does.
#include "entry_walk.h"

#include <string.h>

#include "archive/entry_reader.h"
#include "crypto/password_check.h"
#include "extract/path_helpers.h"
#include "fuzz_input.h"

#define NAME_BUFFER_SIZE 260            // the worker's: MAX_PATH, the zero included
#define EXTRA_BUFFER_SIZE 64            // small, so that long extra fields are cut
#define COMMENT_BUFFER_SIZE 64
#define READ_PIECE_SIZE 4096            // below the reader's chunk, so that pieces and chunks interleave

// Runs the name through what the worker does with it before it creates a file.
static void PrepareName(const char* name)
{
    if (IsUnsafeEntryName(name))
        return;
    char path[NAME_BUFFER_SIZE] = "C:\\Temp\\Package";
    char* joined = PathJoin(path, sizeof path, name);
    if (joined != NULL)
        MapNameToAnsi(joined);
    PathFileNamePart(path);
}

static void ReadEntry(ArchiveReader* reader, const ArchiveEntryInfo* info)
{
    static uint8_t piece[READ_PIECE_SIZE];
    ResetEntryIv();
    if (EntryOpen(reader) != ARCHIVE_OK)
        return;
    uint64_t produced = 0;
    for (;;) {
        int32_t n = EntryRead(reader, piece, sizeof piece);
        if (n <= 0)
            break;
        FuzzCheck((uint32_t)n <= sizeof piece, "EntryRead gave more than asked");
        produced += (uint32_t)n;
        FuzzCheck(produced <= info->uncompressedSize, "an entry gave more bytes than its size");
    }
    EntryClose(reader);
}

void WalkArchive(ArchiveReader* reader)
{
    uint32_t entryCount = 0;
    if (ArchiveGetInfo(reader, &entryCount, NULL) != ARCHIVE_OK)
        return;
    for (uint32_t i = 0; i < entryCount; i++) {
        int result = i == 0 ? ArchiveFirstEntry(reader) : ArchiveNextEntry(reader);
        if (result != ARCHIVE_OK)
            return;
        ArchiveEntryInfo info;
        char name[NAME_BUFFER_SIZE];
        uint8_t extra[EXTRA_BUFFER_SIZE];
        char comment[COMMENT_BUFFER_SIZE];
        result = ArchiveGetEntryInfo(reader, &info, name, sizeof name, extra, sizeof extra, comment, sizeof comment);
        // A name too long for the buffer is refused, never cut; the worker
        // stops there, the walk goes on to reach the entries behind it.
        if (result == ARCHIVE_BAD_PARAMETER)
            continue;
        if (result != ARCHIVE_OK)
            return;
        FuzzCheck(strlen(name) <= info.nameLength, "a name longer than its header says");
        size_t length = strlen(name);
        if (length == 0 || IsPathSeparator(name[length - 1]))
            continue;
        PrepareName(name);
        ReadEntry(reader, &info);
    }
}
