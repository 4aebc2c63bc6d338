// The packer's rules, tested on the library: which characters a package
// can hold, which names the stub can write, what the config file accepts
// (and where it says a fault lies), the delete list, the size limits, what
// exclude patterns match, and the stub's checksum after its time changed.
#include <gtest/gtest.h>

#include "config_file.h"
#include "delete_list.h"
#include "exclude_patterns.h"
#include "package_builder.h"
#include "package_identity.h"
#include "package_settings.h"
#include "packer_error.h"
#include "setting_options.h"
#include "source_entries.h"
#include "stub_file.h"
#include "support/icon_builder.h"
#include "support/temp_path.h"
#include "text_encoding.h"

using namespace packer;

namespace {

// Runs f and returns the PackerError's message, or "" when none came.
template <typename F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const PackerError& error) {
        return error.what();
    }
    return "";
}

TEST(TextEncoding, NamesHoldAsciiAndTheSevenGermanLettersOnly)
{
    std::string oem;
    ASSERT_TRUE(Utf8ToOemName("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F-a/b.txt", oem));
    EXPECT_EQ(oem, "\x84\x94\x81\x8E\x99\x9A\xE1-a/b.txt");
    std::string back;
    ASSERT_TRUE(OemNameToUtf8(oem, back));
    EXPECT_EQ(back, "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F-a/b.txt");

    const struct {
        const char* utf8;
        char32_t bad;
    } refused[] = {
        {"caf\xC3\xA9", 0xE9},                 // é: in code page 850, but the stub does not map it
        {"\xE2\x82\xAC.txt", 0x20AC},          // €
        {"\xF0\x9F\x98\x80", 0x1F600},         // an emoji
        {"a\xC3", 0xFFFD},                     // cut short
        {"\xC0\xAF", 0xFFFD},                  // overlong '/'
        {"\xED\xA0\x80", 0xFFFD},              // a surrogate
    };
    for (const auto& c : refused) {
        char32_t bad = 0;
        EXPECT_FALSE(Utf8ToOemName(c.utf8, oem, &bad)) << c.utf8;
        EXPECT_EQ(bad, c.bad) << c.utf8;
    }
    // Bytes of code page 437 that are no German letter have no mapping.
    EXPECT_FALSE(OemNameToUtf8("\x82t\x82", back));
}

TEST(TextEncoding, TextsAreWindows1252)
{
    std::string ansi;
    ASSERT_TRUE(Utf8ToAnsi("\xE2\x82\xAC 5, \xE2\x80\x9E" "Gr\xC3\xBC\xC3\x9F" "e\xE2\x80\x9C \xC3\xA9", ansi));
    EXPECT_EQ(ansi, "\x80 5, \x84Gr\xFC\xDF" "e\x93 \xE9");
    EXPECT_EQ(AnsiToUtf8(ansi), "\xE2\x82\xAC 5, \xE2\x80\x9EGr\xC3\xBC\xC3\x9F" "e\xE2\x80\x9C \xC3\xA9");
    char32_t bad = 0;
    EXPECT_FALSE(Utf8ToAnsi("\xD0\x96", ansi, &bad));   // Cyrillic Zhe
    EXPECT_EQ(bad, 0x416u);
    // The five bytes without a character read back as replacement characters.
    EXPECT_EQ(AnsiToUtf8("\x81"), "\xEF\xBF\xBD");
}

TEST(EntryNames, WindowsAndTheStubDecideWhatAPackageMayHold)
{
    for (const char* name : {"a.txt", "docs/readme.txt", "empty/", "\x84rger.txt", "a b/c d.txt", "console/x.txt",
                             "./a.txt", ".hidden"})
        EXPECT_EQ(EntryNameProblem(name), "") << name;
    for (const char* name : {"../evil.txt", "a/../../b", "C:evil", "a\x01.txt", "a<b", "what?.txt", "a|b",
                             "dots./x", "space /x", "NUL", "con.txt", "lpt1", "a\\b", "a//b", ""})
        EXPECT_NE(EntryNameProblem(name), "") << name;
    EXPECT_EQ(EntryNameProblem(std::string(kMaxEntryNameLength, 'n')), "");
    EXPECT_NE(EntryNameProblem(std::string(kMaxEntryNameLength + 1, 'n')), "");
}

SourceEntry Entry(const std::string& name, bool directory = false)
{
    SourceEntry entry;
    entry.name = name;
    entry.shownName = name;
    entry.directory = directory;
    return entry;
}

