// The ZIP archive embedded in a package: finding its end record, deriving the
// file offset its own offsets count from, and walking its central directory.
// Single disk, no ZIP64. Shared by the stub and the host tools. Every
// function of the archive and entry readers that can fail returns one of the
// ARCHIVE_ codes of archive_codes.h (ArchiveOpen: the handle or null).
#pragma once
#include <stdint.h>

#include "archive/archive_codes.h"
#include "archive/zip_format.h"
#include "crypto/archive_data.h"
#include "platform/sys_file.h"

// The end record lies within the last 0xFFFF bytes of the archive (a record
// of 22 bytes plus a comment of at most 65,513). The search reads this window
// backwards in steps of END_SEARCH_STEP bytes, each read END_SEARCH_OVERLAP
// bytes longer so that a signature across a step boundary is still seen.
#define END_SEARCH_WINDOW 0xFFFFu
#define END_SEARCH_STEP 1024u
#define END_SEARCH_OVERLAP 4u
#define END_SEARCH_BUFFER_SIZE (END_SEARCH_STEP + END_SEARCH_OVERLAP)

// The fixed fields of one central directory header, 16-bit ones widened.
// The CRC precedes the date and time here, unlike in the file.
struct ArchiveEntryInfo {
    uint32_t versionMadeBy;
    uint32_t versionNeeded;
    uint32_t flagBits;
    uint32_t method;
    uint32_t crc;
    uint32_t dosDateTime;          // time in the low 16 bits, date in the high 16
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t nameLength;
    uint32_t extraLength;
    uint32_t commentLength;
    uint32_t diskNumberStart;
    uint32_t internalAttributes;
    uint32_t externalAttributes;
};

// An open archive, made by ArchiveOpen and released by ArchiveClose
// (entry_reader.h). Its insides are the readers' own (archive_reader_state.h).
// The stub opens one and keeps it until the process ends; host tools close
// what they open.
struct ArchiveReader;

// Looks for the end record signature in the last END_SEARCH_WINDOW bytes
// before archiveEnd (a file offset), never past it. Returns the file offset
// of the signature nearest to archiveEnd, or 0 when none was found (a
// failed or short read ends the search with what was found so far).
uint32_t FindEndRecord(SysFile file, uint32_t archiveEnd);

// Opens the archive that ends at archiveOffset + archiveSize in file and
// moves to its first entry. Returns null when no usable end record is found,
// the end record is inconsistent (disk numbers not 0, entry counts differing,
// the directory reaching past the end record), a read fails, or memory runs
// out; nothing stays allocated then. The archive may begin anywhere before
// its end record: archiveBase comes from the end record, not from
// archiveOffset. Entry data are read through source (its cipher and
// chaining values), which must outlive the reader; null reads them plainly.
ArchiveReader* ArchiveOpen(SysFile file, uint32_t archiveOffset, uint32_t archiveSize,
                           const ArchiveDataSource* source);

// ARCHIVE_OK, or ARCHIVE_BAD_PARAMETER when reader is null.
int ArchiveGetInfo(const ArchiveReader* reader, uint32_t* entryCount, uint32_t* archiveCommentLength);

// Move to the first or the next central header and read its fixed fields
// (ArchiveCurrentEntry gives them). ARCHIVE_END_OF_LIST when there is no such entry (an
// empty archive, or the last entry or an invalid one is current; nothing
// moves then), ARCHIVE_BAD_FORMAT for a wrong signature or a header offset
// past 4 GiB, ARCHIVE_IO_ERROR for a failed or short read,
// ARCHIVE_BAD_PARAMETER for no reader. After a failed read no entry is valid.
int ArchiveFirstEntry(ArchiveReader* reader);
int ArchiveNextEntry(ArchiveReader* reader);

// Moves to the entry numbered index (from 0): forward from the current one,
// or from the first when index lies behind it. Results as for
// ArchiveNextEntry; ARCHIVE_END_OF_LIST when there are not that many.
int ArchiveGoToEntry(ArchiveReader* reader, uint32_t index);

// The fixed fields of the current entry, or null when no entry is valid.
// Valid until the reader moves.
const ArchiveEntryInfo* ArchiveCurrentEntry(const ArchiveReader* reader);

// Reads the current central header again into info and the given buffers;
// every output may be null, and a buffer of size 0 receives nothing.
// - name: stored whole with a terminating zero. A name that does not fit
//   with its zero (nameLength >= nameBufferSize) is refused with
//   ARCHIVE_BAD_PARAMETER rather than cut, because a cut name can be another
//   entry's name and would overwrite its file. info is still filled then, so
//   that the caller can count the entry and tell why it failed, and the name
//   buffer holds an empty text.
// - extra: the first min(extraLength, extraBufferSize) bytes, not terminated.
// - comment: terminated when it fits, else the first commentBufferSize bytes.
// Other results as for ArchiveFirstEntry; ARCHIVE_END_OF_LIST when there is
// no valid current entry. On those failures info is left untouched.
int ArchiveGetEntryInfo(ArchiveReader* reader, ArchiveEntryInfo* info, char* nameBuffer, uint32_t nameBufferSize,
                        void* extraBuffer, uint32_t extraBufferSize, char* commentBuffer, uint32_t commentBufferSize);
