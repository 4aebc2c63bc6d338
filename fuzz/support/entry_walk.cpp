// Walking every entry of an archive as the extraction worker does.
#include "entry_walk.h"

#include <string.h>
#include <zlib.h>

#include "archive/entry_reader.h"
#include "extract/path_helpers.h"
#include "fuzz_input.h"

#define NAME_BUFFER_SIZE 260            // the worker's: MAX_PATH, the zero included
#define PATH_BUFFER_SIZE 264            // the worker's joined path
#define EXTRA_BUFFER_SIZE 64            // small, so that long extra fields are cut
#define COMMENT_BUFFER_SIZE 64
#define READ_PIECE_SIZE 4096            // below the reader's chunk, so that pieces and chunks interleave

// Runs an OEM name through what the worker does with it before it creates
// a file: the mapping to the ANSI code page, the join to the extraction
// folder and the check of the joined path. UTF-8 names are converted by
// Windows itself; the host has no such conversion.
static void PrepareName(const ArchiveEntryInfo* info, const char* name)
{
    PathFileNamePart(name);
    if (info->flagBits & ZIP_FLAG_UTF8_NAME)
        return;
    char ansiName[NAME_BUFFER_SIZE];
    size_t length = strlen(name);
    if (length >= sizeof ansiName)
        return;
    memcpy(ansiName, name, length + 1);
    if (MapNameToAnsi(ansiName) != 0)
        return;
    char path[PATH_BUFFER_SIZE] = "C:\\Users\\user\\AppData\\Local\\Temp\\Package";
    char* joined = PathJoin(path, NAME_BUFFER_SIZE, ansiName);
    if (joined != NULL)
        CheckEntryName(joined);
}

// What one read of an entry gave: enough to tell two reads apart.
struct EntryOutcome {
    int openResult;
    int32_t lastRead;                   // 0 at the end, or the error
    uint64_t produced;
    uint32_t crc;                       // of the bytes handed out
    int closeResult;
};

static EntryOutcome ReadEntryOnce(ArchiveReader* reader, const ArchiveEntryInfo* info)
{
    static uint8_t piece[READ_PIECE_SIZE];
    EntryOutcome outcome = {};
    outcome.openResult = EntryOpen(reader);
    if (outcome.openResult != ARCHIVE_OK)
        return outcome;
    for (;;) {
        outcome.lastRead = EntryRead(reader, piece, sizeof piece);
        if (outcome.lastRead <= 0)
            break;
        uint32_t n = (uint32_t)outcome.lastRead;
        FuzzCheck(n <= sizeof piece, "EntryRead gave more than asked");
        outcome.produced += n;
        outcome.crc = (uint32_t)crc32(outcome.crc, piece, n);
        FuzzCheck(outcome.produced <= info->uncompressedSize, "an entry gave more bytes than its size");
    }
    // An entry read to its end is whole: a short one ends in an error.
    FuzzCheck(outcome.lastRead != 0 || outcome.produced == info->uncompressedSize,
              "an entry ended short of its size without an error");
    outcome.closeResult = EntryClose(reader);
    return outcome;
}

// Reads the current entry twice: the second open reuses the state the
// first close parked, and the chain starts again, so both must agree.
static void ReadEntry(ArchiveReader* reader, const ArchiveEntryInfo* info)
{
    EntryOutcome first = ReadEntryOnce(reader, info);
    if (first.openResult != ARCHIVE_OK)
        return;
    EntryOutcome second = ReadEntryOnce(reader, info);
    FuzzCheck(first.openResult == second.openResult && first.lastRead == second.lastRead &&
                  first.produced == second.produced && first.crc == second.crc &&
                  first.closeResult == second.closeResult,
              "reading an entry again gave something else");
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
        PrepareName(&info, name);
        ReadEntry(reader, &info);
    }
}
