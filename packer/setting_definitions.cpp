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

}  // namespace packer
