// What a package says besides its files: the values of its settings (see
// setting_definitions.h), as the config file and the command line give
// them, and the trailer records they become. A value is checked once, when
// it is set, so that settings that exist can always be written.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "packaging/trailer_writer.h"
#include "setting_definitions.h"

namespace packer {

class PackageSettings {
  public:
    // Each setter checks the value as the stub will read it and throws
    // PackerError whose message starts with `where` (a config line, an
    // option) and names the setting. language is an index of kLanguages;
    // settings outside the language tables take 0.

    // A text or a file name, in UTF-8: refused when the stub's code page
    // cannot hold a character of it, when it holds a zero character, or
    // when it is too long for a record.
    void setText(SettingId setting, std::size_t language, const std::string& utf8, const std::string& where);
    void setSwitch(SettingId setting, bool on);
    // Adds a pattern to the list; refused when it cannot be used.
    void addPattern(SettingId setting, const std::string& pattern, const std::string& where);
    // One of the setting's words; refused when it takes no such word.
    void setChoice(SettingId setting, const std::string& word, const std::string& where);

    // The values as given: nothing when the setting was not given, so that
    // the stub's own default applies.
    const std::optional<std::string>& text(SettingId setting, std::size_t language) const;
    std::optional<bool> switchValue(SettingId setting) const;
    const std::vector<std::string>& patterns(SettingId setting) const;
    const std::optional<std::string>& choice(SettingId setting) const;

    // Takes every value that other gives, keeping ours where it is silent;
    // other's patterns join ours.
    void overrideWith(const PackageSettings& other);

    // The trailer records (no archive or cipher record), in a fixed order:
    // setting by setting, neutral, German, English; then the flags.
    packaging::TrailerBuilder records() const;

  private:
    struct Value {
        std::optional<bool> on;
        std::optional<std::string> text;    // UTF-8, as given; a choice's word
        std::string stored;                 // the text as the stub reads it
        std::vector<std::string> patterns;
    };
    Value& value(SettingId setting, std::size_t language);
    const Value& value(SettingId setting, std::size_t language) const;

    std::array<std::array<Value, kLanguageCount>, kSettingCount> values_;
};

// "[german] intro_link": a value's place as messages name it.
std::string SettingPlace(SettingId setting, std::size_t language);

}  // namespace packer
