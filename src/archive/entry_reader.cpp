// Entry data of the embedded archive: local header check, chunked reads
// through ReadArchiveData (which decrypts when the reader's source has a
// keyed cipher), raw inflate, LZMA or plain copy, and the CRC-32 verdict.
#include "archive/entry_reader.h"

#include "archive/archive_reader_state.h"

#include <string.h>

#include "crypto/archive_data.h"
#include "platform/byte_order.h"

int CheckLocalHeader(const ArchiveReader* reader, uint32_t* dataStart)
{
    uint8_t header[ZIP_LOCAL_HEADER_SIZE];
    if (SysFileSeekTo(reader->file, (uint64_t)reader->archiveBase + reader->localHeaderOffset) != 0 ||
        SysFileReadExact(reader->file, header, sizeof header) != 0)
        return ARCHIVE_BAD_FORMAT;

    const ArchiveEntryInfo* central = &reader->current;
    uint32_t flags = ReadU16Le(header + 6);
    uint32_t method = ReadU16Le(header + 8);
    uint32_t nameLength = ReadU16Le(header + 26);
    uint32_t extraLength = ReadU16Le(header + 28);
    int ok = ReadU32Le(header) == ZIP_LOCAL_HEADER_SIGNATURE;
    ok = ok && method == central->method &&
         (method == ZIP_METHOD_STORED || method == ZIP_METHOD_DEFLATED || method == ZIP_METHOD_LZMA);
    // Streaming writers cannot know CRC and sizes when they write the local
    // header; bit 3 says those three are zero or wrong here, nothing else.
    if (!(flags & ZIP_FLAG_DATA_DESCRIPTOR)) {
        ok = ok && ReadU32Le(header + 14) == central->crc && ReadU32Le(header + 18) == central->compressedSize &&
             ReadU32Le(header + 22) == central->uncompressedSize;
    }
    ok = ok && nameLength == central->nameLength;

    // The local extra field may differ from the central one; the data follow
    // the local one. Data reaching past 4 GiB cannot belong to a ZIP without
    // ZIP64 and would make the 32-bit read position wrap.
    uint64_t start = (uint64_t)reader->localHeaderOffset + ZIP_LOCAL_HEADER_SIZE + nameLength + extraLength;
    ok = ok && start + central->compressedSize <= UINT32_MAX;
    if (!ok)
        return ARCHIVE_BAD_FORMAT;
    *dataStart = (uint32_t)start;
    return ARCHIVE_OK;
}

// Takes the state parked by the last close, or allocates one. The stub never
// returns memory, so a parked state is the only way it reuses it.
static EntryReadState* AcquireEntryState(ArchiveReader* reader)
{
    EntryReadState* state = reader->spareEntry;
    if (state == NULL)
        state = (EntryReadState*)SysAlloc(sizeof(EntryReadState));
    if (state == NULL)
        return NULL;
    reader->spareEntry = NULL;
    if (state->readBuffer == NULL)
        state->readBuffer = (uint8_t*)SysAlloc(ENTRY_READ_CHUNK_SIZE);
    if (state->readBuffer == NULL) {
        reader->spareEntry = state;
        return NULL;
    }
    uint8_t* readBuffer = state->readBuffer;
    LzmaBlockPool lzmaBlocks = state->lzmaBlocks;
    memset(state, 0, sizeof *state);
    state->readBuffer = readBuffer;
    state->lzmaBlocks = lzmaBlocks;
    return state;
}

static int RefillInput(EntryReadState* state);

// Reads the LZMA header with the first chunk and starts the decoder on it,
// so that a refused header or a dictionary that cannot be had fails the
// open. The header is no part of the stream: the input moves past it.
static int StartLzmaEntry(EntryReadState* state)
{
    if (state->compressedLeft < ZIP_LZMA_HEADER_SIZE)
        return ARCHIVE_BAD_FORMAT;
    int result = RefillInput(state);
    if (result != ARCHIVE_OK)
        return result;
    result = StartLzmaDecoder(&state->lzma, &state->lzmaBlocks, state->stream.next_in, state->uncompressedLeft);
    if (result != ARCHIVE_OK)
        return result;
    state->stream.next_in += ZIP_LZMA_HEADER_SIZE;
    state->stream.avail_in -= ZIP_LZMA_HEADER_SIZE;
    return ARCHIVE_OK;
}

