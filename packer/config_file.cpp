// Reading the config file with toml++, which reports where a fault lies.
#include "config_file.h"

#include <toml++/toml.h>

#include "exclude_patterns.h"
#include "packer_error.h"

namespace packer {

namespace {

const char* const kHideFrameKey = "hide_frame";
const char* const kFinishNoWaitKey = "finish_no_wait";
const char* const kSkipFolderPageKey = "skip_folder_page";
const char* const kExcludeKey = "exclude";

std::string Where(const std::string& name, const toml::source_region& region)
{
    return name + ":" + std::to_string(region.begin.line);
}

bool ReadSwitch(const toml::node& node, const std::string& name, const std::string& key)
{
    if (!node.is_boolean())
        throw PackerError(Where(name, node.source()) + ": " + key + " must be true or false");
    return node.as_boolean()->get();
}

// One pattern of the exclude list, checked here, where its line is known.
std::string ReadPattern(const toml::node& item, const std::string& name)
{
    if (!item.is_string())
        throw PackerError(Where(name, item.source()) + ": exclude must hold patterns in quotes");
    std::string pattern = item.as_string()->get();
    try {
        ExcludePatterns check({pattern});
    } catch (const PackerError& error) {
        throw PackerError(Where(name, item.source()) + ": " + error.what());
    }
    return pattern;
}

// exclude = ["*.bak", "build/"]; a single pattern needs no brackets.
std::vector<std::string> ReadPatterns(const toml::node& node, const std::string& name)
{
    if (node.is_string())
        return {ReadPattern(node, name)};
    const toml::array* list = node.as_array();
    if (list == nullptr)
        throw PackerError(Where(name, node.source()) + ": exclude must be a list of patterns in quotes, "
                                                       "[\"*.bak\", \"build/\"]");
    std::vector<std::string> patterns;
    for (const toml::node& item : *list)
        patterns.push_back(ReadPattern(item, name));
    return patterns;
}

// The [version] table: the numbers and texts of the version information.
void ReadVersionTable(const toml::table& table, const std::string& name, PackageIdentity& identity)
{
    for (const auto& [key, node] : table) {
        std::string field(key.str());
        int index = FindVersionField(field);
        if (index < 0)
            throw PackerError(Where(name, key.source()) + ": unknown key " + field + " in [version]");
        if (!node.is_string())
            throw PackerError(Where(name, node.source()) + ": " + field + " must be a text in quotes");
        std::string value = node.as_string()->get();
        CheckVersionValue(static_cast<std::size_t>(index), value, Where(name, node.source()));
        identity.version[static_cast<std::size_t>(index)] = value;
    }
}

std::string ReadText(const toml::node& node, const std::string& name, const std::string& key)
{
    if (!node.is_string())
        throw PackerError(Where(name, node.source()) + ": " + key + " must be a text in quotes");
    return node.as_string()->get();
}

void ReadLanguageTable(const toml::table& table, std::size_t language, const std::string& name,
                       PackageSettings& settings)
{
    for (const auto& [key, node] : table) {
        std::string field(key.str());
        int index = FindTextField(field);
        if (index < 0)
            throw PackerError(Where(name, key.source()) + ": unknown key " + field + " in [" +
                              kLanguages[language].key + "]");
        if (!node.is_string())
            throw PackerError(Where(name, node.source()) + ": " + field + " must be a text in quotes");
        std::string text = node.as_string()->get();
        // Checked here, where the line is known; encoded again when written.
        EncodeSettingText(kTextFields[index], text, Where(name, node.source()));
        settings.texts[index][language] = text;
    }
}

}  // namespace

PackageSettings ParseConfigText(const std::string& text, const std::string& name)
{
    toml::table root;
    try {
        root = toml::parse(std::string_view(text), std::string_view(name));
    } catch (const toml::parse_error& error) {
        throw PackerError(Where(name, error.source()) + ": " + std::string(error.description()));
    }

    PackageSettings settings;
    for (const auto& [key, node] : root) {
        std::string entry(key.str());
        if (entry == kHideFrameKey) {
            settings.hideFrame = ReadSwitch(node, name, entry);
        } else if (entry == kFinishNoWaitKey) {
            settings.finishNoWait = ReadSwitch(node, name, entry);
        } else if (entry == kSkipFolderPageKey) {
            settings.skipFolderPage = ReadSwitch(node, name, entry);
        } else if (entry == kExcludeKey) {
            settings.exclude = ReadPatterns(node, name);
        } else if (entry == kIconKey) {
            std::string icon = ReadText(node, name, entry);
            if (icon.empty())
                throw PackerError(Where(name, node.source()) + ": icon must name an .ico file");
            settings.identity.icon = PathFromUtf8(icon);
        } else if (entry == kExecutionLevelKey) {
            std::string level = ReadText(node, name, entry);
            CheckExecutionLevel(level, Where(name, node.source()));
            settings.identity.executionLevel = level;
        } else if (entry == kVersionTable) {
            if (!node.is_table())
                throw PackerError(Where(name, node.source()) + ": version must be a table, [version]");
            ReadVersionTable(*node.as_table(), name, settings.identity);
        } else if (int language = FindLanguage(entry); language >= 0) {
            if (!node.is_table())
                throw PackerError(Where(name, node.source()) + ": " + entry + " must be a table, [" + entry + "]");
            ReadLanguageTable(*node.as_table(), static_cast<std::size_t>(language), name, settings);
        } else if (FindTextField(entry) >= 0) {
            throw PackerError(Where(name, key.source()) + ": " + entry +
                              " belongs in a language table: [neutral], [german] or [english]");
        } else {
            throw PackerError(Where(name, key.source()) + ": unknown key or table " + entry);
        }
    }
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
    // The icon is named from where the config file lies, as it would be
    // from a project's folder, whatever folder the packer runs in.
    if (settings.identity.icon && settings.identity.icon->is_relative())
        settings.identity.icon = path.parent_path() / *settings.identity.icon;
    return settings;
}

}  // namespace packer
