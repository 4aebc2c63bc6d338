// Looking settings, tables and languages up by the names people write, and
// saying a choice's words.
#include "setting_definitions.h"

namespace packer {

const SettingDefinition* FindSetting(std::string_view key, SettingTable table)
{
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == table && key == setting.key)
            return &setting;
    return nullptr;
}

const TableOption* FindTableOption(SettingTable table)
{
    for (const TableOption& option : kTableOptions)
        if (option.holds == table)
            return &option;
    return nullptr;
}

bool HasOwnOption(const SettingDefinition& setting)
{
    const TableOption* byKey = FindTableOption(setting.table);
    return byKey == nullptr || byKey->keyOptions;
}

const ConfigTable* FindConfigTable(std::string_view name)
{
    for (const ConfigTable& table : kConfigTables)
        if (name == table.name)
            return &table;
    return nullptr;
}

int FindLanguage(std::string_view key)
{
    for (std::size_t i = 0; i < kLanguageCount; i++)
        if (key == kLanguages[i].key)
            return static_cast<int>(i);
    return -1;
}

std::string OptionName(const SettingDefinition& setting)
{
    std::string name = std::string("--") + setting.key;
    for (char& c : name)
        if (c == '_')
            c = '-';
    return name;
}

std::string ChoiceList(const SettingDefinition& setting)
{
    std::string text;
    for (const char* const* choice = setting.choices; choice != nullptr && *choice != nullptr; choice++)
        text += std::string(choice == setting.choices ? "" : choice[1] == nullptr ? " or " : ", ") + *choice;
    return text;
}

std::string ChoiceWords(const SettingDefinition& setting)
{
    std::string words;
    for (const char* const* choice = setting.choices; choice != nullptr && *choice != nullptr; choice++)
        words += std::string(choice == setting.choices ? "" : "|") + *choice;
    return words;
}

std::string ValueName(const SettingDefinition& setting)
{
    switch (setting.type) {
    case SettingType::kSwitch:
        return "";
    case SettingType::kText:
    case SettingType::kVersionText:
        return "TEXT";
    case SettingType::kFileName:
        return "NAME";
    case SettingType::kPatterns:
        return "PATTERN";
    case SettingType::kIconFile:
        return "FILE";
    case SettingType::kChoice:
        return ChoiceWords(setting);
    case SettingType::kVersionNumber:
        return "VERSION";
    }
    return "";
}

}  // namespace packer
