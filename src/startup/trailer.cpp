// The configuration trailer: footer search, record walk and the language rule
// for texts. Platform-free, so the host tools read packages exactly as the
// stub does.
#include "trailer.h"

#include <string.h>

#include "../platform/byte_order.h"

static const uint8_t FooterMagic[4] = { 'S', 'F', 'X', 0 };

void ResetSettings(SfxSettingsRecord* settings)
{
    memset(settings, 0, sizeof *settings);
    settings->flags = FLAGS_DEFAULT;
    settings->passwordAccepted = 1;
}

static int IsFooterAt(const uint8_t* p)
{
    return ReadU16Le(p) == TRAILER_FOOTER_SIZE && ReadU16Le(p + 2) == 0 &&
           memcmp(p + 8, FooterMagic, sizeof FooterMagic) == 0;
}

int64_t FindTrailerFooter(SysFile file, uint8_t footer[TRAILER_FOOTER_SIZE])
{
    int64_t position = SysFileSeek(file, -TRAILER_FOOTER_SIZE, SYS_SEEK_END);
    if (position >= 0 && SysFileReadExact(file, footer, TRAILER_FOOTER_SIZE) == 0 && IsFooterAt(footer))
        return position + TRAILER_FOOTER_SIZE;

    static uint8_t window[TRAILER_SCAN_WINDOW];
    int64_t windowStart = SysFileSeek(file, -TRAILER_SCAN_WINDOW, SYS_SEEK_END);
    if (windowStart < 0 || SysFileReadExact(file, window, TRAILER_SCAN_WINDOW) != 0)
        return -1;
    // Lowest offset first: a tail may itself contain footer-like bytes, and
    // the footer that belongs to the records is the one nearest the start.
    for (uint32_t i = 0; i + TRAILER_FOOTER_SIZE <= TRAILER_SCAN_WINDOW; i++) {
        if (IsFooterAt(window + i)) {
            memcpy(footer, window + i, TRAILER_FOOTER_SIZE);
            return windowStart + i + TRAILER_FOOTER_SIZE;
        }
    }
    return -1;
}

static int IsTextRecordType(uint16_t type)
{
    return type >= RECORD_TITLE && type <= RECORD_DELETE_LIST && type != RECORD_FLAGS;
}

// The smallest size a record of this type can have and still hold its payload.
static uint32_t MinimumRecordSize(uint16_t type)
{
    if (type == RECORD_ARCHIVE || type == RECORD_FLAGS)
        return TRAILER_RECORD_HEADER_SIZE + 8;
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
    uint32_t length = ReadU32Le(footer + 4);
    if (length < TRAILER_FOOTER_SIZE || (int64_t)length > trailerEnd)
        return TRAILER_CORRUPT;
    if (SysFileSeek(file, trailerEnd - length, SYS_SEEK_BEGIN) < 0)
        return TRAILER_CORRUPT;
    uint8_t* records = (uint8_t*)SysAlloc(length);
    if (records == NULL)
        return TRAILER_NO_MEMORY;
    if (SysFileReadExact(file, records, length) != 0)
        return TRAILER_CORRUPT;
    int result = ParseTrailerRecords(records, length, uiLanguage, settings);
    if (result != TRAILER_OK)
        return result;
    *block = records;
    *blockLength = length;
    return TRAILER_OK;
}
