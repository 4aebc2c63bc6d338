// Options made from the setting definitions, and the settings they give.
#include "setting_options.h"

#include "packer_error.h"
#include "word_suggestion.h"

namespace packer {

namespace {

const char* const kTextOption = "--text";

// "(stub default)" behind whichever of a switch's two options the stub
// does without being told.
std::string SwitchHelp(const std::string& meaning, bool isDefault)
{
    return isDefault ? meaning + " (stub default)" : meaning;
}

// "deflate|lzma|store": a choice's words where the help names its value.
std::string ChoiceOptionText(const SettingDefinition& setting)
{
    std::string text;
    for (const char* const* choice = setting.choices; *choice != nullptr; choice++)
        text += std::string(choice == setting.choices ? "" : "|") + *choice;
    return text;
}

std::vector<std::string> LanguageKeys()
{
    std::vector<std::string> keys;
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == SettingTable::kLanguage)
            keys.push_back(setting.key);
    return keys;
}

// --text german.title=Einrichtung
void ApplyLanguageText(const std::string& option, PackageSettings& settings)
{
    std::string where = std::string(kTextOption) + " " + option;
    std::size_t dot = option.find('.');
    std::size_t equals = option.find('=');
    if (dot == std::string::npos || equals == std::string::npos || dot > equals)
        throw PackerError(where + ": write LANGUAGE.KEY=TEXT, for example german.title=Einrichtung");
    int language = FindLanguage(option.substr(0, dot));
    std::string key = option.substr(dot + 1, equals - dot - 1);
    const SettingDefinition* setting = FindSetting(key, SettingTable::kLanguage);
    if (language < 0)
        throw PackerError(where + ": the languages are neutral, german and english");
    if (setting == nullptr)
        throw PackerError(where + ": unknown key " + key + DidYouMean(key, LanguageKeys()));
    settings.setText(setting->id, static_cast<std::size_t>(language), option.substr(equals + 1), kTextOption);
}

}  // namespace

void SettingOptions::define(CLI::App& command)
{
    for (const SettingDefinition& setting : kSettings) {
        std::string name = OptionName(setting);
        switch (setting.type) {
        case SettingType::kSwitch: {
            SettingId id = setting.id;
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
        case SettingType::kFileName: {
            SettingId id = setting.id;
            std::string help = setting.meaning;
            if (setting.table == SettingTable::kLanguage)
                help += " (neutral language)";
            command
                .add_option_function<std::string>(
                    name, [this, id](const std::string& text) { texts_.push_back({id, text}); }, help)
                ->option_text(setting.type == SettingType::kText ? "TEXT" : "NAME");
            break;
        }
        case SettingType::kPatterns:
            // One value per occurrence: a list option would swallow the
            // source named after it.
            command.add_option(name, lists_[setting.id], std::string(setting.meaning) +
                                                             "; repeatable, joins the config's list")
                ->option_text("PATTERN")
                ->allow_extra_args(false);
            break;
        case SettingType::kChoice:
            command.add_option(name, choices_[setting.id], std::string(setting.meaning) + "; default " + setting.whenAbsent)
                ->option_text(ChoiceOptionText(setting));
            break;
        }
    }
    command.add_option(kTextOption, languageTexts_, "a text in one language: LANGUAGE.KEY=TEXT")
        ->option_text("LANG.KEY=TEXT")
        ->allow_extra_args(false);
}

PackageSettings SettingOptions::settings() const
{
    PackageSettings settings;
    for (const GivenText& given : texts_)
        settings.setText(given.setting, 0, given.text, OptionName(kSettings[given.setting]));
    for (const std::string& option : languageTexts_)
        ApplyLanguageText(option, settings);
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
