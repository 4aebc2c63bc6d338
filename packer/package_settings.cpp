// Settings of a package: checked as they are set, turned into trailer
// records.
#include "package_settings.h"

#include <algorithm>

#include "exclude_patterns.h"
#include "package_identity.h"
#include "packer_error.h"
#include "text_encoding.h"
#include "word_suggestion.h"

namespace packer {

namespace {

// The text as the stub reads it: page texts and commands in Windows-1252,
// file names in the OEM bytes the stub maps.
std::string EncodeText(const SettingDefinition& setting, const std::string& utf8, const std::string& where)
{
    std::string encoded;
    char32_t bad = 0;
    if (setting.type == SettingType::kText) {
        if (!Utf8ToAnsi(utf8, encoded, &bad))
            throw PackerError(where + ": " + setting.key + " holds " + DescribeCharacter(bad) +
                              ", which Windows-1252 (the stub's code page) cannot hold");
    } else if (!Utf8ToOemName(utf8, encoded, &bad)) {
        throw PackerError(where + ": " + setting.key + " holds " + DescribeCharacter(bad) +
                          "; file names may hold ASCII and the letters \xC3\xA4 \xC3\xB6 \xC3\xBC \xC3\x84 "
                          "\xC3\x96 \xC3\x9C \xC3\x9F only");
    }
    // The stub reads a text up to its first zero byte.
    if (encoded.find('\0') != std::string::npos)
        throw PackerError(where + ": " + setting.key + " holds a zero character");
    if (encoded.size() > packaging::kMaxTextLength)
        throw PackerError(where + ": " + setting.key + " is " + std::to_string(encoded.size()) +
                          " bytes long; a trailer record holds at most " + std::to_string(packaging::kMaxTextLength));
    return encoded;
}

// A setter called for a setting of another type is a fault of the caller.
void RequireType(SettingId setting, std::initializer_list<SettingType> types)
{
    for (SettingType type : types)
        if (kSettings[setting].type == type)
            return;
    throw std::logic_error(std::string("setting ") + kSettings[setting].key + " is not of this type");
}

}  // namespace

PackageSettings::Value& PackageSettings::value(SettingId setting, std::size_t language)
{
    if (setting >= kSettingCount || language >= kLanguageCount ||
        (language != 0 && kSettings[setting].table != SettingTable::kLanguage))
        throw std::logic_error("no such setting or language");
    return values_[setting][language];
}

const PackageSettings::Value& PackageSettings::value(SettingId setting, std::size_t language) const
{
    return const_cast<PackageSettings*>(this)->value(setting, language);
}

void PackageSettings::setText(SettingId setting, std::size_t language, const std::string& utf8,
                              const std::string& where)
{
    const SettingDefinition& definition = kSettings[setting];
    RequireType(setting, {SettingType::kText, SettingType::kFileName, SettingType::kVersionNumber,
                          SettingType::kVersionText});
    Value& slot = value(setting, language);
    switch (definition.type) {
    case SettingType::kVersionNumber:
        CheckVersionNumber(definition.key, utf8, where);
        break;
    case SettingType::kVersionText:
        CheckVersionText(definition.key, utf8, where);
        break;
    case SettingType::kText:
    case SettingType::kFileName:
        slot.stored = EncodeText(definition, utf8, where);
        break;
    case SettingType::kSwitch:
    case SettingType::kPatterns:
    case SettingType::kChoice:
    case SettingType::kIconFile:
        break;   // refused above
    }
    slot.text = utf8;
}

void PackageSettings::setFile(SettingId setting, const fs::path& path, const std::string& where)
{
    RequireType(setting, {SettingType::kIconFile});
    if (path.empty())
        throw PackerError(where + ": " + kSettings[setting].key + " must name an .ico file");
    value(setting, 0).file = path;
}

void PackageSettings::setSwitch(SettingId setting, bool on)
{
    RequireType(setting, {SettingType::kSwitch});
    value(setting, 0).on = on;
}

void PackageSettings::addPattern(SettingId setting, const std::string& pattern, const std::string& where)
{
    RequireType(setting, {SettingType::kPatterns});
    try {
        ExcludePatterns check({pattern});
    } catch (const PackerError& error) {
        throw PackerError(where + ": " + error.what());
    }
    value(setting, 0).patterns.push_back(pattern);
}

void PackageSettings::setChoice(SettingId setting, const std::string& word, const std::string& where)
{
    RequireType(setting, {SettingType::kChoice});
    std::vector<std::string> words;
    for (const char* const* choice = kSettings[setting].choices; *choice != nullptr; choice++)
        words.push_back(*choice);
    if (std::find(words.begin(), words.end(), word) == words.end())
        throw PackerError(where + ": " + kSettings[setting].key + " is " + ChoiceList(kSettings[setting]) + ", not " +
                          word + DidYouMean(word, words));
    value(setting, 0).text = word;
}

const std::optional<std::string>& PackageSettings::choice(SettingId setting) const
{
    RequireType(setting, {SettingType::kChoice});
    return value(setting, 0).text;
}

const std::optional<std::string>& PackageSettings::text(SettingId setting, std::size_t language) const
{
    return value(setting, language).text;
}

const std::optional<fs::path>& PackageSettings::file(SettingId setting) const
{
    return value(setting, 0).file;
}

std::optional<bool> PackageSettings::switchValue(SettingId setting) const
{
    return value(setting, 0).on;
}

const std::vector<std::string>& PackageSettings::patterns(SettingId setting) const
{
    return value(setting, 0).patterns;
}

void PackageSettings::overrideWith(const PackageSettings& other)
{
    for (const SettingDefinition& setting : kSettings) {
        for (std::size_t l = 0; l < kLanguageCount; l++) {
            Value& ours = values_[setting.id][l];
            const Value& theirs = other.values_[setting.id][l];
            switch (setting.type) {
            case SettingType::kSwitch:
                if (theirs.on)
                    ours.on = theirs.on;
                break;
            case SettingType::kChoice:
                if (theirs.text)
                    ours.text = theirs.text;
                break;
            case SettingType::kText:
            case SettingType::kFileName:
            case SettingType::kVersionNumber:
            case SettingType::kVersionText:
                if (theirs.text) {
                    ours.text = theirs.text;
                    ours.stored = theirs.stored;
                }
                break;
            case SettingType::kPatterns:
                ours.patterns.insert(ours.patterns.end(), theirs.patterns.begin(), theirs.patterns.end());
                break;
            case SettingType::kIconFile:
                if (theirs.file)
                    ours.file = theirs.file;
                break;
            }
        }
    }
}

packaging::TrailerBuilder PackageSettings::records() const
{
    packaging::TrailerBuilder records;
    std::uint32_t mask = 0;
    std::uint32_t values = 0;
    for (const SettingDefinition& setting : kSettings) {
        for (std::size_t l = 0; l < kLanguageCount; l++) {
            const Value& slot = values_[setting.id][l];
            switch (setting.type) {
            case SettingType::kSwitch:
                if (slot.on) {
                    mask |= setting.flag;
                    values |= *slot.on != setting.flagMeansFalse ? setting.flag : 0;
                }
                break;
            case SettingType::kText:
            case SettingType::kFileName:
                if (slot.text)
                    records.text(static_cast<packaging::RecordType>(setting.record), kLanguages[l].id, slot.stored);
                break;
            case SettingType::kPatterns:
            case SettingType::kIconFile:
            case SettingType::kChoice:
            case SettingType::kVersionNumber:
            case SettingType::kVersionText:
                break;   // not records: the packer uses them, or writes them into the stub's copy
            }
        }
    }
    if (mask != 0)
        records.flags(mask, values);
    return records;
}

std::string SettingPlace(SettingId setting, std::size_t language)
{
    for (const ConfigTable& table : kConfigTables)
        if (table.holds == kSettings[setting].table && table.language == language)
            return std::string("[") + table.name + "] " + kSettings[setting].key;
    return kSettings[setting].key;
}

}  // namespace packer
