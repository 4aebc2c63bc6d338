// The configuration trailer: footer search, record walk and the language rule
// for texts. Platform-free, so the host tools read packages exactly as the
// stub does.
#include "startup/trailer.h"

#include <string.h>

#include "platform/byte_order.h"

static const uint8_t FooterMagic[TRAILER_FOOTER_MAGIC_SIZE] = TRAILER_FOOTER_MAGIC;

/* The few places of a Windows program's headers that locate its
   certificate table. */
#define PE_DOS_HEADER_SIZE 64
#define PE_HEADER_OFFSET_FIELD 0x3C      // in the DOS header
#define PE_OPTIONAL_SIZE_FIELD 20        // from "PE\0\0": the file header's SizeOfOptionalHeader
#define PE_OPTIONAL_HEADER 24            // from "PE\0\0"
#define PE32_MAGIC 0x10B
#define PE32_PLUS_MAGIC 0x20B
#define PE32_DIRECTORIES 96              // data directories in the optional header
#define PE32_PLUS_DIRECTORIES 112
#define PE_SECURITY_DIRECTORY 4
#define PE_HEADERS_READ (PE_OPTIONAL_HEADER + PE32_PLUS_DIRECTORIES + 8 * (PE_SECURITY_DIRECTORY + 1))

void ResetSettings(SfxSettingsRecord* settings)
{
    memset(settings, 0, sizeof *settings);
    settings->flags = FLAGS_DEFAULT;
    settings->passwordAccepted = 1;
}

static int IsFooterAt(const uint8_t* p)
{
    return ReadU16Le(p) == TRAILER_FOOTER_SIZE && ReadU16Le(p + 2) == 0 &&
           memcmp(p + TRAILER_FOOTER_MAGIC_FIELD, FooterMagic, sizeof FooterMagic) == 0;
}

static int ReadAt(SysFile file, uint64_t position, void* buffer, uint32_t count)
{
    if (SysFileSeekTo(file, position) != 0)
        return -1;
    return SysFileReadExact(file, buffer, count);
}

int FindCertificateTable(SysFile file, int64_t fileSize, uint32_t* offset, uint32_t* size)
{
    uint8_t dos[PE_DOS_HEADER_SIZE];
    if (ReadAt(file, 0, dos, sizeof dos) != 0 || dos[0] != 'M' || dos[1] != 'Z')
        return -1;
    uint32_t peOffset = ReadU32Le(dos + PE_HEADER_OFFSET_FIELD);
    uint8_t pe[PE_HEADERS_READ];
    if ((int64_t)peOffset + (int64_t)sizeof pe > fileSize || ReadAt(file, peOffset, pe, sizeof pe) != 0 ||
        memcmp(pe, "PE\0\0", 4) != 0)
        return -1;
    // The data directories follow the optional header's fixed part, whose
    // length depends on whether the program is 32- or 64-bit.
    uint32_t optionalSize = ReadU16Le(pe + PE_OPTIONAL_SIZE_FIELD);
    uint16_t magic = ReadU16Le(pe + PE_OPTIONAL_HEADER);
    uint32_t directories;
    if (magic == PE32_MAGIC)
        directories = PE32_DIRECTORIES;
    else if (magic == PE32_PLUS_MAGIC)
        directories = PE32_PLUS_DIRECTORIES;
    else
        return -1;
    uint32_t count = ReadU32Le(pe + PE_OPTIONAL_HEADER + directories - 4);
    uint32_t security = directories + PE_SECURITY_DIRECTORY * 8;
    if (count <= PE_SECURITY_DIRECTORY || optionalSize < security + 8)
        return -1;
    // Unlike every other directory, this one holds a file offset. Its size
    // is not checked against the file: the signature does not cover it.
    uint32_t tableOffset = ReadU32Le(pe + PE_OPTIONAL_HEADER + security);
    uint32_t tableSize = ReadU32Le(pe + PE_OPTIONAL_HEADER + security + 4);
    if (tableOffset == 0 || tableSize == 0 || (int64_t)tableOffset >= fileSize)
        return -1;
    *offset = tableOffset;
    *size = tableSize;
    return 0;
}

