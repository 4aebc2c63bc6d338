// The embedded archive's end record and central directory. Every header read
// starts with an absolute seek, so nothing is assumed about the file position
// between calls (the start-up code shares the handle).
#include "archive/archive_reader.h"

#include "archive/archive_reader_state.h"

#include <string.h>

#include "platform/byte_order.h"

// Positions are summed in 64 bits: an archive's offsets are 32-bit values
// that can add up to more, and a wrapped sum would land on unrelated bytes.

uint32_t FindEndRecord(SysFile file, uint32_t archiveEnd)
{
    uint32_t window = archiveEnd < END_SEARCH_WINDOW ? archiveEnd : END_SEARCH_WINDOW;
    uint8_t buffer[END_SEARCH_BUFFER_SIZE];
    uint32_t found = 0;
    uint32_t back = END_SEARCH_OVERLAP;
    while (back < window && found == 0) {
        back = back + END_SEARCH_STEP < window ? back + END_SEARCH_STEP : window;
        uint32_t readPosition = archiveEnd - back;
        uint32_t readSize = back < END_SEARCH_BUFFER_SIZE ? back : END_SEARCH_BUFFER_SIZE;
        if (SysFileSeekTo(file, readPosition) != 0 || SysFileReadExact(file, buffer, readSize) != 0)
            break;
        // Top down, so that of several signatures the one nearest the end wins.
        for (uint32_t i = readSize - 3; i-- > 0;) {
            if (buffer[i] == 0x50 && buffer[i + 1] == 0x4B && buffer[i + 2] == 0x05 && buffer[i + 3] == 0x06) {
                found = readPosition + i;
                break;
            }
        }
    }
    return found;
}

ArchiveReader* ArchiveOpen(SysFile file, uint32_t archiveOffset, uint32_t archiveSize,
                           const ArchiveDataSource* source)
{
    uint64_t archiveEnd = (uint64_t)archiveOffset + archiveSize;
    if (archiveEnd > UINT32_MAX)
        return NULL;
    uint32_t endRecordPosition = FindEndRecord(file, (uint32_t)archiveEnd);
    if (endRecordPosition == 0)
        return NULL;

    uint8_t record[ZIP_END_RECORD_SIZE];
    if (SysFileSeekTo(file, endRecordPosition) != 0 || SysFileReadExact(file, record, sizeof record) != 0)
        return NULL;
    uint32_t thisDisk = ReadU16Le(record + 4);
    uint32_t directoryDisk = ReadU16Le(record + 6);
    uint32_t entriesOnDisk = ReadU16Le(record + 8);
    uint32_t totalEntries = ReadU16Le(record + 10);
    uint32_t directorySize = ReadU32Le(record + 12);
    uint32_t directoryOffset = ReadU32Le(record + 16);
    uint32_t commentLength = ReadU16Le(record + 20);
    if (totalEntries != entriesOnDisk || thisDisk != 0 || directoryDisk != 0 ||
        (uint64_t)directorySize + directoryOffset > endRecordPosition)
        return NULL;

    ArchiveReader* reader = (ArchiveReader*)SysAlloc(sizeof(ArchiveReader));
    if (reader == NULL)
        return NULL;
    reader->file = file;
    reader->dataSource = source;
    reader->entryCount = entriesOnDisk;
    reader->archiveCommentLength = commentLength;
    reader->archiveBase = endRecordPosition - directorySize - directoryOffset;
    reader->endRecordPosition = endRecordPosition;
    reader->directorySize = directorySize;
    reader->directoryOffset = directoryOffset;
    reader->openEntry = NULL;
    reader->spareEntry = NULL;
    // A failure leaves entryValid at 0; the caller learns of it from the walk.
    ArchiveFirstEntry(reader);
    return reader;
}

const ArchiveEntryInfo* ArchiveCurrentEntry(const ArchiveReader* reader)
{
    if (reader == NULL || !reader->entryValid)
        return NULL;
    return &reader->current;
}

int ArchiveGetInfo(const ArchiveReader* reader, uint32_t* entryCount, uint32_t* archiveCommentLength)
{
    if (reader == NULL)
        return ARCHIVE_BAD_PARAMETER;
    if (entryCount != NULL)
        *entryCount = reader->entryCount;
    if (archiveCommentLength != NULL)
        *archiveCommentLength = reader->archiveCommentLength;
    return ARCHIVE_OK;
}

// Reads length bytes at position unless length is 0; *filePosition follows
// the file so that consecutive parts cost no extra seek.
static int ReadPart(SysFile file, uint64_t position, void* buffer, uint32_t length, uint64_t* filePosition)
{
    if (length == 0)
        return 0;
    if (*filePosition != position && SysFileSeekTo(file, position) != 0)
        return -1;
    *filePosition = position + length;
    return SysFileReadExact(file, buffer, length);
}