TEST(EntryNames, NamesThatCollideOnWindowsAreRefusedTogether)
{
    // Windows ignores case, for the umlauts as for ASCII.
    std::string message = ErrorOf([] {
        CheckEntryNames({Entry("Readme.TXT"), Entry("readme.txt"), Entry("\x8E.txt"), Entry("\x84.txt"),
                         Entry("tool"), Entry("TOOL/x.dll"), Entry("ok/", true), Entry("ok/fine.txt")});
    });
    EXPECT_NE(message.find("readme.txt: the same name on Windows as Readme.TXT"), std::string::npos) << message;
    // The shown names here are OEM bytes, which messages print escaped.
    EXPECT_NE(message.find("\\x84.txt: the same name"), std::string::npos) << message;
    EXPECT_NE(message.find("TOOL/x.dll: needs a folder where the file tool is"), std::string::npos) << message;
    EXPECT_EQ(message.find("fine.txt"), std::string::npos) << message;
}

TEST(ConfigFile, EveryTextInEveryLanguageAndTheFlags)
{
    PackageSettings settings = ParseConfigText(R"(
hide_frame = false
finish_no_wait = true

[neutral]
title = "Setup"
folder_template = '\\!Temp\App'
delete_list = "l\u00f6schen.txt"

[german]
intro_text = """Willkommen.
Zweite Zeile."""
finish_button = "&Fertig"

[english]
intro_text = "Welcome."
command1 = 'setup.exe /q'
command2 = "cleanup.cmd"
)",
                                               "cfg.toml");
    auto text = [&](SettingId setting, std::size_t language) { return settings.text(setting, language); };
    EXPECT_EQ(text(kTitleSetting, 0), "Setup");
    EXPECT_EQ(text(kFolderTemplateSetting, 0), "\\\\!Temp\\App");
    EXPECT_EQ(text(kDeleteListSetting, 0), "l\xC3\xB6schen.txt");
    EXPECT_EQ(text(kIntroTextSetting, 1), "Willkommen.\nZweite Zeile.");
    EXPECT_EQ(text(kFinishButtonSetting, 1), "&Fertig");
    EXPECT_EQ(text(kIntroTextSetting, 2), "Welcome.");
    EXPECT_EQ(text(kCommand1Setting, 2), "setup.exe /q");
    EXPECT_FALSE(text(kTitleSetting, 1));
    EXPECT_EQ(settings.switchValue(kHideFrameSetting), false);
    EXPECT_EQ(settings.switchValue(kFinishNoWaitSetting), true);

    // Records in field order, neutral before German before English; the
    // delete-list name in OEM bytes, the texts in Windows-1252.
    packaging::TrailerBuilder expected;
    expected.text(packaging::kTitle, 0, "Setup")
        .text(packaging::kIntroText, 7, "Willkommen.\nZweite Zeile.")
        .text(packaging::kIntroText, 9, "Welcome.")
        .text(packaging::kFinishButton, 7, "&Fertig")
        .text(packaging::kCommand1, 9, "setup.exe /q")
        .text(packaging::kCommand2, 9, "cleanup.cmd")
        .text(packaging::kFolderTemplate, 0, "\\\\!Temp\\App")
        .text(packaging::kDeleteList, 0, "l\x94schen.txt")
        .flags(3, 2);
    EXPECT_EQ(settings.records().records(), expected.records());
}

// The settings an option list gives, as the build command reads them.
PackageSettings FromOptions(const std::vector<std::string>& options)
{
    CLI::App command;
    SettingOptions given;
    given.define(command);
    std::vector<std::string> words = {"build"};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    command.parse(static_cast<int>(argv.size()), argv.data());
    return given.settings();
}

