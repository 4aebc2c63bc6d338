// Fuzz target: the trailer reader. The input is a whole package file; the
// search for a signature's certificate table, the footer search, the block
// read and the record walk run on it for each interface language, and the
// walk alone runs on the input as a record block, so that the walk's checks
// meet arbitrary records at once.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "startup/trailer.h"
#include "support/fuzz_input.h"
#include "support/settings_check.h"

// Neutral, German, English, and one the packages never name (French).
static const uint32_t Languages[] = { LANGUAGE_NEUTRAL, LANGUAGE_GERMAN, LANGUAGE_ENGLISH, 0x0C };

// The offset of the certificate table the security directory names, or 0
// when it names none.
static uint32_t SearchCertificateTable(SysFile file, size_t size)
{
    uint32_t offset = 0;
    uint32_t tableSize = 0;
    if (FindCertificateTable(file, (int64_t)size, &offset, &tableSize) != 0)
        return 0;
    FuzzCheck(offset > 0 && tableSize > 0 && (uint64_t)offset < size, "a certificate table outside the file");
    return offset;
}

// Finds the footer as the stub does; fills footer and returns its end, or -1.
// A signed file's footer ends at its table's offset or at most 7 zeros before.
static int64_t SearchFooter(SysFile file, const uint8_t* data, size_t size, uint32_t tableOffset,
                            uint8_t footer[TRAILER_FOOTER_SIZE])
{
    int64_t end = FindTrailerFooter(file, footer);
    if (end < 0)
        return -1;
    FuzzCheck(end >= TRAILER_FOOTER_SIZE && (uint64_t)end <= size, "the footer lies outside the file");
    FuzzCheck(memcmp(footer, data + end - TRAILER_FOOTER_SIZE, TRAILER_FOOTER_SIZE) == 0,
              "the footer differs from the file's bytes");
    if (tableOffset != 0) {
        FuzzCheck(end <= (int64_t)tableOffset && (int64_t)tableOffset - end < CERTIFICATE_TABLE_ALIGNMENT,
                  "a signed file's footer away from its certificate table");
        for (int64_t i = end; i < (int64_t)tableOffset; i++)
            FuzzCheck(data[i] == 0, "other bytes than zeros between footer and certificate table");
    }
    return end;
}

// The stub's own path, search included, once; the other languages start
// from the footer found, as the packer does.
static void ReadTrailerInLanguage(SysFile file, int64_t end, const uint8_t* footer, uint32_t language)
{
    SfxSettingsRecord settings;
    ResetSettings(&settings);
    const uint8_t* block = NULL;
    uint32_t length = 0;
    int result = language == LANGUAGE_ENGLISH ? ReadTrailer(file, language, &settings, &block, &length)
                                               : ReadTrailerBefore(file, end, footer, language, &settings, &block,
                                                                   &length);
    if (result == TRAILER_OK)
        CheckSettingsTexts(&settings, block, length);
}

static void WalkInputAsBlock(const uint8_t* data, size_t size, uint32_t language)
{
    if (size > UINT32_MAX)
        return;
    SfxSettingsRecord settings;
    ResetSettings(&settings);
    if (ParseTrailerRecords(data, (uint32_t)size, language, &settings) == TRAILER_OK)
        CheckSettingsTexts(&settings, data, (uint32_t)size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SysFile file = LoadFuzzInput(data, size);
    uint32_t tableOffset = SearchCertificateTable(file, size);
    uint8_t footer[TRAILER_FOOTER_SIZE];
    int64_t end = SearchFooter(file, data, size, tableOffset, footer);
    for (uint32_t language : Languages) {
        if (end >= 0)
            ReadTrailerInLanguage(file, end, footer, language);
        WalkInputAsBlock(data, size, language);
    }
    ReleaseReaderMemory();
    return 0;
}