// Reads the central header at entryPosition. The fixed fields come in with
// one read: the result codes are the same as reading them field by field
// (a short read is an I/O error either way), and a directory of thousands of
// entries would otherwise cost dozens of system calls per entry.
static int ReadCurrentEntry(ArchiveReader* reader, ArchiveEntryInfo* info, uint32_t* localHeaderOffset,
                            char* nameBuffer, uint32_t nameBufferSize, void* extraBuffer, uint32_t extraBufferSize,
                            char* commentBuffer, uint32_t commentBufferSize)
{
    uint8_t header[ZIP_CENTRAL_HEADER_SIZE];
    uint64_t start = (uint64_t)reader->archiveBase + reader->entryPosition;
    uint64_t filePosition = UINT64_MAX;
    if (nameBuffer != NULL && nameBufferSize > 0)
        nameBuffer[0] = 0;
    if (ReadPart(reader->file, start, header, sizeof header, &filePosition) != 0)
        return ARCHIVE_IO_ERROR;

    int result = ReadU32Le(header) == ZIP_CENTRAL_HEADER_SIGNATURE ? ARCHIVE_OK : ARCHIVE_BAD_FORMAT;
    ArchiveEntryInfo fields;
    fields.versionMadeBy = ReadU16Le(header + 4);
    fields.versionNeeded = ReadU16Le(header + 6);
    fields.flagBits = ReadU16Le(header + 8);
    fields.method = ReadU16Le(header + 10);
    fields.dosDateTime = ReadU32Le(header + 12);
    fields.crc = ReadU32Le(header + 16);
    fields.compressedSize = ReadU32Le(header + 20);
    fields.uncompressedSize = ReadU32Le(header + 24);
    fields.nameLength = ReadU16Le(header + 28);
    fields.extraLength = ReadU16Le(header + 30);
    fields.commentLength = ReadU16Le(header + 32);
    fields.diskNumberStart = ReadU16Le(header + 34);
    fields.internalAttributes = ReadU16Le(header + 36);
    fields.externalAttributes = ReadU32Le(header + 38);
    uint32_t localOffset = ReadU32Le(header + 42);

    uint64_t nameStart = start + ZIP_CENTRAL_HEADER_SIZE;
    uint64_t extraStart = nameStart + fields.nameLength;
    uint64_t commentStart = extraStart + fields.extraLength;
    int nameTooLong = 0;

    if (nameBuffer != NULL && nameBufferSize > 0) {
        if (fields.nameLength < nameBufferSize) {
            if (ReadPart(reader->file, nameStart, nameBuffer, fields.nameLength, &filePosition) != 0)
                result = ARCHIVE_IO_ERROR;
            nameBuffer[fields.nameLength] = 0;
        } else {
            nameTooLong = 1;
        }
    }
    if (extraBuffer != NULL && extraBufferSize > 0) {
        uint32_t length = fields.extraLength < extraBufferSize ? fields.extraLength : extraBufferSize;
        if (ReadPart(reader->file, extraStart, extraBuffer, length, &filePosition) != 0)
            result = ARCHIVE_IO_ERROR;
    }
    if (commentBuffer != NULL && commentBufferSize > 0) {
        uint32_t length = fields.commentLength < commentBufferSize ? fields.commentLength : commentBufferSize;
        if (ReadPart(reader->file, commentStart, commentBuffer, length, &filePosition) != 0)
            result = ARCHIVE_IO_ERROR;
        if (fields.commentLength < commentBufferSize)
            commentBuffer[fields.commentLength] = 0;
    }

    if (result != ARCHIVE_OK) {
        if (nameBuffer != NULL && nameBufferSize > 0)
            nameBuffer[0] = 0;
        return result;
    }
    if (info != NULL)
        *info = fields;
    if (localHeaderOffset != NULL)
        *localHeaderOffset = localOffset;
    if (nameTooLong)
        return ARCHIVE_BAD_PARAMETER;
    return ARCHIVE_OK;
}

int ArchiveFirstEntry(ArchiveReader* reader)
{
    if (reader == NULL)
        return ARCHIVE_BAD_PARAMETER;
    reader->entryPosition = reader->directoryOffset;
    reader->entryIndex = 0;
    reader->entryValid = 0;
    // An empty archive's directory offset may name the end record itself;
    // there is no header to read there.
    if (reader->entryCount == 0)
        return ARCHIVE_END_OF_LIST;
    int result = ReadCurrentEntry(reader, &reader->current, &reader->localHeaderOffset, NULL, 0, NULL, 0, NULL, 0);
    reader->entryValid = result == ARCHIVE_OK;
    return result;
}

int ArchiveNextEntry(ArchiveReader* reader)
{
    if (reader == NULL)
        return ARCHIVE_BAD_PARAMETER;
    if (!reader->entryValid || reader->entryIndex + 1 >= reader->entryCount)
        return ARCHIVE_END_OF_LIST;
    uint64_t next = (uint64_t)reader->entryPosition + ZIP_CENTRAL_HEADER_SIZE + reader->current.nameLength +
                    reader->current.extraLength + reader->current.commentLength;
    reader->entryIndex += 1;
    reader->entryValid = 0;
    if (next > UINT32_MAX)
        return ARCHIVE_BAD_FORMAT;
    reader->entryPosition = (uint32_t)next;
    int result = ReadCurrentEntry(reader, &reader->current, &reader->localHeaderOffset, NULL, 0, NULL, 0, NULL, 0);
    reader->entryValid = result == ARCHIVE_OK;
    return result;
}

int ArchiveGoToEntry(ArchiveReader* reader, uint32_t index)
{
    if (reader == NULL)
        return ARCHIVE_BAD_PARAMETER;
    int result = ARCHIVE_OK;
    if (!reader->entryValid || reader->entryIndex > index)
        result = ArchiveFirstEntry(reader);
    while (result == ARCHIVE_OK && reader->entryIndex < index)
        result = ArchiveNextEntry(reader);
    return result;
}

int ArchiveGetEntryInfo(ArchiveReader* reader, ArchiveEntryInfo* info, char* nameBuffer, uint32_t nameBufferSize,
                        void* extraBuffer, uint32_t extraBufferSize, char* commentBuffer, uint32_t commentBufferSize)
{
    if (reader == NULL)
        return ARCHIVE_BAD_PARAMETER;
    if (!reader->entryValid) {
        if (nameBuffer != NULL && nameBufferSize > 0)
            nameBuffer[0] = 0;
        return ARCHIVE_END_OF_LIST;
    }
    return ReadCurrentEntry(reader, info, NULL, nameBuffer, nameBufferSize, extraBuffer, extraBufferSize,
                            commentBuffer, commentBufferSize);
}