// Every setting of the table, given in the config file and by its options,
// ends where the stub reads it: a switch in its flag bit, a text in its
// record in each language; a list and a choice stay with the packer. A
// setting added to the table is checked here (or in the next test) without
// a word more.
TEST(SettingDefinitions, EverySettingGoesFromConfigAndOptionsToItsRecord)
{
    for (const SettingDefinition& setting : kSettings) {
        SCOPED_TRACE(setting.key);
        const std::string key = setting.key;
        const auto record = static_cast<packaging::RecordType>(setting.record);
        std::string config;
        std::vector<std::string> options;            // the setting's own options
        std::vector<std::string> languageOptions;    // --text, for settings of the language tables
        packaging::TrailerBuilder expected;          // from the config, and from --text
        packaging::TrailerBuilder expectedByOption;
        switch (setting.type) {
        case SettingType::kSwitch: {
            bool value = !SwitchDefault(setting);
            config = key + " = " + (value ? "true" : "false") + "\n";
            options = {value ? OptionName(setting) : std::string("--") + setting.offOption};
            // A bit that stands for false is set by false.
            bool bit = value != setting.flagMeansFalse;
            expected.flags(setting.flag, bit ? setting.flag : 0);
            expectedByOption.flags(setting.flag, bit ? setting.flag : 0);
            break;
        }
        case SettingType::kText:
        case SettingType::kFileName:
            // At the top, or in every table that holds it, each in the
            // table's language.
            if (setting.table == SettingTable::kTop) {
                config = key + " = \"top.txt\"\n";
                expected.text(record, LANGUAGE_NEUTRAL, "top.txt");
            }
            for (const ConfigTable& table : kConfigTables) {
                if (table.holds != setting.table)
                    continue;
                std::string text = std::string("n") + table.name + ".txt";
                config += std::string("[") + table.name + "]\n" + key + " = \"" + text + "\"\n";
                if (setting.table == SettingTable::kLanguage)
                    languageOptions.insert(languageOptions.end(),
                                           {"--text", std::string(table.name) + "." + key + "=" + text});
                expected.text(record, kLanguages[table.language].id, text);
            }
            // An umlaut: Windows-1252 in a text, the OEM byte in a file name.
            options = {OptionName(setting), "n\xC3\xA4.txt"};
            expectedByOption.text(record, LANGUAGE_NEUTRAL,
                                  setting.type == SettingType::kText ? "n\xE4.txt" : "n\x84.txt");
            break;
        case SettingType::kPatterns:
            config = key + " = [\"*.bak\", \"tmp/\"]\n";
            options = {OptionName(setting), "*.bak", OptionName(setting), "tmp/"};
            break;
        case SettingType::kChoice:
            // A word other than the default, the first.
            config = key + " = \"" + setting.choices[1] + "\"\n";
            options = {OptionName(setting), setting.choices[1]};
            break;
        case SettingType::kIconFile:
        case SettingType::kVersionNumber:
        case SettingType::kVersionText:
            continue;   // no record: the next test follows them into the stub's copy
        }
        PackageSettings fromConfig = ParseConfigText(config, "cfg.toml");
        PackageSettings fromOptions = FromOptions(options);
        EXPECT_EQ(fromConfig.records().records(), expected.records()) << config;
        EXPECT_EQ(fromOptions.records().records(), expectedByOption.records());
        if (!languageOptions.empty()) {
            EXPECT_EQ(FromOptions(languageOptions).records().records(), expected.records());
        }
        if (setting.type == SettingType::kPatterns) {
            std::vector<std::string> patterns = {"*.bak", "tmp/"};
            EXPECT_EQ(fromConfig.patterns(setting.id), patterns);
            EXPECT_EQ(fromOptions.patterns(setting.id), patterns);
        }
        if (setting.type == SettingType::kChoice) {
            EXPECT_EQ(fromConfig.choice(setting.id), setting.choices[1]);
            EXPECT_EQ(fromOptions.choice(setting.id), setting.choices[1]);
        }
    }
}

// What a setting of the package's identity made of the changes to the
// stub's copy: the icon's image count, the execution level's word, the
// version string it names (with the numbers for a version number).
std::string IdentityEffect(const SettingDefinition& setting, const packaging::ProgramChanges& changes)
{
    switch (setting.type) {
    case SettingType::kIconFile:
        return std::to_string(changes.icon.size()) + " images";
    case SettingType::kChoice:
        return changes.executionLevel ? ExecutionLevelKeyOf(*changes.executionLevel) : "";
    case SettingType::kVersionNumber:
    case SettingType::kVersionText: {
        if (!changes.version)
            return "";
        std::string effect;
        if (setting.type == SettingType::kVersionNumber) {
            const packaging::VersionNumber& number =
                setting.id == kFileVersionSetting ? changes.version->fileVersion : changes.version->productVersion;
            for (std::uint16_t part : number)
                effect += std::to_string(part) + ".";
        }
        for (const packaging::VersionString& string : changes.version->strings)
            if (VersionKeyOf(string.key) == setting.key)
                for (char16_t c : string.value)
                    effect += EncodeUtf8(std::u32string(1, c));
        return effect;
    }
    default:
        return "";
    }
}

