// Reading one entry's data out of the embedded archive: the local header
// check, then the entry's bytes, inflated, LZMA-decoded or copied, with a
// running CRC-32 that the close compares with the central directory's.
#pragma once
#include <stdint.h>

#include "archive/archive_reader.h"

// Compressed data are read in chunks of this size at most, one seek and one
// read each.
#define ENTRY_READ_CHUNK_SIZE 16384u

// The largest count one EntryRead hands out, so that it fits the result.
#define ENTRY_READ_MAX_LENGTH 0x7FFFFFFFu

// Checks the current entry's local header against its central header and
// finds where the data start. ARCHIVE_OK and *dataStart (an archive offset)
// on success; ARCHIVE_BAD_FORMAT when the header cannot be read or disagrees: signature, method
// (which must be stored, deflated or LZMA), name length, and CRC and sizes unless
// the local header's flags say they follow in a data descriptor.
int CheckLocalHeader(const ArchiveReader* reader, uint32_t* dataStart);

// Opens the current entry, closing one that is still open (its verdict is
// dropped), and restarts the data source's chain at the entry's first
// chaining value: every entry is encrypted on its own. ARCHIVE_OK; ARCHIVE_BAD_PARAMETER without a reader or a valid
// current entry; ARCHIVE_BAD_FORMAT when the local header check fails,
// when a cipher is active and the compressed size is not a whole number of
// cipher blocks, or when an LZMA entry's header is cut or refused (see
// StartLzmaDecoder: its first bytes are read and checked here, so that a
// caller learns of it before it creates anything); ARCHIVE_IO_ERROR when
// those bytes cannot be read; ARCHIVE_NO_MEMORY.
int EntryOpen(ArchiveReader* reader);

// Places up to length bytes of the entry into buffer and returns their
// count, 0 once the entry is exhausted. The data must match the directory's
// sizes exactly: the read that reaches the uncompressed size also checks
// that the data end there and used up the compressed size (the cipher's
// fill aside), and fails when they do not. Negative results:
// ARCHIVE_BAD_PARAMETER (no reader or no open entry), ARCHIVE_END_OF_LIST
// (the state has no read buffer), ARCHIVE_IO_ERROR (a seek or read failed,
// or the file ended before the compressed data did), ARCHIVE_BAD_FORMAT (the
// data end before either size is used up, give more than the uncompressed
// size, or leave compressed bytes unused; corrupt LZMA data),
// ARCHIVE_NO_MEMORY, or zlib's negative code unchanged (Z_DATA_ERROR for
// corrupt deflate data, Z_BUF_ERROR for a stream cut short).
int32_t EntryRead(ArchiveReader* reader, void* buffer, uint32_t length);

// Closes the open entry. ARCHIVE_CRC_MISMATCH when the entry was read to its
// uncompressed size and its CRC-32 differs from the directory's; ARCHIVE_OK
// otherwise (an entry not read to the end is not judged);
// ARCHIVE_BAD_PARAMETER without a reader or an open entry.
int EntryClose(ArchiveReader* reader);

// Closes the open entry, if any (its verdict is dropped), and releases the
// reader with all its memory. Nothing happens without a reader. The file
// stays open: it is the caller's. Here rather than beside ArchiveOpen
// because it ends the entry's decoder too.
void ArchiveClose(ArchiveReader* reader);