// The footer in front of a signed package's certificate table: the 12 bytes
// right before the table's offset, or before the zeros that align it.
static int64_t FindFooterBeforeCertificates(SysFile file, uint32_t tableOffset, uint8_t footer[TRAILER_FOOTER_SIZE])
{
    uint8_t before[TRAILER_FOOTER_SIZE + CERTIFICATE_TABLE_ALIGNMENT - 1];
    if (tableOffset < sizeof before || ReadAt(file, tableOffset - sizeof before, before, sizeof before) != 0)
        return -1;
    // Nearest the table first; every byte between footer and table must be fill.
    for (uint32_t fill = 0; fill < CERTIFICATE_TABLE_ALIGNMENT; fill++) {
        if (fill > 0 && before[sizeof before - fill] != 0)
            break;
        const uint8_t* candidate = before + sizeof before - fill - TRAILER_FOOTER_SIZE;
        if (IsFooterAt(candidate)) {
            memcpy(footer, candidate, TRAILER_FOOTER_SIZE);
            return (int64_t)tableOffset - fill;
        }
    }
    return -1;
}

// The footer of an unsigned package: in the last 12 bytes, else the
// footer-like bytes nearest the end of the last 16,384. The archive in front
// of the trailer may end in a stored package whose own trailer lies a few
// hundred bytes earlier; taken nearest the start, a few bytes of tail after
// ours would hand the run to that one.
static int64_t FindFooterAtEnd(SysFile file, uint8_t footer[TRAILER_FOOTER_SIZE])
{
    int64_t position = SysFileSeek(file, -TRAILER_FOOTER_SIZE, SYS_SEEK_END);
    if (position >= 0 && SysFileReadExact(file, footer, TRAILER_FOOTER_SIZE) == 0 && IsFooterAt(footer))
        return position + TRAILER_FOOTER_SIZE;

    static uint8_t window[TRAILER_SCAN_WINDOW];
    int64_t windowStart = SysFileSeek(file, -TRAILER_SCAN_WINDOW, SYS_SEEK_END);
    if (windowStart < 0 || SysFileReadExact(file, window, TRAILER_SCAN_WINDOW) != 0)
        return -1;
    for (uint32_t i = TRAILER_SCAN_WINDOW - TRAILER_FOOTER_SIZE + 1; i-- > 0;) {
        if (IsFooterAt(window + i)) {
            memcpy(footer, window + i, TRAILER_FOOTER_SIZE);
            return windowStart + i + TRAILER_FOOTER_SIZE;
        }
    }
    return -1;
}

int64_t FindTrailerFooter(SysFile file, uint8_t footer[TRAILER_FOOTER_SIZE])
{
    int64_t fileSize = SysFileSeek(file, 0, SYS_SEEK_END);
    if (fileSize < 0)
        return -1;
    // A signature covers the program up to its certificate table, but not
    // the table's size nor anything in or after it: bytes appended there
    // (a trailer of someone else's among them) leave the signature valid.
    // So a signed package's trailer is the one before the table or none.
    uint32_t tableOffset;
    uint32_t tableSize;
    if (FindCertificateTable(file, fileSize, &tableOffset, &tableSize) == 0)
        return FindFooterBeforeCertificates(file, tableOffset, footer);
    return FindFooterAtEnd(file, footer);
}

// The smallest size a record of this type can have and still hold its payload.
static uint32_t MinimumRecordSize(uint16_t type)
{
    if (type == RECORD_ARCHIVE)
        return ARCHIVE_RECORD_SIZE;
    if (type == RECORD_FLAGS)
        return FLAGS_RECORD_SIZE;
    if (type == RECORD_CIPHER_HEADER)
        return CIPHER_HEADER_SIZE;
    if (IsTextRecordType(type))
        return TRAILER_TEXT_HEADER_SIZE + 1;
    return TRAILER_RECORD_HEADER_SIZE;
}

uint32_t CheckTrailerRecord(const uint8_t* record, uint32_t available)
{
    if (available < TRAILER_RECORD_HEADER_SIZE)
        return 0;
    uint32_t size = ReadU16Le(record);
    uint16_t type = ReadU16Le(record + 2);
    if (size < MinimumRecordSize(type) || size > available)
        return 0;
    // A text is used in place, so its terminating zero must lie in the record.
    if (IsTextRecordType(type) &&
        memchr(record + TRAILER_TEXT_HEADER_SIZE, 0, size - TRAILER_TEXT_HEADER_SIZE) == NULL)
        return 0;
    return size;
}

void ApplyTextRecord(LocalizedText* slot, const uint8_t* record, uint32_t uiLanguage)
{
    uint32_t language = ReadU16Le(record + 4);
    int store = slot->text == NULL ||
                language == uiLanguage ||
                (language == LANGUAGE_NEUTRAL && slot->language != uiLanguage);
    if (store) {
        slot->language = language;
        slot->text = (const char*)record + TRAILER_TEXT_HEADER_SIZE;
    }
}

