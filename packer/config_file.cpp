// Reading the config file with toml++, which reports where a fault lies.
// The keys, their tables and their types come from the setting definitions.
#include "config_file.h"

#include <toml++/toml.h>

#include "packer_error.h"
#include "word_suggestion.h"

namespace packer {

namespace {

std::string Where(const std::string& name, const toml::source_region& region)
{
    return name + ":" + std::to_string(region.begin.line);
}

void ReadSwitch(const SettingDefinition& setting, const toml::node& node, const std::string& name,
                PackageSettings& settings)
{
    if (!node.is_boolean())
        throw PackerError(Where(name, node.source()) + ": " + setting.key + " must be true or false");
    settings.setSwitch(setting.id, node.as_boolean()->get());
}

void ReadText(const SettingDefinition& setting, const toml::node& node, std::size_t language,
              const std::string& name, PackageSettings& settings)
{
    if (!node.is_string())
        throw PackerError(Where(name, node.source()) + ": " + setting.key + " must be a text in quotes");
    settings.setText(setting.id, language, node.as_string()->get(), Where(name, node.source()));
}

// icon = "art/setup.ico": as written; ReadConfigFile takes a relative path
// from the file's folder.
void ReadFile(const SettingDefinition& setting, const toml::node& node, const std::string& name,
              PackageSettings& settings)
{
    if (!node.is_string())
        throw PackerError(Where(name, node.source()) + ": " + setting.key + " must be a text in quotes");
    settings.setFile(setting.id, PathFromUtf8(node.as_string()->get()), Where(name, node.source()));
}

// exclude = ["*.bak", "build/"]; a single pattern needs no brackets. Each
// pattern is checked where its line is known.
void ReadPatterns(const SettingDefinition& setting, const toml::node& node, const std::string& name,
                  PackageSettings& settings)
{
    if (node.is_string()) {
        settings.addPattern(setting.id, node.as_string()->get(), Where(name, node.source()));
        return;
    }
    const toml::array* list = node.as_array();
    if (list == nullptr)
        throw PackerError(Where(name, node.source()) + ": " + setting.key +
                          " must be a list of patterns in quotes, [\"*.bak\", \"build/\"]");
    for (const toml::node& item : *list) {
        if (!item.is_string())
            throw PackerError(Where(name, item.source()) + ": " + setting.key + " must hold patterns in quotes");
        settings.addPattern(setting.id, item.as_string()->get(), Where(name, item.source()));
    }
}

void ReadChoice(const SettingDefinition& setting, const toml::node& node, const std::string& name,
                PackageSettings& settings)
{
    if (!node.is_string())
        throw PackerError(Where(name, node.source()) + ": " + setting.key + " must be one of " + ChoiceList(setting) +
                          ", in quotes");
    settings.setChoice(setting.id, node.as_string()->get(), Where(name, node.source()));
}

void ReadSetting(const SettingDefinition& setting, const toml::node& node, std::size_t language,
                 const std::string& name, PackageSettings& settings)
{
    switch (setting.type) {
    case SettingType::kSwitch:
        ReadSwitch(setting, node, name, settings);
        break;
    case SettingType::kText:
    case SettingType::kFileName:
    case SettingType::kVersionNumber:
    case SettingType::kVersionText:
        ReadText(setting, node, language, name, settings);
        break;
    case SettingType::kPatterns:
        ReadPatterns(setting, node, name, settings);
        break;
    case SettingType::kChoice:
        ReadChoice(setting, node, name, settings);
        break;
    case SettingType::kIconFile:
        ReadFile(setting, node, name, settings);
        break;
    }
}

// The keys a table takes, for "did you mean"; at the top the tables' names
// as well.
std::vector<std::string> KeysOf(SettingTable table)
{
    std::vector<std::string> keys;
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == table)
            keys.push_back(setting.key);
    if (table == SettingTable::kTop)
        for (const ConfigTable& named : kConfigTables)
            keys.push_back(named.name);
    return keys;
}

// "[neutral], [german] or [english]": the tables a key belongs in.
std::string TablesHolding(SettingTable holds)
{
    std::vector<std::string> names;
    for (const ConfigTable& table : kConfigTables)
        if (table.holds == holds)
            names.push_back(std::string("[") + table.name + "]");
    std::string text;
    for (std::size_t i = 0; i < names.size(); i++)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

// A setting of any table by its key; nullptr when there is none.
const SettingDefinition* FindAnySetting(const std::string& key)
{
    for (const SettingDefinition& setting : kSettings)
        if (key == setting.key)
            return &setting;
    return nullptr;
}

// Where a key that stands in the wrong place belongs.
std::string BelongsIn(const SettingDefinition& setting)
{
    if (setting.table == SettingTable::kTop)
        return "at the top, before any table";
    return std::string(setting.table == SettingTable::kLanguage ? "in a language table: " : "in the table ") +
           TablesHolding(setting.table);
}

void ReadTable(const ConfigTable& table, const toml::table& content, const std::string& name,
               PackageSettings& settings)
{
    for (const auto& [key, node] : content) {
        std::string entry(key.str());
        const SettingDefinition* setting = FindSetting(entry, table.holds);
        if (setting != nullptr) {
            ReadSetting(*setting, node, table.language, name, settings);
            continue;
        }
        if (const SettingDefinition* elsewhere = FindAnySetting(entry))
            throw PackerError(Where(name, key.source()) + ": " + entry + " belongs " + BelongsIn(*elsewhere) +
                              ", not in [" + table.name + "]");
        throw PackerError(Where(name, key.source()) + ": unknown key " + entry + " in [" + table.name + "]" +
                          DidYouMean(entry, KeysOf(table.holds)));
    }
}

void ReadTopEntry(const std::string& entry, const toml::key& key, const toml::node& node, const std::string& name,
                  PackageSettings& settings)
{
    if (const SettingDefinition* setting = FindSetting(entry, SettingTable::kTop)) {
        ReadSetting(*setting, node, 0, name, settings);
        return;
    }
    if (const ConfigTable* table = FindConfigTable(entry)) {
        if (!node.is_table())
            throw PackerError(Where(name, node.source()) + ": " + entry + " must be a table, [" + entry + "]");
        ReadTable(*table, *node.as_table(), name, settings);
        return;
    }
    if (const SettingDefinition* elsewhere = FindAnySetting(entry))
        throw PackerError(Where(name, key.source()) + ": " + entry + " belongs " + BelongsIn(*elsewhere));
    throw PackerError(Where(name, key.source()) + ": unknown key or table " + entry +
                      DidYouMean(entry, KeysOf(SettingTable::kTop)));
}

// In double quotes a backslash starts an escape, which trips every Windows
// path written there ("C:\Program Files": unknown escape sequence '\P').
std::string EscapeHint(std::string_view description)
{
    if (description.find("escape sequence") == std::string_view::npos)
        return "";
    return "; a backslash in double quotes starts an escape: write paths in single quotes, "
           "'C:\\Program Files\\Demo', or double each backslash, \"C:\\\\Program Files\\\\Demo\"";
}

}  // namespace

PackageSettings ParseConfigText(const std::string& text, const std::string& name)
{
    toml::table root;
    try {
        root = toml::parse(std::string_view(text), std::string_view(name));
    } catch (const toml::parse_error& error) {
        throw PackerError(Where(name, error.source()) + ": " + std::string(error.description()) +
                          EscapeHint(error.description()));
    }

    PackageSettings settings;
    for (const auto& [key, node] : root)
        ReadTopEntry(std::string(key.str()), key, node, name, settings);
    return settings;
}

PackageSettings ReadConfigFile(const fs::path& path)
{
    InputFile file(path);
    std::string text;
    std::uint8_t buffer[16384];
    for (std::size_t n; (n = file.read(buffer, sizeof buffer)) > 0;)
        text.append(reinterpret_cast<const char*>(buffer), n);
    PackageSettings settings = ParseConfigText(text, PathToUtf8(path));
    // Files are named from where the config file lies, as they would be
    // from a project's folder, whatever folder the packer runs in.
    for (const SettingDefinition& setting : kSettings) {
        if (setting.type != SettingType::kIconFile)
            continue;
        const std::optional<fs::path>& file = settings.file(setting.id);
        if (file && file->is_relative())
            settings.setFile(setting.id, path.parent_path() / *file, PathToUtf8(path));
    }
    return settings;
}

}  // namespace packer
