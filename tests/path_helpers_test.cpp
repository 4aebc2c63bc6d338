// Path helpers and the mapping of OEM umlauts in archive names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extract/path_helpers.h"
#include "platform/sys_file.h"

TEST(PathHelpers, FileNamePart)
{
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"docs/sub\\file.txt", "file.txt"}, {"C:file", "file"}, {"docs/", ""}, {"plain", "plain"},
        {"", ""}, {"C:\\", ""}, {"a\\b/c:d", "d"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(PathFileNamePart(c.path), c.expected) << c.path;
    EXPECT_TRUE(IsPathSeparator('\\'));
    EXPECT_TRUE(IsPathSeparator('/'));
    EXPECT_FALSE(IsPathSeparator(':'));
}

TEST(PathHelpers, JoinPutsOneBackslashBetween)
{
    const struct {
        const char* folder;
        const char* name;
        const char* expected;
    } cases[] = {
        {"C:\\Temp", "docs/readme.txt", "C:\\Temp\\docs/readme.txt"},
        {"C:\\Temp\\", "\\a.txt", "C:\\Temp\\a.txt"},
        {"C:\\Temp/", "/a.txt", "C:\\Temp/a.txt"},
        {"", "a.txt", "a.txt"},
        {"C:\\", "x", "C:\\x"},
    };
    for (const auto& c : cases) {
        char buffer[260];
        strcpy(buffer, c.folder);
        char* placed = PathJoin(buffer, sizeof buffer, c.name);
        ASSERT_NE(placed, nullptr);
        EXPECT_STREQ(buffer, c.expected);
        EXPECT_STREQ(placed, c.name[0] == '\\' || c.name[0] == '/' ? c.name + 1 : c.name);
    }
}

TEST(PathHelpers, JoinRefusesWhatDoesNotFitAndLeavesFolder)
{
    char buffer[12] = "C:\\Temp";            // 7 bytes used
    EXPECT_EQ(PathJoin(buffer, sizeof buffer, "abcd"), nullptr);   // 7 + 1 + 4 + 1 = 13
    EXPECT_STREQ(buffer, "C:\\Temp");
    EXPECT_NE(PathJoin(buffer, sizeof buffer, "abc"), nullptr);    // exactly 12
    EXPECT_STREQ(buffer, "C:\\Temp\\abc");
}

namespace {

std::string Map(const uint8_t* table, const std::string& name, int* result)
{
    NamePairTable = table;
    std::string copy = name;
    *result = MapNameToAnsi(copy.data());
    return copy;
}

}  // namespace

TEST(NameMapping, ByCodePage)
{
    const std::string umlauts = "\x84\x94\x81\x8E\x99\x9A\xE1.txt";
    const struct {
        uint32_t codePage;
        int result;
        std::string expected;
    } cases[] = {
        {1252, 0, "\xE4\xF6\xFC\xC4\xD6\xDC\xDF.txt"},
        {1254, 0, "\xE4\xF6\xFC\xC4\xD6\xDC\xDF.txt"},
        {437, 0, umlauts},
        {850, 0, umlauts},
        {1251, -1, umlauts},
        {932, -1, umlauts},
    };
    for (const auto& c : cases) {
        int result = 1;
        EXPECT_EQ(Map(NamePairsForCodePage(c.codePage), umlauts, &result), c.expected) << c.codePage;
        EXPECT_EQ(result, c.result) << c.codePage;
    }
}

TEST(NameMapping, OnlyTheSevenLettersHavePairs)
{
    int result = 0;
    // 0xE9 has no pair; the bytes before it are already rewritten.
    EXPECT_EQ(Map(NamePairsForCodePage(1252), "a\x84\xE9\x94", &result), "a\xE4\xE9\x94");
    EXPECT_EQ(result, -1);
}

TEST(NameMapping, SevenBitNamesNeverChooseATable)
{
    NamePairTable = nullptr;
    std::string name = "docs/readme.txt";
    EXPECT_EQ(MapNameToAnsi(name.data()), 0);
    EXPECT_EQ(NamePairTable, nullptr);
    EXPECT_EQ(name, "docs/readme.txt");
    // The first name that needs it chooses the table of the active code page.
    std::string umlaut = "\x84";
    MapNameToAnsi(umlaut.data());
    EXPECT_EQ(NamePairTable, NamePairsForCodePage(SysAnsiCodePage()));
    NamePairTable = nullptr;
}

TEST(EntryNames, UnsafeNamesAreRecognised)
{
    const struct {
        const char* name;
        int fault;
    } cases[] = {
        {"../evil.txt", NAME_PARENT_COMPONENT}, {"a/../../b", NAME_PARENT_COMPONENT}, {"..\\x", NAME_PARENT_COMPONENT},
        {"a\\..", NAME_PARENT_COMPONENT},     {"C:evil", NAME_COLON},              {"C:\\evil", NAME_COLON},
        {"file.txt:stream", NAME_COLON},      {"a\x01" "b", NAME_CONTROL_BYTE},
        // Devices: any case, any extension, in any component, spaces before the dot.
        {"nul", NAME_DEVICE},                 {"con.txt", NAME_DEVICE},            {"COM1", NAME_DEVICE},
        {"lpt1.log", NAME_DEVICE},            {"docs/Aux/readme.txt", NAME_DEVICE}, {"prn.tar.gz", NAME_DEVICE},
        {"nul .txt", NAME_DEVICE},            {"CONIN$", NAME_DEVICE},             {"com\xB9", NAME_DEVICE},
        {"lpt9/x", NAME_DEVICE},
        // Windows drops a trailing dot or space, so the file would get another name.
        {"readme.", NAME_TRAILING_DOT_OR_SPACE}, {"readme ", NAME_TRAILING_DOT_OR_SPACE},
        {"dir./a.txt", NAME_TRAILING_DOT_OR_SPACE}, {"a/ /b", NAME_TRAILING_DOT_OR_SPACE},
        {"a../b", NAME_TRAILING_DOT_OR_SPACE},  {"a/.../b", NAME_TRAILING_DOT_OR_SPACE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckEntryName(c.name), c.fault) << c.name;
        EXPECT_TRUE(IsUnsafeEntryName(c.name)) << c.name;
    }
    for (const char* name : {"a.txt", "docs/readme.txt", "..a/b", "./a", "\\top.txt",
                             "gr\x94\xE1" "e", "docs/", "console.txt", "com10", "lpt", "nul_", "auxiliary/x",
                             "com0", ".hidden", "a b.txt"})
        EXPECT_FALSE(IsUnsafeEntryName(name)) << name;
}