// Every setting written into the package's copy of the stub, given in the
// config file, by its own option and by its table's option (--version-info),
// ends in the changes made to that copy: the icon's images, the manifest's
// level, the version information's numbers and strings.
TEST(SettingDefinitions, EveryIdentitySettingGoesFromConfigAndOptionsIntoTheStubsCopy)
{
    TempDir dir;
    const std::string icon =
        dir.write("app.ico", packaging::makeIconFile({{32, 0xFF0000, false, 32}, {16, 0x00FF00, false, 4}}));
    int checked = 0;
    for (const SettingDefinition& setting : kSettings) {
        std::string value;       // in the config file and the options, UTF-8
        std::string expected;    // IdentityEffect's
        switch (setting.type) {
        case SettingType::kIconFile:
            value = icon;
            expected = "2 images";
            break;
        case SettingType::kChoice: {
            // Only the execution level goes into the stub's copy; the
            // compression goes into the entries.
            if (setting.id != kExecutionLevelSetting)
                continue;
            // The last word: none is the stub's own.
            const char* const* last = setting.choices;
            while (last[1] != nullptr)
                last++;
            value = *last;
            expected = value;
            break;
        }
        case SettingType::kVersionNumber:
            value = "2.5";
            expected = "2.5.0.0.2.5";
            break;
        case SettingType::kVersionText:
            value = "n\xC3\xA4me";
            expected = value;
            break;
        default:
            continue;
        }
        SCOPED_TRACE(setting.key);
        checked++;
        // At the top or in its table; TOML's literal string keeps a Windows
        // path's backslashes.
        std::string config;
        for (const ConfigTable& table : kConfigTables)
            if (config.empty() && table.holds == setting.table)
                config = std::string("[") + table.name + "]\n";
        config += std::string(setting.key) + " = '" + value + "'\n";
        std::vector<PackageSettings> given = {ParseConfigText(config, "cfg.toml")};
        if (HasOwnOption(setting))
            given.push_back(FromOptions({OptionName(setting), value}));
        if (const TableOption* byKey = FindTableOption(setting.table))
            given.push_back(FromOptions({byKey->option, std::string(setting.key) + "=" + value}));
        ASSERT_EQ(given.size(), 2u) << "a setting of the stub's copy has an option";
        for (const PackageSettings& settings : given) {
            EXPECT_TRUE(settings.records().records().empty());
            EXPECT_EQ(IdentityEffect(setting, PrepareProgramChanges(settings, "setup.exe")), expected);
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(ConfigFile, FaultsAreReportedWithTheirLine)
{
    const struct {
        const char* text;
        const char* expected;   // the start of the message
    } cases[] = {
        {"[neutral]\ntitle = \"Setup\"\nintro_text = \"open", "cfg.toml:3:"},
        {"[neutral]\n\ntitel = \"Setup\"\n", "cfg.toml:3: unknown key titel in [neutral]"},
        {"[neutral]\ntitle = 5\n", "cfg.toml:2: title must be a text"},
        {"hide_frame = \"yes\"\n", "cfg.toml:1: hide_frame must be true or false"},
        {"compression = \"zip\"\n", "cfg.toml:1: compression is deflate, lzma or store, not zip"},
        {"\ncompression = 14\n", "cfg.toml:2: compression must be one of deflate, lzma or store, in quotes"},
        {"[neutral]\ncompression = \"lzma\"\n", "cfg.toml:2: compression belongs at the top, before any table"},
        {"[french]\ntitle = \"x\"\n", "cfg.toml:1: unknown key or table french"},
        {"title = \"x\"\n", "cfg.toml:1: title belongs in a language table"},
        {"[german]\n\n\ntitle = \"\xD0\x96\"\n", "cfg.toml:4: title holds U+0416"},
        {"[english]\ndelete_list = \"caf\xC3\xA9.txt\"\n", "cfg.toml:2: delete_list holds U+00E9"},
        {"[english]\ncommand1 = \"a\\u0000b\"\n", "cfg.toml:2: command1 holds a zero character"},
        // A key that is nearly one the table takes is named with it.
        {"[neutral]\nintro_txt = \"x\"\n", "cfg.toml:2: unknown key intro_txt in [neutral]; did you mean intro_text?"},
        {"hide_fram = true\n", "cfg.toml:1: unknown key or table hide_fram; did you mean hide_frame?"},
        {"[englsh]\ntitle = \"x\"\n", "cfg.toml:1: unknown key or table englsh; did you mean english?"},
        {"[german]\nhide_frame = true\n", "cfg.toml:2: hide_frame belongs at the top, before any table, not in [german]"},
    };
    for (const auto& c : cases) {
        std::string message = ErrorOf([&] { ParseConfigText(c.text, "cfg.toml"); });
        EXPECT_EQ(message.rfind(c.expected, 0), 0u) << "config:\n" << c.text << "\nmessage: " << message;
    }
    // Nothing near: no guess.
    std::string far = ErrorOf([] { ParseConfigText("[neutral]\nbackground = \"x\"\n", "cfg.toml"); });
    EXPECT_EQ(far, "cfg.toml:2: unknown key background in [neutral]");
    // A text longer than a trailer record can hold.
    std::string message = ErrorOf(
        [] { ParseConfigText("[neutral]\nintro_text = \"" + std::string(70000, 'x') + "\"\n", "cfg.toml"); });
    EXPECT_EQ(message.rfind("cfg.toml:2: intro_text is 70000 bytes long", 0), 0u) << message;
}

TEST(DeleteList, NamesBecomeOemBytesAndEveryLineEnds)
{
    std::vector<std::string> notes;
    auto prepare = [&](const std::string& text) {
        return PrepareDeleteList("list.txt", packaging::Bytes(text.begin(), text.end()), notes);
    };
    // Already as the stub reads it: left alone.
    EXPECT_FALSE(prepare("a.txt\r\nsub\\\x84.txt\r\n"));
    EXPECT_TRUE(notes.empty());

    auto converted = prepare("  \xC3\xA4rger.txt\nsub/gr\xC3\xBC\xC3\x9F" "e.txt");
    ASSERT_TRUE(converted);
    EXPECT_EQ(std::string(converted->begin(), converted->end()), "  \x84rger.txt\nsub/gr\x81\xE1" "e.txt\n");
    EXPECT_EQ(notes.size(), 2u);

    EXPECT_EQ(ErrorOf([&] { prepare("a.txt\n..\\..\\Windows\\win.ini\n"); }),
              "list.txt:2: the delete list names a file outside the extraction folder");
    EXPECT_EQ(ErrorOf([&] { prepare("ok\n\n  C:\\boot.ini  \n"); }),
              "list.txt:3: the delete list names a file outside the extraction folder");
    EXPECT_EQ(ErrorOf([&] { prepare("caf\xC3\xA9\n"); }).rfind("list.txt:1: the delete list holds U+00E9", 0), 0u);
    // Lines the stub skips for other reasons say what they hold.
    EXPECT_EQ(ErrorOf([&] { prepare("a\tb.txt\n"); }),
              "list.txt:1: the delete list holds the control character U+0009");
    EXPECT_EQ(ErrorOf([&] { prepare("logs/nul.txt\n"); }), "list.txt:1: the delete list names a device");
    EXPECT_EQ(ErrorOf([&] { prepare("old.\n"); }),
              "list.txt:1: the delete list names a file ending in a dot or space, which Windows drops");
}

TEST(PackageLimits, EntriesSizesAndHeadersAreCheckedBeforeWriting)
{
    std::vector<SourceEntry> entries(65535, Entry("n"));
    EXPECT_EQ(ErrorOf([&] { CheckPackageLimits(entries, 100000, 100); }), "");
    entries.push_back(Entry("n"));
    EXPECT_NE(ErrorOf([&] { CheckPackageLimits(entries, 100000, 100); }).find("at most 65,535"), std::string::npos);

    std::vector<SourceEntry> large = {Entry("big.bin")};
    large[0].size = 0xFFFFFFFFull;
    EXPECT_EQ(ErrorOf([&] { CheckPackageLimits(large, 100000, 100); }), "");
    large[0].size++;
    EXPECT_NE(ErrorOf([&] { CheckPackageLimits(large, 100000, 100); }).find("big.bin: 4294967296 bytes"),
              std::string::npos);
    // A stub so large that the headers no longer fit below 4 GiB.
    EXPECT_NE(ErrorOf([&] { CheckPackageLimits({Entry("a")}, 0xFFFFFF00ull, 200); }).find("reach 4 GiB"),
              std::string::npos);
}

TEST(ExcludePatterns, WhatEachPatternMatches)
{
    const struct {
        const char* pattern;
        const char* path;
        bool folder;
        bool excluded;
    } cases[] = {
        {"*.bak", "a.bak", false, true},
        {"*.bak", "deep/er/A.BAK", false, true},          // any folder, any case
        {"*.bak", "a.bak/x.txt", false, false},           // the folder a.bak itself is matched, not its content
        {"*.txt", "docs/a.txt.old", false, false},
        {"/a.txt", "a.txt", false, true},
        {"/a.txt", "docs/a.txt", false, false},           // a leading '/' anchors to the top
        {"docs/*.txt", "docs/a.txt", false, true},
        {"docs/*.txt", "docs/sub/a.txt", false, false},   // * stays within one name
        {"docs/*.txt", "x/docs/a.txt", false, false},     // a '/' inside anchors too
        {"docs/**/*.txt", "docs/a.txt", false, true},     // ** between folders: none at all
        {"docs/**/*.txt", "docs/a/b/c.txt", false, true},
        {"**/cache", "cache", true, true},
        {"**/cache", "a/b/cache", true, true},
        {"build/**", "build", true, false},               // the folder stays, its content goes
        {"build/**", "build/x/y.o", false, true},
        {"a**z", "a/b/z", false, true},                   // ** inside a name crosses folders as well
        {"build/", "build", true, true},
        {"build/", "build", false, false},                // folders only
        {"build/", "src/build", true, true},
        {"docs\\old", "docs/old", false, true},          // a backslash is a separator
        {"?.txt", "a.txt", false, true},
        {"?.txt", "ab.txt", false, false},
        {"[ab].txt", "b.txt", false, true},
        {"[!ab].txt", "b.txt", false, false},
        {"[!ab].txt", "c.txt", false, true},
        {"[a-c]x", "Bx", false, true},
        {"[]]x", "]x", false, true},
        {"\xC3\xA4*", "\xC3\x84rger.txt", false, true},      // the umlauts fold as well
        {"*", "anything/at/all", false, true},
    };
    for (const auto& c : cases) {
        ExcludePatterns patterns({c.pattern});
        EXPECT_EQ(patterns.excludes(c.path, c.folder), c.excluded) << c.pattern << " on " << c.path;
    }
    // Deep names whose folders hold no entry of their own, as in ZIP files.
    ExcludePatterns folder({"docs/"});
    EXPECT_FALSE(folder.excludes("docs/a/b.txt", false));
    EXPECT_TRUE(folder.excludesWithParents("docs/a/b.txt", false));
    EXPECT_TRUE(folder.excludesWithParents("x/docs/b.txt", false));
    EXPECT_FALSE(folder.excludesWithParents("docsx/b.txt", false));
}

TEST(StubTime, ChecksumAsTheLinkerWritesItAndALaterStampBounded)
{
    fs::path place;
    try {
        place = LocateStub(std::nullopt, false);
    } catch (const PackerError&) {
        GTEST_SKIP() << "no 32-bit stub built";
    }
    const packaging::Bytes stub = LoadStub(place, StubKind::k32);
    auto le32 = [](const packaging::Bytes& bytes, std::size_t at) {
        return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) |
               static_cast<std::uint32_t>(bytes[at + 3]) << 24;
    };
    std::size_t pe = le32(stub, 0x3C);
    std::size_t stampAt = pe + 8;
    std::size_t checksumAt = pe + 24 + 64;
    std::uint32_t stamp = le32(stub, stampAt);
    ASSERT_NE(le32(stub, checksumAt), 0u) << "the linker wrote no checksum";
    EXPECT_EQ(PeChecksum(stub), le32(stub, checksumAt));

    packaging::Bytes bounded = stub;
    ClampStubTime(bounded, stamp - 1000);
    EXPECT_EQ(le32(bounded, stampAt), stamp - 1000);
    EXPECT_EQ(le32(bounded, checksumAt), PeChecksum(bounded));
    EXPECT_NE(le32(bounded, checksumAt), le32(stub, checksumAt));
    std::size_t differing = 0;
    for (std::size_t i = 0; i < stub.size(); i++)
        differing += stub[i] != bounded[i];
    EXPECT_LE(differing, 8u) << "only the stamp and the checksum change";

    packaging::Bytes earlier = stub;
    ClampStubTime(earlier, stamp + 1000);
    EXPECT_TRUE(earlier == stub);
}

}  // namespace
