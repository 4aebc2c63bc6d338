// The switch parser on command lines as Windows hands them to a program:
// the program's own name in quotes or not, switches in either case and with
// either sign, values quoted in part or whole, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "startup/command_switches.h"

namespace {

struct SwitchCase {
    const char* line;
    uint32_t given;
    const char* folder;
    const char* logFile;
    const char* password;
};

const SwitchCase Cases[] = {
    // The program's name alone, however it is written, holds no switch.
    {"setup.exe", 0, "", "", ""},
    {"\"C:\\Program Files\\setup.exe\"", 0, "", "", ""},
    {"\"C:\\Program Files\\setup.exe\"   ", 0, "", "", ""},
    {"", 0, "", "", ""},
    // A name with a switch-like part is still the name.
    {"\"C:\\dir /S\\setup.exe\"", 0, "", "", ""},
    {"C:\\dir\\setup-S.exe", 0, "", "", ""},
    // The name runs up to its closing quote even without a blank after it.
    {"\"setup.exe\"/S", SWITCH_SILENT, "", "", ""},
    // Each switch, either sign, any case, tabs as blanks.
    {"setup.exe /S", SWITCH_SILENT, "", "", ""},
    {"setup.exe -s", SWITCH_SILENT, "", "", ""},
    {"setup.exe\t/x", SWITCH_EXTRACT_ONLY, "", "", ""},
    {"setup.exe /?", SWITCH_HELP, "", "", ""},
    {"setup.exe -Help", SWITCH_HELP, "", "", ""},
    {"setup.exe /D=C:\\unpacked", SWITCH_FOLDER, "C:\\unpacked", "", ""},
    {"setup.exe /d=C:\\unpacked", SWITCH_FOLDER, "C:\\unpacked", "", ""},
    {"setup.exe /P=Secret", SWITCH_PASSWORD, "", "", "Secret"},
    {"setup.exe /log=C:\\Temp\\setup.log", SWITCH_LOG, "", "C:\\Temp\\setup.log", ""},
    // Values keep their case and any '=' after the first.
    {"setup.exe /P=a=B=c", SWITCH_PASSWORD, "", "", "a=B=c"},
    // Quoted values, in part or whole, keep their blanks and lose the quotes.
    {"setup.exe /D=\"C:\\Program Files\\App\"", SWITCH_FOLDER, "C:\\Program Files\\App", "", ""},
    {"setup.exe \"/D=C:\\Program Files\\App\" /S", SWITCH_SILENT | SWITCH_FOLDER, "C:\\Program Files\\App", "", ""},
    {"setup.exe /P=\"two words\"", SWITCH_PASSWORD, "", "", "two words"},
    // Together, in any order; the last of a repeated value counts.
    {"\"C:\\a b\\setup.exe\" /S /LOG=C:\\Temp\\setup.log /D=C:\\x /P=pw /X",
     SWITCH_SILENT | SWITCH_LOG | SWITCH_FOLDER | SWITCH_PASSWORD | SWITCH_EXTRACT_ONLY, "C:\\x",
     "C:\\Temp\\setup.log", "pw"},
    {"setup.exe /D=C:\\one /D=C:\\two", SWITCH_FOLDER, "C:\\two", "", ""},
    // Not ours: another word, another switch, a name that only starts like
    // one of ours, a value where none belongs, a value missing or empty.
    {"setup.exe file.txt", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /Q", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /SILENT", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /S=1", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /D", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /D=", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /D=\"\"", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /P", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /LOGFILE=x", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe /", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe -", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe \"\"", SWITCH_UNKNOWN, "", "", ""},
    {"setup.exe //S", SWITCH_UNKNOWN, "", "", ""},
    // One unknown word among known ones is still noticed.
    {"setup.exe /S bogus", SWITCH_SILENT | SWITCH_UNKNOWN, "", "", ""},
};

TEST(CommandSwitches, ReadsEachLineOfTheTable)
{
    for (const SwitchCase& c : Cases) {
        SCOPED_TRACE(c.line);
        CommandSwitches switches;
        EXPECT_EQ(ParseCommandSwitches(c.line, &switches), c.given);
        EXPECT_EQ(switches.given, c.given);
        EXPECT_STREQ(switches.folder, c.folder);
        EXPECT_STREQ(switches.logFile, c.logFile);
        EXPECT_STREQ(switches.password, c.password);
    }
}

TEST(CommandSwitches, RefusesValuesThatDoNotFitInsteadOfCuttingThem)
{
    const std::string fitting(SWITCH_PATH_SIZE - 1, 'a');
    const std::string tooLong(SWITCH_PATH_SIZE, 'a');
    struct {
        std::string line;
        uint32_t given;
        std::string folder;
    } cases[] = {
        {"setup.exe /D=" + fitting, SWITCH_FOLDER, fitting},
        {"setup.exe /D=" + tooLong, SWITCH_UNKNOWN, ""},
        {"setup.exe /LOG=" + fitting, SWITCH_LOG, ""},
        {"setup.exe /LOG=" + tooLong, SWITCH_UNKNOWN, ""},
        {"setup.exe /P=" + std::string(SWITCH_PASSWORD_SIZE - 1, 'p'), SWITCH_PASSWORD, ""},
        {"setup.exe /P=" + std::string(SWITCH_PASSWORD_SIZE, 'p'), SWITCH_UNKNOWN, ""},
        // A word far beyond any buffer, and a switch behind it still read.
        {"setup.exe /D=" + std::string(5000, 'x') + " /S", SWITCH_UNKNOWN | SWITCH_SILENT, ""},
        // An open quote runs to the end of the line.
        {"setup.exe \"/D=C:\\a /S", SWITCH_FOLDER, "C:\\a /S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 40));
        CommandSwitches switches;
        EXPECT_EQ(ParseCommandSwitches(c.line.c_str(), &switches), c.given);
        EXPECT_EQ(switches.folder, c.folder);
    }
}

TEST(CommandSwitches, NoLineMeansNoSwitches)
{
    CommandSwitches switches;
    switches.given = 0xFFFFFFFFu;
    EXPECT_EQ(ParseCommandSwitches(nullptr, &switches), 0u);
    EXPECT_EQ(switches.given, 0u);
}

}  // namespace
