// Choosing the user-interface language from a Windows language id.
#include <gtest/gtest.h>

#include "startup/ui_language.h"

TEST(UiLanguage, GermanForEveryGermanLocaleEnglishOtherwise)
{
    const struct {
        uint16_t langId;
        uint32_t language;
    } cases[] = {
        {0x0407, 7},  // German (Germany)
        {0x0807, 7},  // German (Switzerland): only the primary language counts
        {0x0C07, 7},  // German (Austria)
        {0x0409, 9},  // English (United States)
        {0x040C, 9},  // French
        {0x0419, 9},  // Russian
        {0x0000, 9},  // neutral
        {0x0007, 7},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UiLanguageForLangId(c.langId), c.language) << std::hex << c.langId;
        EXPECT_EQ(UiStringOffsetFor(c.language), c.language == 7 ? 0u : 1u);
    }
}