static LocalizedText* TextSlotForType(SfxSettingsRecord* s, uint16_t type)
{
    switch (type) {
    case RECORD_TITLE: return &s->title;
    case RECORD_INTRO_TEXT: return &s->introText;
    case RECORD_INTRO_LINK: return &s->introLink;
    case RECORD_FINISH_TEXT: return &s->finishText;
    case RECORD_FINISH_BUTTON: return &s->finishButtonText;
    case RECORD_COMMAND1: return &s->command1;
    case RECORD_FOLDER_TEMPLATE: return &s->folderTemplate;
    case RECORD_EXIT_TEXT: return &s->exitText;
    case RECORD_EXIT_BUTTON: return &s->exitButtonText;
    case RECORD_COMMAND2: return &s->command2;
    case RECORD_DELETE_LIST: return &s->deleteListFile;
    default: return NULL;
    }
}

static void ApplyRecord(SfxSettingsRecord* s, const uint8_t* record, uint32_t uiLanguage)
{
    uint16_t type = ReadU16Le(record + 2);
    const uint8_t* payload = record + TRAILER_RECORD_HEADER_SIZE;
    LocalizedText* slot = TextSlotForType(s, type);
    if (slot != NULL) {
        ApplyTextRecord(slot, record, uiLanguage);
    } else if (type == RECORD_ARCHIVE) {
        s->archiveOffset = ReadU32Le(payload);
        s->archiveSize = ReadU32Le(payload + 4);
    } else if (type == RECORD_FLAGS) {
        uint32_t mask = ReadU32Le(payload);
        uint32_t values = ReadU32Le(payload + 4);
        s->flags = (values & mask) | (s->flags & ~mask);
    } else if (type == RECORD_CIPHER_HEADER) {
        memcpy(s->cipherHeader, record, CIPHER_HEADER_SIZE);
        s->cipherHeaderPresent = 1;
        s->passwordAccepted = 0;
    }
    // Any other type is skipped by its size.
}

int ParseTrailerRecords(const uint8_t* block, uint32_t length, uint32_t uiLanguage,
                        SfxSettingsRecord* settings)
{
    if (length < TRAILER_FOOTER_SIZE)
        return TRAILER_CORRUPT;
    uint32_t walkEnd = length - TRAILER_FOOTER_SIZE;
    uint32_t position = 0;
    // Every record is checked before it is applied, so a size of 0 or one
    // running past the footer ends the walk instead of looping or overreading.
    while (position < walkEnd) {
        uint32_t size = CheckTrailerRecord(block + position, walkEnd - position);
        if (size == 0)
            return TRAILER_CORRUPT;
        ApplyRecord(settings, block + position, uiLanguage);
        position += size;
    }
    return TRAILER_OK;
}

int ReadTrailer(SysFile file, uint32_t uiLanguage, SfxSettingsRecord* settings,
                const uint8_t** block, uint32_t* blockLength)
{
    uint8_t footer[TRAILER_FOOTER_SIZE];
    int64_t trailerEnd = FindTrailerFooter(file, footer);
    if (trailerEnd < 0)
        return TRAILER_CORRUPT;
    return ReadTrailerBefore(file, trailerEnd, footer, uiLanguage, settings, block, blockLength);
}

int ReadTrailerBefore(SysFile file, int64_t trailerEnd, const uint8_t footer[TRAILER_FOOTER_SIZE],
                      uint32_t uiLanguage, SfxSettingsRecord* settings, const uint8_t** block, uint32_t* blockLength)
{
    uint32_t length = ReadU32Le(footer + TRAILER_FOOTER_LENGTH_FIELD);
    if (length < TRAILER_FOOTER_SIZE || (int64_t)length > trailerEnd)
        return TRAILER_CORRUPT;
    if (SysFileSeek(file, trailerEnd - length, SYS_SEEK_BEGIN) < 0)
        return TRAILER_CORRUPT;
    uint8_t* records = (uint8_t*)SysAlloc(length);
    if (records == NULL)
        return TRAILER_NO_MEMORY;
    // A block that could not be read goes back at once. A block whose
    // records were refused is handed out all the same: the records before
    // the fault are in the settings (the title the error's box shows), and
    // they point into it.
    if (SysFileReadExact(file, records, length) != 0) {
        SysFree(records);
        return TRAILER_CORRUPT;
    }
    *block = records;
    *blockLength = length;
    return ParseTrailerRecords(records, length, uiLanguage, settings);
}
