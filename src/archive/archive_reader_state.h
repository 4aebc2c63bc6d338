// The insides of the archive reader's handle, private to it: what
// ArchiveReader and the entry open in it hold. Only the two files that implement the handle
// (archive_reader.cpp, entry_reader.cpp) and the readers' own tests look in
// here; every other caller goes through archive_reader.h and
// entry_reader.h.
#pragma once
#include <stdint.h>
#include <zlib.h>

#include "archive/archive_reader.h"
#include "archive/lzma_entry_decoder.h"
#include "crypto/archive_data.h"
#include "platform/sys_file.h"

// The state of the entry open for reading. The z_stream's input pointer and
// count are the one record of the input for every method: plain bookkeeping
// for stored entries, handed to liblzma for each step of LZMA ones.
struct EntryReadState {
    uint8_t* readBuffer;         // ENTRY_READ_CHUNK_SIZE bytes
    z_stream stream;
    uint32_t dataPosition;       // archive offset of the next compressed byte to read
    uint32_t inflaterReady;      // 1 when inflateEnd is owed
    uint32_t runningCrc;         // CRC-32 of the bytes handed out so far
    uint32_t expectedCrc;        // the central directory's CRC-32
    uint32_t compressedLeft;     // compressed bytes not yet read from the file
    uint32_t uncompressedLeft;   // uncompressed bytes not yet handed out
    SysFile file;
    const ArchiveDataSource* dataSource; // the reader's: cipher and chaining values, or null
    uint32_t method;             // ZIP_METHOD_STORED, ZIP_METHOD_DEFLATED or ZIP_METHOD_LZMA
    LzmaEntryDecoder lzma;       // LZMA entries: the decoder
    LzmaBlockPool lzmaBlocks;    // the decoder's memory, kept from entry to entry
    uint32_t archiveBase;
    uint32_t streamEnded;        // 1 once the data ended by themselves (a deflate stream's final
                                 // block, an LZMA stream's size or end marker)
    uint32_t endChecked;         // 1 once the end of the data has been judged; endResult holds the verdict
    int32_t endResult;
};

// One per open archive. Offsets called "archive offsets" count from the
// archive's first byte, archiveBase is where that byte lies in the file.
struct ArchiveReader {
    SysFile file;                  // not owned: the caller keeps it open
    const ArchiveDataSource* dataSource; // not owned; null for plain data
    uint32_t entryCount;           // entries on this disk, from the end record
    uint32_t archiveCommentLength; // the comment itself is never read
    uint32_t archiveBase;          // file offset of archive offset 0
    uint32_t entryIndex;           // 0-based index of the current entry
    uint32_t entryPosition;        // archive offset of the current central header
    uint32_t entryValid;           // 1 when the current header was read successfully
    uint32_t endRecordPosition;    // file offset of the end record's signature
    uint32_t directorySize;
    uint32_t directoryOffset;      // archive offset of the central directory
    ArchiveEntryInfo current;
    uint32_t localHeaderOffset;    // archive offset of the current local header
    EntryReadState* openEntry;     // the entry open for reading, or null
    // A closed entry's state, kept for the next open: the stub never returns
    // memory, so reusing it keeps a walk over thousands of entries from
    // costing 16 KiB each.
    EntryReadState* spareEntry;
};

