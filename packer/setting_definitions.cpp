// Looking settings, tables and languages up by the names people write.
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

}  // namespace packer
