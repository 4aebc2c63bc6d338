// Resolving the target folder: templates, aliases from the system and from
// the registry alias table (written into the test's own Wine prefix), and
// the unique extraction sub-folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "extract/win32/cleanup_journal.h"
#include "extract/win32/target_folder.h"
#include "startup/win32/config_trailer.h"
#include "startup/trailer.h"
#include "support/temp_path.h"
#include "stub_reset.h"

namespace {

const char kAliasKey[] = "SOFTWARE\\Brenlow GmbH\\Shared\\Paths\\Alias";

std::string TempPathWithoutSlash()
{
    char path[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, path);
    if (n > 3 && path[n - 1] == '\\')
        path[n - 1] = 0;
    return path;
}

std::string WindowsPath()
{
    char path[MAX_PATH];
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

void SetValue(HKEY hive, REGSAM view, const char* name, DWORD type, const std::string& data)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(hive, kAliasKey, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void DeleteValue(HKEY hive, REGSAM view, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(hive, kAliasKey, 0, KEY_WRITE | view, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

class TargetFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetStubState(); }
    void TearDown() override
    {
        for (const char* name : {"sfxtestalias", "sfxtestroot"}) {
            for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
                DeleteValue(HKEY_CURRENT_USER, view, name);
                DeleteValue(HKEY_LOCAL_MACHINE, view, name);
            }
        }
        RunCleanup();
        ResetStubState();
    }
    std::string Resolve(const char* folderTemplate)
    {
        SfxSettings.folderTemplate.text = folderTemplate;
        ResolveFolderTemplate();
        return TargetFolder;
    }
};

}  // namespace

TEST_F(TargetFolderTest, Templates)
{
    const std::string temp = TempPathWithoutSlash();
    const struct {
        const char* folderTemplate;
        std::string expected;
    } cases[] = {
        {nullptr, temp},
        {"//!WINDOWS/Setup", WindowsPath() + "\\Setup"},
        {"\\\\!NoSuchSfxAlias\\sub\\dir", temp + "\\sub\\dir"},
        {"\\\\!temp\\", temp + "\\"},
        {"\\\\!Temp", temp},
        {"D:\\Unpack", "D:\\Unpack"},
        {"relative/path", "relative/path"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Resolve(c.folderTemplate), c.expected) << (c.folderTemplate ? c.folderTemplate : "<none>");
}

TEST_F(TargetFolderTest, WhatDoesNotFitFallsBackToTemp)
{
    const std::string temp = TempPathWithoutSlash();
    std::string longAlias = "\\\\!" + std::string(300, 'a');
    EXPECT_EQ(Resolve(longAlias.c_str()), temp);
    std::string longLiteral = "C:\\" + std::string(300, 'b');
    EXPECT_EQ(Resolve(longLiteral.c_str()), temp);
    std::string longRest = "\\\\!temp\\" + std::string(300, 'c');
    EXPECT_EQ(Resolve(longRest.c_str()), temp);
}

TEST_F(TargetFolderTest, ExtractAliasIsTheCurrentTargetFolder)
{
    lstrcpyA(TargetFolder, "C:\\work\\_X040000");
    char destination[MAX_PATH];
    ASSERT_EQ(ResolvePathAlias(destination, "EXTRACT", -1), 0);
    EXPECT_STREQ(destination, "C:\\work\\_X040000");
    EXPECT_EQ(ResolvePathAlias(destination, "extractX", 7), 0);
}

TEST_F(TargetFolderTest, AliasTableHivesAndTypes)
{
    char destination[MAX_PATH];
    // Only in the local machine hive.
    SetValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "sfxtestalias", REG_SZ, "C:\\FromMachine\\");
    ASSERT_EQ(ResolvePathAlias(destination, "SfxTestAlias", -1), 0);
    EXPECT_STREQ(destination, "C:\\FromMachine");
    // The current user wins over the machine.
    SetValue(HKEY_CURRENT_USER, KEY_WOW64_64KEY, "sfxtestalias", REG_SZ, "C:\\FromUser");
    ASSERT_EQ(ResolvePathAlias(destination, "sfxtestalias", -1), 0);
    EXPECT_STREQ(destination, "C:\\FromUser");
    // An expandable string is not used: the next hive answers.
    SetValue(HKEY_CURRENT_USER, KEY_WOW64_64KEY, "sfxtestalias", REG_EXPAND_SZ, "%TEMP%");
    ASSERT_EQ(ResolvePathAlias(destination, "sfxtestalias", -1), 0);
    EXPECT_STREQ(destination, "C:\\FromMachine");
    // An empty string is no path either.
    SetValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "sfxtestalias", REG_SZ, "");
    EXPECT_EQ(ResolvePathAlias(destination, "sfxtestalias", -1), -1);
}

