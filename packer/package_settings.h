// What a package says besides its files: the texts of the trailer in up to
// three languages, and the option flags. Filled from the config file and
// the command line, turned into trailer records here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package_identity.h"
#include "packaging/trailer_writer.h"

namespace packer {

// How a text is stored: page texts and commands in Windows-1252, file names
// in the OEM bytes the stub maps.
enum class TextKind { kAnsi, kName };

struct TextField {
    const char* key;          // in the config file, and the option without "--"
    packaging::RecordType record;
    TextKind kind;
    const char* meaning;      // for the help text
};

constexpr std::size_t kTextFieldCount = 11;
extern const std::array<TextField, kTextFieldCount> kTextFields;

struct LanguageName {
    const char* key;          // the config file's table
    std::uint16_t id;
};
constexpr std::size_t kLanguageCount = 3;
extern const std::array<LanguageName, kLanguageCount> kLanguages;

// Settings as the user gave them, texts in UTF-8; an empty optional means
// "not given", so that the stub's own default applies.
struct PackageSettings {
    std::array<std::array<std::optional<std::string>, kLanguageCount>, kTextFieldCount> texts;
    std::optional<bool> hideFrame;
    std::optional<bool> finishNoWait;
    // An addition of ours: the stub never shows the folder page.
    std::optional<bool> skipFolderPage;
    // Not a record: patterns of the source's paths left out of the package.
    std::vector<std::string> exclude;
    // Not records either: the icon, version information and execution
    // level written into the stub's copy.
    PackageIdentity identity;

    // Takes every value that other gives, keeping ours where it is silent;
    // other's exclude patterns join ours.
    void overrideWith(const PackageSettings& other);
};

// The index of a field or language by its key; -1 when unknown.
int FindTextField(const std::string& key);
int FindLanguage(const std::string& key);

// Converts a text for its record. Throws PackerError naming the character
// that the stub's code page cannot hold, a zero byte, or a text too long for
// a record; `where` starts the message (a config line, an option).
std::string EncodeSettingText(const TextField& field, const std::string& utf8, const std::string& where);

// The trailer records for the settings (no archive or cipher record), in a
// fixed order: field by field, neutral, German, English; then the flags.
// Throws PackerError as EncodeSettingText.
packaging::TrailerBuilder MakeSettingRecords(const PackageSettings& settings);

}  // namespace packer
