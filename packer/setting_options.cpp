// Options made from the setting definitions, and the settings they give.
#include "setting_options.h"

#include "packer_error.h"
#include "word_suggestion.h"

namespace packer {

namespace {

// "(stub default)" behind whichever of a switch's two options the stub
// does without being told.
std::string SwitchHelp(const std::string& meaning, bool isDefault)
{
    return isDefault ? meaning + " (stub default)" : meaning;
}

std::vector<std::string> KeysOf(SettingTable table)
{
    std::vector<std::string> keys;
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == table)
            keys.push_back(setting.key);
    return keys;
}

// "a, b and c"
std::string Listed(const std::vector<std::string>& words)
{
    std::string text;
    for (std::size_t i = 0; i < words.size(); i++)
        text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    return text;
}

std::vector<const ConfigTable*> TablesHolding(SettingTable holds)
{
    std::vector<const ConfigTable*> tables;
    for (const ConfigTable& table : kConfigTables)
        if (table.holds == holds)
            tables.push_back(&table);
    return tables;
}

// --text german.title=Einrichtung, --version-info product_version=1.2: the
// table is named where several hold the same keys.
void ApplyTableOption(const TableOption& kind, const std::string& given, PackageSettings& settings)
{
    std::string where = std::string(kind.option) + " " + given;
    std::vector<const ConfigTable*> tables = TablesHolding(kind.holds);
    bool named = tables.size() > 1;
    std::size_t equals = given.find('=');
    std::size_t dot = named ? given.find('.') : std::string::npos;
    if (equals == std::string::npos || (named && (dot == std::string::npos || dot > equals)))
        throw PackerError(where + ": write " + kind.valueName + ", for example " + kind.example);
    const ConfigTable* table = tables.front();
    if (named) {
        table = FindConfigTable(given.substr(0, dot));
        if (table == nullptr || table->holds != kind.holds) {
            std::vector<std::string> names;
            for (const ConfigTable* known : tables)
                names.push_back(known->name);
            const char* what = kind.holds == SettingTable::kLanguage ? "languages" : "tables";
            throw PackerError(where + ": the " + what + " are " + Listed(names));
        }
    }
    std::size_t keyStart = named ? dot + 1 : 0;
    std::string key = given.substr(keyStart, equals - keyStart);
    const SettingDefinition* setting = FindSetting(key, kind.holds);
    if (setting == nullptr) {
        std::vector<std::string> keys = KeysOf(kind.holds);
        std::string suggestion = DidYouMean(key, keys);
        throw PackerError(where + ": unknown key " + key +
                          (suggestion.empty() ? "; the keys are " + Listed(keys) : suggestion));
    }
    settings.setText(setting->id, table->language, given.substr(equals + 1), kind.option);
}

}  // namespace

void SettingOptions::define(CLI::App& command)
{
    for (const SettingDefinition& setting : kSettings) {
        if (!HasOwnOption(setting))
            continue;
        std::string name = OptionName(setting);
        SettingId id = setting.id;
        switch (setting.type) {
        case SettingType::kSwitch: {
            bool byDefault = SwitchDefault(setting);
            CLI::Option* on = command.add_flag_callback(
                name, [this, id] { switches_[id] = true; }, SwitchHelp(setting.meaning, byDefault));
            CLI::Option* off = command.add_flag_callback(
                std::string("--") + setting.offOption, [this, id] { switches_[id] = false; },
                SwitchHelp(setting.offMeaning, !byDefault));
            on->excludes(off);
            break;
        }
        case SettingType::kText:
        case SettingType::kFileName:
        case SettingType::kIconFile:
        case SettingType::kVersionNumber:
        case SettingType::kVersionText: {
            std::string help = setting.meaning;
            if (setting.table == SettingTable::kLanguage)
                help += " (neutral language)";
            command
                .add_option_function<std::string>(
                    name, [this, id](const std::string& text) { texts_.push_back({id, text}); }, help)
                ->option_text(ValueName(setting));
            break;
        }
        case SettingType::kPatterns:
            // One value per occurrence: a list option would swallow the
            // source named after it.
            command.add_option(name, lists_[setting.id], std::string(setting.meaning) +
                                                             "; repeatable, joins the config's list")
                ->option_text(ValueName(setting))
                ->allow_extra_args(false);
            break;
        case SettingType::kChoice:
            command.add_option(name, choices_[setting.id], std::string(setting.meaning) + "; default " + setting.whenAbsent)
                ->option_text(ValueName(setting));
            break;
        }
    }
    for (std::size_t i = 0; i < std::size(kTableOptions); i++)
        command.add_option(kTableOptions[i].option, tableTexts_[i], kTableOptions[i].meaning)
            ->option_text(kTableOptions[i].valueName)
            ->allow_extra_args(false);
}

PackageSettings SettingOptions::settings() const
{
    PackageSettings settings;
    for (const GivenText& given : texts_) {
        const SettingDefinition& setting = kSettings[given.setting];
        if (setting.type == SettingType::kIconFile)
            settings.setFile(given.setting, PathFromUtf8(given.text), OptionName(setting));
        else
            settings.setText(given.setting, 0, given.text, OptionName(setting));
    }
    for (std::size_t i = 0; i < std::size(kTableOptions); i++)
        for (const std::string& option : tableTexts_[i])
            ApplyTableOption(kTableOptions[i], option, settings);
    for (const SettingDefinition& setting : kSettings) {
        if (switches_[setting.id])
            settings.setSwitch(setting.id, *switches_[setting.id]);
        for (const std::string& item : lists_[setting.id])
            settings.addPattern(setting.id, item, OptionName(setting));
        if (choices_[setting.id])
            settings.setChoice(setting.id, *choices_[setting.id], OptionName(setting));
    }
    return settings;
}

}  // namespace packer
