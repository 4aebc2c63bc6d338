// Every setting a package can be given, defined once: its config key and
// the table it stands in, its type, what it means and what happens without
// it, and the trailer record, flag bit or part of the stub's resources it
// becomes (package_identity.cpp writes those). The config file's
// reader, the build command's options, `sfxpack help config` and the man
// page are all made from this table.
//
// A new setting is one line here (and its SettingId). A new kind of value
// is a SettingType, which the compiler then asks for in every switch over
// it: how the config file gives it (config_file.cpp), how an option gives it
// (setting_options.cpp), how it is checked and stored (package_settings.cpp)
// and how the reference names its type (reference_pages.cpp). A table of
// the config file other than the language tables is a SettingTable and a
// line in kConfigTables, and a line in kTableOptions when its settings are
// given on the command line by one option that names the key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "src/startup/package_format.h"

namespace packer {

// What a setting holds, and so how it is given and stored.
enum class SettingType {
    kSwitch,     // true or false: a bit of the flags record
    kText,       // a text the stub shows or runs, stored in Windows-1252: a text record
    kFileName,   // the name of a file in the package, stored in OEM bytes: a text record
    kPatterns,   // a list of path patterns, used by the packer and not stored
    kChoice,     // one of the words the definition lists, used by the packer and not stored as a record
    // The rest are written into the package's copy of the stub, its
    // program resources, not into records.
    kIconFile,       // the path of an .ico file, which replaces the stub's icon
    kVersionNumber,  // 1 to 4 numbers of 0 to 65535, "1.2.3.4": the version information's numbers and string
    kVersionText,    // a text of the version information, in Windows-1252
};

// Where a setting's key stands in the config file.
enum class SettingTable {
    kTop,        // at the top, before any table
    kLanguage,   // in each language's table, once per language
    kVersion,    // in [version]: the version information
};

// The settings by name, in the order of kSettings.
enum SettingId : std::size_t {
    kHideFrameSetting,
    kFinishNoWaitSetting,
    kSkipFolderPageSetting,
    kAllowSwitchesSetting,
    kExcludeSetting,
    kCompressionSetting,
    kIconSetting,
    kExecutionLevelSetting,
    kFileVersionSetting,
    kProductVersionSetting,
    kProductNameSetting,
    kCompanyNameSetting,
    kFileDescriptionSetting,
    kLegalCopyrightSetting,
    kOriginalFilenameSetting,
    kCommentsSetting,
    kTitleSetting,
    kIntroTextSetting,
    kIntroLinkSetting,
    kFinishTextSetting,
    kFinishButtonSetting,
    kExitTextSetting,
    kExitButtonSetting,
    kCommand1Setting,
    kCommand2Setting,
    kFolderTemplateSetting,
    kDeleteListSetting,
    kSettingCount
};

struct SettingDefinition {
    SettingId id;
    const char* key;           // in the config file; as an option, '_' becomes '-'
    SettingTable table;
    SettingType type;
    const char* meaning;       // what it does (the help, the man page)
    const char* whenAbsent;    // what happens without it; a switch's comes from FLAGS_DEFAULT
    std::uint16_t record;      // texts: the trailer record they become
    std::uint32_t flag;        // switches: their bit of the flags record
    const char* offOption;     // switches: the option that turns it off
    const char* offMeaning;    // switches: what that option does
    const char* const* choices = nullptr;   // choices: the words it takes, up to a nullptr; the first is the default
    const char* versionString = nullptr;    // [version]: the string of the version information it sets
    bool flagMeansFalse = false;            // switches: the bit stands for false (it forbids what true allows)
};

inline constexpr const char* kCompressionChoices[] = {"deflate", "lzma", "store", nullptr};
inline constexpr const char* kExecutionLevelChoices[] = {"as_invoker", "highest_available", "require_administrator",
                                                          nullptr};

inline constexpr SettingDefinition kSettings[] = {
    {kHideFrameSetting, "hide_frame", SettingTable::kTop, SettingType::kSwitch,
     "move the wizard off the screen while the commands run", nullptr, 0, FLAG_HIDE_FRAME, "no-hide-frame",
     "keep the wizard on the screen while the commands run"},
    {kFinishNoWaitSetting, "finish_no_wait", SettingTable::kTop, SettingType::kSwitch,
     "go on from the finish page without waiting for the user", nullptr, 0, FLAG_FINISH_NO_WAIT, "finish-wait",
     "wait on the finish page for Next"},
    {kSkipFolderPageSetting, "skip_folder_page", SettingTable::kTop, SettingType::kSwitch,
     "never show the folder page: extract into the folder template's folder at once",
     nullptr, 0, FLAG_SKIP_FOLDER_PAGE, "folder-page", "show the folder page"},
    {kAllowSwitchesSetting, "allow_switches", SettingTable::kTop, SettingType::kSwitch,
     "take the stub's switches from the command line for unattended runs (/S silent, /D=FOLDER, /X extract "
     "only, /P=PASSWORD, /LOG=FILE, /? help; see `sfxpack help switches`)",
     nullptr, 0, FLAG_NO_SWITCHES, "no-switches",
     "refuse every switch: the package says so and does nothing else (sets flag bit 3)", nullptr, nullptr, true},
    {kExcludeSetting, "exclude", SettingTable::kTop, SettingType::kPatterns,
     "leave out the paths the patterns match (*, **, ?, [...]; without '/' a name in any folder; ending in '/' "
     "folders only)",
     "nothing is left out", 0, 0, nullptr, nullptr},
    {kCompressionSetting, "compression", SettingTable::kTop, SettingType::kChoice,
     "how files are compressed: deflate (any ZIP tool reads it), lzma (smaller, slower; method 14, as 7-Zip "
     "writes it) or store; a file that does not shrink is stored either way (--level sets the level)",
     "deflate", 0, 0, nullptr, nullptr, kCompressionChoices},
    {kIconSetting, "icon", SettingTable::kTop, SettingType::kIconFile,
     "the package's icon: an .ico file with one or more images, BMP or PNG, of up to 256 by 256 pixels",
     "the stub's icon", 0, 0, nullptr, nullptr},
    {kExecutionLevelSetting, "execution_level", SettingTable::kTop, SettingType::kChoice,
     "what the package's manifest asks Windows for when it starts: as_invoker (the rights of the user who starts "
     "it), highest_available (the highest rights the user has: administrators see the elevation prompt) or "
     "require_administrator (administrator rights: every user sees the elevation prompt, and one who is no "
     "administrator must give an administrator's password or cannot start the package)",
     "as_invoker, as the stub's manifest says", 0, 0, nullptr, nullptr, kExecutionLevelChoices},
    {kFileVersionSetting, "file_version", SettingTable::kVersion, SettingType::kVersionNumber,
     "the file's version: 1 to 4 numbers of 0 to 65535, \"2.4.0.17\", missing ones 0",
     "product_version's; without either, 0.0.0.0", 0, 0, nullptr, nullptr, nullptr, "FileVersion"},
    {kProductVersionSetting, "product_version", SettingTable::kVersion, SettingType::kVersionNumber,
     "the product's version, written as file_version", "file_version's; without either, 0.0.0.0", 0, 0, nullptr,
     nullptr, nullptr, "ProductVersion"},
    {kProductNameSetting, "product_name", SettingTable::kVersion, SettingType::kVersionText, "the product's name",
     "not in the version information", 0, 0, nullptr, nullptr, nullptr, "ProductName"},
    {kCompanyNameSetting, "company_name", SettingTable::kVersion, SettingType::kVersionText,
     "the company that makes it", "not in the version information", 0, 0, nullptr, nullptr, nullptr, "CompanyName"},
    {kFileDescriptionSetting, "file_description", SettingTable::kVersion, SettingType::kVersionText,
     "what the file is, shown as its description", "not in the version information", 0, 0, nullptr, nullptr,
     nullptr, "FileDescription"},
    {kLegalCopyrightSetting, "legal_copyright", SettingTable::kVersion, SettingType::kVersionText,
     "the copyright notice", "not in the version information", 0, 0, nullptr, nullptr, nullptr, "LegalCopyright"},
    {kOriginalFilenameSetting, "original_filename", SettingTable::kVersion, SettingType::kVersionText,
     "the file's original name", "the package's file name", 0, 0, nullptr, nullptr, nullptr, "OriginalFilename"},
    {kCommentsSetting, "comments", SettingTable::kVersion, SettingType::kVersionText, "comments",
     "not in the version information", 0, 0, nullptr, nullptr, nullptr, "Comments"},
    {kTitleSetting, "title", SettingTable::kLanguage, SettingType::kText,
     "window title, also the caption of the stub's error messages",
     "\"Brenlow Self Extractor\", in German \"Brenlow - Selbstextrahierendes Archiv\"", RECORD_TITLE, 0, nullptr,
     nullptr},
    {kIntroTextSetting, "intro_text", SettingTable::kLanguage, SettingType::kText, "text of the intro page",
     "no intro page", RECORD_INTRO_TEXT, 0, nullptr, nullptr},
    {kIntroLinkSetting, "intro_link", SettingTable::kLanguage, SettingType::kText,
     "second line of the intro page; a click hands it to the shell to open", "none", RECORD_INTRO_LINK, 0,
     nullptr, nullptr},
    {kFinishTextSetting, "finish_text", SettingTable::kLanguage, SettingType::kText, "text of the finish page",
     "the finish page does not wait: the commands start right after extraction", RECORD_FINISH_TEXT, 0, nullptr,
     nullptr},
    {kFinishButtonSetting, "finish_button", SettingTable::kLanguage, SettingType::kText,
     "caption of Next on the finish page", "\"&Finish\", in German \"&Beenden\"", RECORD_FINISH_BUTTON, 0,
     nullptr, nullptr},
    {kExitTextSetting, "exit_text", SettingTable::kLanguage, SettingType::kText, "text of the exit page",
     "no exit page: the program ends after the commands", RECORD_EXIT_TEXT, 0, nullptr, nullptr},
    {kExitButtonSetting, "exit_button", SettingTable::kLanguage, SettingType::kText,
     "caption of Next on the exit page", "\"E&xit\", in German \"&Beenden\"", RECORD_EXIT_BUTTON, 0, nullptr,
     nullptr},
    {kCommand1Setting, "command1", SettingTable::kLanguage, SettingType::kText,
     "first command line, run in the extraction folder after extraction", "none", RECORD_COMMAND1, 0, nullptr,
     nullptr},
    {kCommand2Setting, "command2", SettingTable::kLanguage, SettingType::kText,
     "second command line, run after the first", "none", RECORD_COMMAND2, 0, nullptr, nullptr},
    {kFolderTemplateSetting, "folder_template", SettingTable::kLanguage, SettingType::kText,
     "where the extraction folder is made: an alias form such as \\\\!winprograms\\Demo, or a folder",
     "\\\\!Temp, the user's temporary folder", RECORD_FOLDER_TEMPLATE, 0, nullptr, nullptr},
    {kDeleteListSetting, "delete_list", SettingTable::kLanguage, SettingType::kFileName,
     "name of a file in the package that lists paths to delete at the end", "no delete list", RECORD_DELETE_LIST,
     0, nullptr, nullptr},
};

// Every SettingId names its own line: code that asks for a setting by name
// gets that one.
constexpr bool SettingsInIdOrder()
{
    for (std::size_t i = 0; i < std::size(kSettings); i++)
        if (kSettings[i].id != i)
            return false;
    return std::size(kSettings) == kSettingCount;
}
static_assert(SettingsInIdOrder(), "kSettings must list every SettingId once, in order");

// The languages of texts: the language tables' names and the ids their
// records carry.
struct LanguageName {
    const char* key;
    std::uint16_t id;
    const char* meaning;   // whose texts the table holds, for the help
};
inline constexpr LanguageName kLanguages[] = {
    {"neutral", LANGUAGE_NEUTRAL, "any language"},
    {"german", LANGUAGE_GERMAN, "German"},
    {"english", LANGUAGE_ENGLISH, "English"},
};
inline constexpr std::size_t kLanguageCount = std::size(kLanguages);

// The tables of the config file, each with the settings it holds and the
// language its values are in (settings outside the language tables keep
// theirs as the neutral language's).
struct ConfigTable {
    const char* name;
    SettingTable holds;
    std::size_t language;
};
inline constexpr ConfigTable kConfigTables[] = {
    {"version", SettingTable::kVersion, 0},
    {kLanguages[0].key, SettingTable::kLanguage, 0},
    {kLanguages[1].key, SettingTable::kLanguage, 1},
    {kLanguages[2].key, SettingTable::kLanguage, 2},
};

// The option that gives any setting of a kind of table on the command line,
// naming its key: KEY=VALUE, or TABLE.KEY=VALUE where several tables hold
// the same keys. Settings of other tables have an option each.
struct TableOption {
    SettingTable holds;
    const char* option;        // "--text"
    const char* valueName;     // "LANGUAGE.KEY=TEXT"
    const char* meaning;       // for the help
    const char* example;       // a value it takes: "german.title=Einrichtung"
    bool keyOptions;           // whether each setting has an option of its own too (for the first table)
};
inline constexpr TableOption kTableOptions[] = {
    {SettingTable::kLanguage, "--text", "LANGUAGE.KEY=TEXT", "a text in one language", "german.title=Einrichtung",
     true},
    {SettingTable::kVersion, "--version-info", "KEY=VALUE",
     "a value of the version information, keys as in the config's [version] table; repeatable",
     "product_version=1.2", false},
};

// A setting by its key in a table; nullptr when the table has no such key.
const SettingDefinition* FindSetting(std::string_view key, SettingTable table);
// The option that names the keys of a kind of table; nullptr when each of
// its settings has its own only.
const TableOption* FindTableOption(SettingTable table);
// Whether a setting has an option of its own (--title, --icon).
bool HasOwnOption(const SettingDefinition& setting);
// A config table by its name; nullptr when there is none of that name.
const ConfigTable* FindConfigTable(std::string_view name);
// A language by its table's name; -1 when unknown.
int FindLanguage(std::string_view key);

// A switch's value when the package does not set it: the stub's default.
constexpr bool SwitchDefault(const SettingDefinition& setting)
{
    return ((FLAGS_DEFAULT & setting.flag) != 0) != setting.flagMeansFalse;
}

// The option a setting is given by on the command line ("--intro-text").
std::string OptionName(const SettingDefinition& setting);

// A choice's words as a sentence says them: "deflate, lzma or store".
std::string ChoiceList(const SettingDefinition& setting);

// A choice's words as an option's value is named: "deflate|lzma|store".
std::string ChoiceWords(const SettingDefinition& setting);

// What a setting's option takes, as its help names it: "TEXT", "FILE", a
// choice's words.
std::string ValueName(const SettingDefinition& setting);

}  // namespace packer