int EntryOpen(ArchiveReader* reader)
{
    if (reader == NULL || !reader->entryValid)
        return ARCHIVE_BAD_PARAMETER;
    // The caller moved on without closing: the old entry's verdict no longer
    // has anyone to hear it.
    if (reader->openEntry != NULL)
        EntryClose(reader);

    uint32_t dataStart = 0;
    if (CheckLocalHeader(reader, &dataStart) != ARCHIVE_OK)
        return ARCHIVE_BAD_FORMAT;
    // Encrypted data are whole cipher blocks; any other size means a damaged
    // archive, refused here rather than as a short read at the entry's end.
    if (CheckEntryDataSize(reader->dataSource, reader->current.compressedSize) != 0)
        return ARCHIVE_BAD_FORMAT;
    EntryReadState* state = AcquireEntryState(reader);
    if (state == NULL)
        return ARCHIVE_NO_MEMORY;

    state->runningCrc = 0;
    state->expectedCrc = reader->current.crc;
    state->compressedLeft = reader->current.compressedSize;
    state->uncompressedLeft = reader->current.uncompressedSize;
    state->method = reader->current.method;
    state->file = reader->file;
    state->dataSource = reader->dataSource;
    RestartEntryChain(state->dataSource);
    state->archiveBase = reader->archiveBase;
    state->stream.next_in = state->readBuffer;
    state->stream.avail_in = 0;
    state->stream.total_out = 0;
    state->inflaterReady = 0;
    if (state->method == ZIP_METHOD_DEFLATED) {
        state->stream.zalloc = Z_NULL;
        state->stream.zfree = Z_NULL;
        state->stream.opaque = Z_NULL;
        // A failed start is left for the first read, where inflate reports
        // Z_STREAM_ERROR on the stream without state.
        if (inflateInit2(&state->stream, -MAX_WBITS) == Z_OK)
            state->inflaterReady = 1;
    }
    // An entry with no data at all is empty whatever its method says: there
    // is no stream to end.
    state->streamEnded = state->compressedLeft == 0 && state->uncompressedLeft == 0;
    state->endChecked = 0;
    state->endResult = ARCHIVE_OK;
    state->dataPosition = dataStart;
    if (state->method == ZIP_METHOD_LZMA) {
        int result = StartLzmaEntry(state);
        if (result != ARCHIVE_OK) {
            reader->spareEntry = state;
            return result;
        }
    }
    reader->openEntry = state;
    return ARCHIVE_OK;
}

// Brings the next chunk of compressed data into the read buffer. Every byte
// asked for must arrive: a short read means the package ends inside the
// entry, and counting the missing bytes as read would hand out stale data.
static int RefillInput(EntryReadState* state)
{
    uint32_t n = state->compressedLeft < ENTRY_READ_CHUNK_SIZE ? state->compressedLeft : ENTRY_READ_CHUNK_SIZE;
    uint32_t got = 0;
    if (SysFileSeekTo(state->file, (uint64_t)state->archiveBase + state->dataPosition) != 0)
        return ARCHIVE_IO_ERROR;
    if (!ReadArchiveData(state->dataSource, state->file, state->readBuffer, n, &got) || got != n)
        return ARCHIVE_IO_ERROR;
    state->dataPosition += n;
    state->compressedLeft -= n;
    state->stream.next_in = state->readBuffer;
    state->stream.avail_in = n;
    return ARCHIVE_OK;
}

// One step of the decoders: up to space bytes into out, their count in
// *made. ARCHIVE_OK or a negative code. Each sets streamEnded when its data
// end by themselves.
static int DecodeStored(EntryReadState* state, uint8_t* out, uint32_t space, uint32_t* made)
{
    // A stored entry whose compressed size is below its uncompressed size
    // has nothing left to copy; stop rather than spin.
    if (state->stream.avail_in == 0)
        return ARCHIVE_BAD_FORMAT;
    uint32_t k = space < state->stream.avail_in ? space : state->stream.avail_in;
    memcpy(out, state->stream.next_in, k);
    state->stream.next_in += k;
    state->stream.avail_in -= k;
    *made = k;
    return ARCHIVE_OK;
}

static int DecodeDeflated(EntryReadState* state, uint8_t* out, uint32_t space, uint32_t* made)
{
    state->stream.next_out = out;
    state->stream.avail_out = space;
    uLong before = state->stream.total_out;
    int z = inflate(&state->stream, Z_SYNC_FLUSH);
    *made = (uint32_t)(state->stream.total_out - before);
    if (z == Z_STREAM_END) {
        state->streamEnded = 1;
        return ARCHIVE_OK;
    }
    return z == Z_OK ? ARCHIVE_OK : z;
}

static int DecodeLzma(EntryReadState* state, uint8_t* out, uint32_t space, uint32_t* made)
{
    const uint8_t* input = state->stream.next_in;
    uint32_t inputLeft = state->stream.avail_in;
    int result = StepLzmaDecoder(&state->lzma, &input, &inputLeft, out, space, made, &state->streamEnded);
    uint32_t used = state->stream.avail_in - inputLeft;
    state->stream.next_in += used;
    state->stream.avail_in = inputLeft;
    // liblzma waits for more input without a word; with none left to come,
    // a step that moves nothing means the stream was cut.
    if (result == ARCHIVE_OK && !state->streamEnded && *made == 0 && used == 0 && inputLeft == 0 &&
        state->compressedLeft == 0)
        return ARCHIVE_BAD_FORMAT;
    return result;
}

