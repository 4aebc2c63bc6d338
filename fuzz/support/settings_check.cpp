// Checking the texts of filled settings against their record block.
#include "settings_check.h"

#include <string.h>

#include "fuzz_input.h"
#include "startup/trailer.h"

static void CheckText(const LocalizedText* slot, const uint8_t* block, uint32_t length)
{
    if (slot->text == NULL)
        return;
    const uint8_t* text = (const uint8_t*)slot->text;
    const uint8_t* walkEnd = block + (length - TRAILER_FOOTER_SIZE);
    FuzzCheck(text >= block + TRAILER_TEXT_HEADER_SIZE && text < walkEnd, "a text points outside its records");
    FuzzCheck(memchr(text, 0, (size_t)(walkEnd - text)) != NULL, "a text runs into the footer");
}

void CheckSettingsTexts(const SfxSettingsRecord* settings, const uint8_t* block, uint32_t length)
{
    FuzzCheck(length >= TRAILER_FOOTER_SIZE, "a trailer shorter than its footer was accepted");
    const LocalizedText* slots[] = {
        &settings->title,      &settings->introText,      &settings->introLink, &settings->finishText,
        &settings->finishButtonText, &settings->exitText, &settings->exitButtonText, &settings->command1,
        &settings->command2,   &settings->folderTemplate, &settings->deleteListFile,
    };
    for (const LocalizedText* slot : slots)
        CheckText(slot, block, length);
}
