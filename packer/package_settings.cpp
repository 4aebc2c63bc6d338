// Settings of a package and their trailer records.
#include "package_settings.h"

#include <cstring>

#include "packer_error.h"
#include "startup/settings.h"
#include "text_encoding.h"

namespace packer {

using packaging::RecordType;

const std::array<TextField, kTextFieldCount> kTextFields = {{
    {"title", packaging::kTitle, TextKind::kAnsi, "window title"},
    {"intro_text", packaging::kIntroText, TextKind::kAnsi, "text of the intro page (none: no intro page)"},
    {"intro_link", packaging::kIntroLink, TextKind::kAnsi, "link under the intro text, opened by the shell"},
    {"finish_text", packaging::kFinishText, TextKind::kAnsi, "text of the finish page (none: the finish page does not wait)"},
    {"finish_button", packaging::kFinishButton, TextKind::kAnsi, "caption of Next on the finish page"},
    {"exit_text", packaging::kExitText, TextKind::kAnsi, "text of the exit page (none: no exit page)"},
    {"exit_button", packaging::kExitButton, TextKind::kAnsi, "caption of Next on the exit page"},
    {"command1", packaging::kCommand1, TextKind::kAnsi, "first command line run after extraction"},
    {"command2", packaging::kCommand2, TextKind::kAnsi, "second command line run after extraction"},
    {"folder_template", packaging::kFolderTemplate, TextKind::kAnsi, "target-folder template (stub default: \\\\!Temp)"},
    {"delete_list", packaging::kDeleteList, TextKind::kName, "name of the delete-list file in the package"},
}};

const std::array<LanguageName, kLanguageCount> kLanguages = {{
    {"neutral", LANGUAGE_NEUTRAL},
    {"german", LANGUAGE_GERMAN},
    {"english", LANGUAGE_ENGLISH},
}};

void PackageSettings::overrideWith(const PackageSettings& other)
{
    for (std::size_t f = 0; f < kTextFieldCount; f++)
        for (std::size_t l = 0; l < kLanguageCount; l++)
            if (other.texts[f][l])
                texts[f][l] = other.texts[f][l];
    if (other.hideFrame)
        hideFrame = other.hideFrame;
    if (other.finishNoWait)
        finishNoWait = other.finishNoWait;
    if (other.skipFolderPage)
        skipFolderPage = other.skipFolderPage;
    exclude.insert(exclude.end(), other.exclude.begin(), other.exclude.end());
    identity.overrideWith(other.identity);
}

int FindTextField(const std::string& key)
{
    for (std::size_t i = 0; i < kTextFieldCount; i++)
        if (key == kTextFields[i].key)
            return static_cast<int>(i);
    return -1;
}

int FindLanguage(const std::string& key)
{
    for (std::size_t i = 0; i < kLanguageCount; i++)
        if (key == kLanguages[i].key)
            return static_cast<int>(i);
    return -1;
}

std::string EncodeSettingText(const TextField& field, const std::string& utf8, const std::string& where)
{
    std::string encoded;
    char32_t bad = 0;
    if (field.kind == TextKind::kAnsi) {
        if (!Utf8ToAnsi(utf8, encoded, &bad))
            throw PackerError(where + ": " + field.key + " holds " + DescribeCharacter(bad) +
                              ", which Windows-1252 (the stub's code page) cannot hold");
    } else if (!Utf8ToOemName(utf8, encoded, &bad)) {
        throw PackerError(where + ": " + field.key + " holds " + DescribeCharacter(bad) +
                          "; file names may hold ASCII and the letters \xC3\xA4 \xC3\xB6 \xC3\xBC \xC3\x84 "
                          "\xC3\x96 \xC3\x9C \xC3\x9F only");
    }
    // The stub reads a text up to its first zero byte.
    if (encoded.find('\0') != std::string::npos)
        throw PackerError(where + ": " + field.key + " holds a zero character");
    if (encoded.size() > packaging::kMaxTextLength)
        throw PackerError(where + ": " + field.key + " is " + std::to_string(encoded.size()) +
                          " bytes long; a trailer record holds at most " +
                          std::to_string(packaging::kMaxTextLength));
    return encoded;
}

packaging::TrailerBuilder MakeSettingRecords(const PackageSettings& settings)
{
    packaging::TrailerBuilder records;
    for (std::size_t f = 0; f < kTextFieldCount; f++) {
        for (std::size_t l = 0; l < kLanguageCount; l++) {
            const std::optional<std::string>& text = settings.texts[f][l];
            if (!text)
                continue;
            std::string where = std::string("[") + kLanguages[l].key + "]";
            records.text(kTextFields[f].record, kLanguages[l].id, EncodeSettingText(kTextFields[f], *text, where));
        }
    }
    if (settings.hideFrame || settings.finishNoWait || settings.skipFolderPage) {
        std::uint32_t mask = 0;
        std::uint32_t values = 0;
        if (settings.hideFrame) {
            mask |= FLAG_HIDE_FRAME;
            values |= *settings.hideFrame ? FLAG_HIDE_FRAME : 0;
        }
        if (settings.finishNoWait) {
            mask |= FLAG_FINISH_NO_WAIT;
            values |= *settings.finishNoWait ? FLAG_FINISH_NO_WAIT : 0;
        }
        if (settings.skipFolderPage) {
            mask |= FLAG_SKIP_FOLDER_PAGE;
            values |= *settings.skipFolderPage ? FLAG_SKIP_FOLDER_PAGE : 0;
        }
        records.flags(mask, values);
    }
    return records;
}

}  // namespace packer