// The step of the entry's method; the end checks around it are shared.
static int Decode(EntryReadState* state, uint8_t* out, uint32_t space, uint32_t* made)
{
    *made = 0;
    if (state->method == ZIP_METHOD_STORED)
        return DecodeStored(state, out, space, made);
    if (state->method == ZIP_METHOD_LZMA)
        return DecodeLzma(state, out, space, made);
    return DecodeDeflated(state, out, space, made);
}

static int RefillIfEmpty(EntryReadState* state)
{
    if (state->stream.avail_in == 0 && state->compressedLeft > 0)
        return RefillInput(state);
    return ARCHIVE_OK;
}

// Runs once the directory's uncompressed size has been handed out: the data
// must end right there. A stream that would give more (its CRC taken over
// the first part only) or that leaves compressed bytes unread would pass
// for a whole entry and come out cut. Stored data end at their size; a
// stream with an end of its own must reach it now without another byte.
// Only the cipher's fill may be left over.
static int ConfirmDataEnd(EntryReadState* state)
{
    uint8_t beyond;   // room for the one byte that proves the stream too long
    while (state->method != ZIP_METHOD_STORED && !state->streamEnded) {
        int result = RefillIfEmpty(state);
        uint32_t made = 0;
        if (result == ARCHIVE_OK)
            result = Decode(state, &beyond, sizeof beyond, &made);
        if (made != 0)
            return ARCHIVE_BAD_FORMAT;
        if (result != ARCHIVE_OK)
            return result;
    }
    uint64_t unused = (uint64_t)state->stream.avail_in + state->compressedLeft;
    return unused > EntryFillAllowance(state->dataSource) ? ARCHIVE_BAD_FORMAT : ARCHIVE_OK;
}

// The verdict of ConfirmDataEnd, found once and repeated to every later read.
static int FinishEntryData(EntryReadState* state)
{
    if (!state->endChecked) {
        state->endChecked = 1;
        state->endResult = ConfirmDataEnd(state);
    }
    return state->endResult;
}

int32_t EntryRead(ArchiveReader* reader, void* buffer, uint32_t length)
{
    if (reader == NULL || reader->openEntry == NULL)
        return ARCHIVE_BAD_PARAMETER;
    EntryReadState* state = reader->openEntry;
    if (state->readBuffer == NULL)
        return ARCHIVE_END_OF_LIST;
    if (length == 0)
        return 0;
    if (length > ENTRY_READ_MAX_LENGTH)
        length = ENTRY_READ_MAX_LENGTH;

    uint8_t* out = (uint8_t*)buffer;
    uint32_t space = length < state->uncompressedLeft ? length : state->uncompressedLeft;
    int32_t produced = 0;
    while (space > 0) {
        int result = RefillIfEmpty(state);
        if (result != ARCHIVE_OK)
            return result;
        uint32_t k = 0;
        result = Decode(state, out, space, &k);
        state->runningCrc = (uint32_t)crc32(state->runningCrc, out, k);
        state->uncompressedLeft -= k;
        produced += (int32_t)k;
        out += k;
        space -= k;
        if (result != ARCHIVE_OK)
            return result;
        // A stream that ends before the directory's size would leave a
        // short file with no CRC verdict.
        if (state->streamEnded && state->uncompressedLeft != 0)
            return ARCHIVE_BAD_FORMAT;
    }
    if (state->uncompressedLeft == 0) {
        int end = FinishEntryData(state);
        if (end != ARCHIVE_OK)
            return end;
    }
    return produced;
}

int EntryClose(ArchiveReader* reader)
{
    if (reader == NULL || reader->openEntry == NULL)
        return ARCHIVE_BAD_PARAMETER;
    EntryReadState* state = reader->openEntry;
    int result = ARCHIVE_OK;
    if (state->uncompressedLeft == 0 && state->runningCrc != state->expectedCrc)
        result = ARCHIVE_CRC_MISMATCH;
    if (state->inflaterReady)
        inflateEnd(&state->stream);
    state->inflaterReady = 0;
    EndLzmaDecoder(&state->lzma);
    reader->openEntry = NULL;
    reader->spareEntry = state;
    return result;
}

// Releases an entry state that is not open: its read buffer, the LZMA
// decoder's parked blocks and itself.
static void ReleaseEntryState(EntryReadState* state)
{
    if (state == NULL)
        return;
    ReleaseLzmaBlocks(&state->lzmaBlocks);
    SysFree(state->readBuffer);
    SysFree(state);
}

void ArchiveClose(ArchiveReader* reader)
{
    if (reader == NULL)
        return;
    if (reader->openEntry != NULL)
        EntryClose(reader);
    ReleaseEntryState(reader->spareEntry);
    SysFree(reader);
}
