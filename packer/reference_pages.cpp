// The reference pages, made from the program's own definitions, and their
// two renderings.
#include "reference_pages.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "exit_codes.h"
#include "package_identity.h"
#include "packaging/trailer_writer.h"
#include "setting_definitions.h"
#include "stub_file.h"
#include "text_encoding.h"

namespace packer {

namespace {

constexpr std::size_t kLineWidth = 79;
// The text of a page, and of a part under a heading, is indented by this
// much more than its heading; a term's explanation by this much more than
// the term, on the term's line when the term leaves room for it there.
constexpr std::size_t kIndent = 2;
constexpr std::size_t kExplanationIndent = 4;

using Kind = ReferenceBlock::Kind;

// A setting's value as it is written in the config file.
std::string ValueSyntax(const SettingDefinition& setting)
{
    switch (setting.type) {
    case SettingType::kSwitch:
        return "true or false";
    case SettingType::kText:
    case SettingType::kFileName:
    case SettingType::kIconFile:
    case SettingType::kVersionText:
        return "\"" + ValueName(setting) + "\"";
    case SettingType::kPatterns:
        return "[\"PATTERN\", ...]";
    case SettingType::kChoice: {
        std::string words;
        for (const char* const* choice = setting.choices; *choice != nullptr; choice++)
            words += std::string(choice == setting.choices ? "" : " | ") + "\"" + *choice + "\"";
        return words;
    }
    case SettingType::kVersionNumber:
        return "\"1.2.3.4\"";
    }
    return "";
}

// The options that give a setting on the command line.
std::string OptionsOf(const SettingDefinition& setting)
{
    const TableOption* byKey = FindTableOption(setting.table);
    std::string byKeyValue;
    if (byKey != nullptr) {
        // LANGUAGE.KEY=TEXT with the key and its value's name filled in.
        byKeyValue = byKey->valueName;
        byKeyValue = byKeyValue.substr(0, byKeyValue.find("KEY")) + setting.key + "=" + ValueName(setting);
        byKeyValue = std::string(byKey->option) + " " + byKeyValue;
    }
    switch (setting.type) {
    case SettingType::kSwitch:
        return "Options: " + OptionName(setting) + ", --" + setting.offOption;
    case SettingType::kText:
    case SettingType::kFileName:
    case SettingType::kVersionNumber:
    case SettingType::kVersionText: {
        std::string option = OptionName(setting) + " " + ValueName(setting);
        if (byKey == nullptr)
            return "Option: " + option;
        if (!HasOwnOption(setting))
            return "Option: " + byKeyValue;
        return "Options: " + option + " for the neutral language, " + byKeyValue + " for any";
    }
    case SettingType::kIconFile:
        return "Option: " + OptionName(setting) + " " + ValueName(setting) +
               ". A relative path is taken from the config file's folder, the option's from the current folder";
    case SettingType::kPatterns:
        return "Option: " + OptionName(setting) + " PATTERN, repeatable, adds to the list";
    case SettingType::kChoice:
        return "Option: " + OptionName(setting) + " WORD, one of " + ChoiceList(setting);
    }
    return "";
}

std::string WhenAbsent(const SettingDefinition& setting)
{
    if (setting.type == SettingType::kSwitch)
        return SwitchDefault(setting) ? "true, the stub's default" : "false, the stub's default";
    return setting.whenAbsent;
}

// The setting's syntax, then what it does, what happens without it, and
// its options, each on a line of its own.
ReferenceBlock SettingTerm(const SettingDefinition& setting)
{
    std::string meaning = setting.meaning;
    meaning[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(meaning[0])));
    return {Kind::kTerm, std::string(setting.key) + " = " + ValueSyntax(setting),
            meaning + ".\nWhen absent: " + WhenAbsent(setting) + ".\n" + OptionsOf(setting) + "."};
}

// "[neutral], [german] and [english]": the tables that hold such settings.
std::string TableNames(SettingTable holds)
{
    std::vector<std::string> names;
    for (const ConfigTable& table : kConfigTables)
        if (table.holds == holds)
            names.push_back(std::string("[") + table.name + "]");
    std::string text;
    for (std::size_t i = 0; i < names.size(); i++)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

void AddSettingTerms(ReferencePage& page, SettingTable table)
{
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == table)
            page.blocks.push_back(SettingTerm(setting));
}

// "[german] German (records of language 7)": whose texts each table holds.
std::string LanguageIds()
{
    std::string text;
    for (std::size_t i = 0; i < kLanguageCount; i++)
        text += std::string(i == 0 ? "" : i + 1 == kLanguageCount ? " and " : ", ") + "[" + kLanguages[i].key +
                "] for " + kLanguages[i].meaning + " (records of language " + std::to_string(kLanguages[i].id) + ")";
    return text;
}

// The text's words in lines of at most kLineWidth columns, each line but
// the first after indent spaces; a line break in the text starts a new
// line. The first line goes on from column, where the caller has written
// up to; from 0 it starts with the indent.
std::string Fill(const std::string& text, std::size_t indent, std::size_t column = 0)
{
    std::string out;
    if (column == 0) {
        out = std::string(indent, ' ');
        column = indent;
    }
    bool lineEmpty = true;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of(" \n", at);
        if (end == std::string::npos)
            end = text.size();
        std::string word = text.substr(at, end - at);
        bool breakAfter = end < text.size() && text[end] == '\n';
        at = end + 1;
        if (!word.empty()) {
            if (!lineEmpty && column + 1 + word.size() > kLineWidth) {
                out += "\n" + std::string(indent, ' ');
                column = indent;
                lineEmpty = true;
            }
            if (!lineEmpty) {
                out += ' ';
                column++;
            }
            out += word;
            column += word.size();
            lineEmpty = false;
        }
        if (breakAfter) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
    }
    return out + "\n";
}

