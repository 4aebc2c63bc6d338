// The user-interface language: German for every German-speaking locale,
// English for all others. Platform-free so both languages can be tested anywhere.
#pragma once
#include <stdint.h>

#include "startup/settings.h"

// Primary language of a Windows language id (its low 10 bits) mapped to
// LANGUAGE_GERMAN or LANGUAGE_ENGLISH.
static inline uint32_t UiLanguageForLangId(uint16_t langId)
{
    return (langId & 0x3FFu) == LANGUAGE_GERMAN ? LANGUAGE_GERMAN : LANGUAGE_ENGLISH;
}

// Added to a base string id: 0 selects the German text, 1 the English one.
static inline uint32_t UiStringOffsetFor(uint32_t uiLanguage)
{
    return uiLanguage == LANGUAGE_GERMAN ? 0 : 1;
}