TEST_F(TargetFolderTest, ValueOnlyInThe32BitViewIsNotFound)
{
    char destination[MAX_PATH];
    // The key exists in the 64-bit view, so only that view is asked.
    SetValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "sfxtestroot", REG_SZ, "C:\\");
    SetValue(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "sfxtestalias", REG_SZ, "C:\\Only32");
    EXPECT_EQ(ResolvePathAlias(destination, "sfxtestalias", -1), -1);
}

TEST_F(TargetFolderTest, DriveRootKeepsItsBackslash)
{
    SetValue(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "sfxtestroot", REG_SZ, "C:\\");
    EXPECT_EQ(Resolve("\\\\!sfxtestroot"), "C:\\");
    ASSERT_EQ(MakeUniqueSubfolderWithSeed(0x400000), 0);
    std::string unique = TargetFolder;
    EXPECT_EQ(unique.substr(0, 4), "C:\\_");
}

TEST_F(TargetFolderTest, UniqueNameMovesOnWhenTaken)
{
    TempDir dir;
    const std::string base = dir.path();
    lstrcpyA(TargetFolder, base.c_str());
    ASSERT_EQ(MakeUniqueSubfolderWithSeed(0x400000), 0);
    EXPECT_EQ(std::string(TargetFolder), base + "\\_X040000");

    CreateDirectoryA((base + "\\_X040000").c_str(), nullptr);
    dir.write("_X04000H", {'f'});
    lstrcpyA(TargetFolder, (base + "\\").c_str());
    ASSERT_EQ(MakeUniqueSubfolderWithSeed(0x400000), 0);
    EXPECT_EQ(std::string(TargetFolder), base + "\\_X040012");
}

TEST_F(TargetFolderTest, UniqueFolderIsMadeAtOnceWithMissingParentsAndJournaled)
{
    TempDir dir;
    const std::string chosen = dir.path() + "\\not\\yet";
    lstrcpyA(TargetFolder, chosen.c_str());
    ASSERT_EQ(MakeUniqueSubfolderWithSeed(0x400000), 0);
    EXPECT_EQ(std::string(TargetFolder), chosen + "\\_X040000");
    EXPECT_EQ(GetFileAttributesA(TargetFolder), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(ExtractionFolderMade);
    RunCleanup();
    EXPECT_EQ(GetFileAttributesA((dir.path() + "\\not").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the chosen folder and its missing parents were made by this run and go with it";
}

TEST_F(TargetFolderTest, ForeignFolderUnderTheNameIsNeverAdopted)
{
    TempDir dir;
    // Planted before the run with contents of its own: taken means taken.
    CreateDirectoryA((dir.path() + "\\_X040000").c_str(), nullptr);
    std::string planted = dir.write("_X040000\\setup.exe", {'M', 'Z'});
    lstrcpyA(TargetFolder, dir.path().c_str());
    ASSERT_EQ(MakeUniqueSubfolderWithSeed(0x400000), 0);
    EXPECT_EQ(std::string(TargetFolder), dir.path() + "\\_X04000H");
    RunCleanup();
    EXPECT_NE(GetFileAttributesA(planted.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(TargetFolderTest, UniqueNameNeedsRoom)
{
    std::string path = "C:\\" + std::string(250, 'd');   // 253 bytes, 7 left
    lstrcpyA(TargetFolder, path.c_str());
    EXPECT_EQ(MakeUniqueSubfolderWithSeed(0x400000), -1);
}