// Lines as they stand, each after indent spaces (but an empty one).
std::string Verbatim(const std::string& text, std::size_t indent)
{
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        out += (line.empty() ? "" : std::string(indent, ' ') + line) + "\n";
        start = end + 1;
    }
    return out;
}

// roff: a backslash is its escape character, a minus a hyphen unless
// escaped, and a double quote ends a macro's argument. Letters beyond ASCII
// are named by their code points, whatever the reader's encoding.
std::string RoffEscape(const std::string& text)
{
    std::u32string characters;
    if (!DecodeUtf8(text, characters))
        throw std::logic_error("reference text that is no UTF-8: " + text);
    std::string out;
    for (char32_t c : characters) {
        if (c == U'\\') {
            out += "\\e";
        } else if (c == U'-') {
            out += "\\-";
        } else if (c == U'"') {
            out += "\\(dq";
        } else if (c >= 0x80) {
            char name[16];
            std::snprintf(name, sizeof name, "\\[u%04X]", static_cast<unsigned>(c));
            out += name;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Lines of text, escaped. A line that starts with a dot or a quote would be
// a request, and in help2man's include file one that starts with '[' a
// section and one with '/' a pattern.
std::string RoffLines(const std::string& text)
{
    std::string lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = RoffEscape(text.substr(start, end - start));
        if (!line.empty() && std::string(".'[/").find(line[0]) != std::string::npos)
            line = "\\&" + line;
        lines += line + "\n";
        start = end + 1;
    }
    return lines;
}

// Text for a filled paragraph: its line breaks kept as breaks.
std::string RoffFilled(const std::string& text)
{
    std::string roff = RoffLines(text);
    std::string out;
    std::size_t start = 0;
    for (std::size_t end; (end = roff.find('\n', start)) != std::string::npos; start = end + 1)
        out += (start == 0 ? "" : ".br\n") + roff.substr(start, end - start + 1);
    return out;
}

}  // namespace

ReferencePage ConfigReference()
{
    ReferencePage page{"Config file", "CONFIG FILE", {}};
    auto add = [&page](Kind kind, const std::string& term, const std::string& text) {
        page.blocks.push_back({kind, term, text});
    };
    add(Kind::kParagraph, "",
        "sfxpack build -c FILE reads a package's settings from FILE, in TOML (UTF-8): the keys below at the top, "
        "then " + TableNames(SettingTable::kVersion) + " for the version information and a table per language, " +
            TableNames(SettingTable::kLanguage) + ", each holding any of the texts. Options on the "
        "command line win over the file. An unknown table or key, a value of the wrong type, a pattern that "
        "cannot be used, a value out of range or a character the stub cannot show is an error that names the file "
        "and line.");
    add(Kind::kHeading, "", "At the top");
    AddSettingTerms(page, SettingTable::kTop);
    // Then each other kind of table, in the order the tables are listed.
    for (std::size_t i = 0; i < std::size(kConfigTables); i++) {
        SettingTable holds = kConfigTables[i].holds;
        bool first = true;
        for (std::size_t j = 0; j < i; j++)
            first = first && kConfigTables[j].holds != holds;
        if (!first)
            continue;
        add(Kind::kHeading, "", "In " + TableNames(holds));
        if (holds == SettingTable::kLanguage)
            add(Kind::kParagraph, "",
                "The stub shows a text in its interface language, German or English after the user's default "
                "language, if there is one, else the neutral one, else whichever there is. The tables hold the "
                "texts " + LanguageIds() + ". Texts are stored in Windows-1252, file names in code page 850 "
                "(ASCII and \xC3\xA4 \xC3\xB6 \xC3\xBC \xC3\x84 \xC3\x96 \xC3\x9C \xC3\x9F), each at most " +
                std::to_string(packaging::kMaxTextLength) + " bytes.");
        if (holds == SettingTable::kVersion)
            add(Kind::kParagraph, "",
                "The version information Explorer shows under Properties, Details. Without any of these keys a "
                "package carries the stub's own; with any, the packer writes the numbers and the texts given "
                "into its copy of the stub, in the language and code page of the stub's version information "
                "(German, 0x0407, and Windows-1252). Texts are at most " +
                    std::to_string(kMaxVersionTextLength) + " characters.");
        AddSettingTerms(page, holds);
    }
    add(Kind::kHeading, "", "Example");
    add(Kind::kExample, "",
        "hide_frame = true\n"
        "exclude = [\"*.bak\", \".git/\"]\n"
        "icon = \"art/setup.ico\"\n"
        "execution_level = \"as_invoker\"\n"
        "\n"
        "[version]\n"
        "product_version = \"1.2\"\n"
        "product_name = \"Demo\"\n"
        "\n"
        "[neutral]\n"
        "title = \"Demo\"\n"
        "command1 = \"install.cmd\"\n"
        "folder_template = '\\\\!Temp'\n"
        "\n"
        "[german]\n"
        "title = \"Demo einrichten\"\n"
        "intro_text = \"\"\"Willkommen!\n"
        "Dieses Programm richtet Demo ein.\"\"\"\n"
        "\n"
        "[english]\n"
        "title = \"Demo setup\"\n"
        "intro_text = \"Welcome! This program sets up Demo.\"");
    return page;
}

ReferencePage StubPlacesReference()
{
    ReferencePage page{"Stubs", "FILES", {}};
    page.blocks.push_back({Kind::kParagraph, "",
                           "Without --stub, build takes the 32-bit stub, or with --64 the 64-bit one, from the "
                           "first of these places, relative to the folder sfxpack itself lies in:"});
    for (const StubPlace& place : kStubPlaces) {
        std::string what = place.what;
        if (place.inBuildTreeOnly)
            what += ", only when sfxpack runs from a build tree";
        page.blocks.push_back({Kind::kTerm, StubPlaceFile(place, false) + ", " + StubPlaceFile(place, true), what});
    }
    page.blocks.push_back(
        {Kind::kParagraph, "", "sfxpack --version names the stubs found and the version each carries."});
    return page;
}

ReferencePage ExitStatusReference()
{
    ReferencePage page{"Exit status", "EXIT STATUS", {}};
    for (const ExitCodeMeaning& code : kExitCodes)
        page.blocks.push_back({Kind::kTerm, std::to_string(code.code), code.meaning});
    return page;
}

// The switches the stub reads from its command line, and the exit codes of
// a silent run; they are the stub's, written here for the package's author.
ReferencePage PackageSwitchesReference()
{
    ReferencePage page{"A package's switches", "PACKAGE SWITCHES", {}};
    page.blocks.push_back({Kind::kParagraph, "",
                           "A package started with switches runs unattended, for scripts and deployment tools. "
                           "Switches start with / or -, in any case; a value with blanks is quoted "
                           "(/D=\"C:\\Program Files\\App\"). Without switches a package runs its wizard "
                           "as always. allow_switches = false makes a package refuse them all."});
    page.blocks.push_back({Kind::kTerm, "/S",
                           "silent: no window and no message at all; the folder template (or /D) is used, the "
                           "files extracted, the commands run, everything cleaned up"});
    page.blocks.push_back({Kind::kTerm, "/D=FOLDER",
                           "the folder in which the unique extraction folder is made, instead of the template"});
    page.blocks.push_back({Kind::kTerm, "/X",
                           "extract only: no command runs and the files stay; with /D=FOLDER they go into FOLDER "
                           "itself, which must not exist yet or be empty"});
    page.blocks.push_back({Kind::kTerm, "/P=PASSWORD",
                           "the password of an encrypted package; other programs of the same user can read a "
                           "command line"});
    page.blocks.push_back({Kind::kTerm, "/LOG=FILE",
                           "append a line per step to FILE: the start, the folder, each command and its exit "
                           "code, every message that would have been shown, the end"});
    page.blocks.push_back({Kind::kTerm, "/? or /HELP", "a message box listing the switches"});
    page.blocks.push_back({Kind::kParagraph, "",
                           "Exit codes: 0 for success; under /S a command's nonzero exit code as it is; the "
                           "package's own failures 24320 (0x5F00) plus the number of their message, e.g. "
                           "24355 (0x5F23) a damaged package, 24361 (0x5F29) a wrong or missing password, "
                           "24365 (0x5F2D) a switch not known, 24367 (0x5F2F) switches refused."});
    page.blocks.push_back({Kind::kHeading, "", "Examples"});
    page.blocks.push_back({Kind::kExample, "",
                           "setup.exe /S /LOG=C:\\Temp\\setup.log\nsetup.exe /X /D=C:\\unpacked"});
    return page;
}

std::string RenderText(const ReferencePage& page)
{
    std::string text = page.title + ":\n";
    std::size_t indent = kIndent;
    const ReferenceBlock* previous = nullptr;
    for (const ReferenceBlock& block : page.blocks) {
        switch (block.kind) {
        case Kind::kHeading:
            text += "\n" + std::string(kIndent, ' ') + block.text + ":\n";
            indent = 2 * kIndent;
            break;
        case Kind::kParagraph:
            // Set off from what it follows, unless it opens the page or its part.
            if (previous != nullptr && previous->kind != Kind::kHeading)
                text += "\n";
            text += Fill(block.text, indent);
            break;
        case Kind::kTerm: {
            std::size_t explanation = indent + kExplanationIndent;
            std::string term = std::string(indent, ' ') + block.term;
            if (term.size() < explanation)
                text += term + std::string(explanation - term.size(), ' ') + Fill(block.text, explanation, explanation);
            else
                text += term + "\n" + Fill(block.text, explanation);
            break;
        }
        case Kind::kExample:
            text += Verbatim(block.text, indent + kIndent);
            break;
        }
        previous = &block;
    }
    return text;
}

std::string RenderManSections(const std::vector<ReferencePage>& pages)
{
    std::string roff;
    for (const ReferencePage& page : pages) {
        roff += "[" + page.manSection + "]\n";
        for (const ReferenceBlock& block : page.blocks) {
            switch (block.kind) {
            case Kind::kHeading:
                roff += ".SS \"" + block.text + "\"\n";
                break;
            case Kind::kParagraph:
                roff += ".PP\n" + RoffFilled(block.text);
                break;
            case Kind::kTerm:
                roff += ".TP\n\\fB" + RoffEscape(block.term) + "\\fR\n" + RoffFilled(block.text);
                break;
            case Kind::kExample:
                roff += ".PP\n.RS\n.nf\n" + RoffLines(block.text) + ".fi\n.RE\n";
                break;
            }
        }
        roff += "\n";
    }
    return roff;
}

}  // namespace packer
