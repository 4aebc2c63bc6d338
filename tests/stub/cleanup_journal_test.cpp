// The cleanup journal and the delete list, on real files under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "extract/win32/cleanup_journal.h"
#include "extract/win32/target_folder.h"
#include "startup/win32/config_trailer.h"
#include "startup/trailer.h"
#include "support/package_assembly.h"
#include "support/temp_path.h"
#include "support/wine_host.h"
#include "stub_reset.h"

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Creates a folder tree the way extraction does: each folder journaled
// before anything inside it.
class JournalFixture : public ::testing::Test {
  protected:
    void SetUp() override { ResetStubState(); }
    void TearDown() override
    {
        RunCleanup();
        ResetStubState();
    }
    // The folder a run extracts into, made and journaled as the worker does.
    std::string MakeExtractionFolder(const std::string& name)
    {
        std::string root = MakeFolder(dir_.path() + "\\" + name);
        lstrcpyA(TargetFolder, root.c_str());
        ExtractionFolderMade = 1;
        return root;
    }
    std::string MakeFolder(const std::string& path, bool journal = true)
    {
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
        if (journal) {
            EXPECT_EQ(JournalAdd(JOURNAL_FOLDER, path.c_str(), -1), 0);
        }
        return path;
    }
    std::string MakeFile(const std::string& path, const std::string& content = "x", bool journal = true)
    {
        packaging::writeFileBytes(path, packaging::Bytes(content.begin(), content.end()));
        if (journal) {
            EXPECT_EQ(JournalAdd(JOURNAL_FILE, path.c_str(), -1), 0);
        }
        return path;
    }
    TempDir dir_;
};

}  // namespace

TEST_F(JournalFixture, CleanupLeavesNoTraceOfTheTree)
{
    std::string root = MakeExtractionFolder("_Xabc");
    std::string sub = MakeFolder(root + "\\sub");
    MakeFile(root + "\\a.txt");
    MakeFile(sub + "\\b.txt");
    RunCleanup();
    EXPECT_FALSE(Exists(root));
    // A second cleanup finds the journal empty.
    RunCleanup();
}

TEST_F(JournalFixture, FolderWithForeignFileStaysWithItsParents)
{
    std::string root = MakeExtractionFolder("_Xdef");
    std::string sub = MakeFolder(root + "\\sub");
    std::string ours = MakeFile(sub + "\\ours.txt");
    std::string foreign = MakeFile(sub + "\\foreign.txt", "y", false);
    RunCleanup();
    EXPECT_FALSE(Exists(ours));
    EXPECT_TRUE(Exists(foreign));
    EXPECT_TRUE(Exists(sub));
    EXPECT_TRUE(Exists(root));
}

TEST_F(JournalFixture, ThousandsOfLongPathsSpanManyPages)
{
    std::string root = MakeExtractionFolder("_Xlong");
    std::string padding(120, 'p');
    for (int i = 0; i < 3000; i++)
        MakeFile(root + "\\" + padding + std::to_string(i));
    RunCleanup();
    EXPECT_FALSE(Exists(root));
}

TEST_F(JournalFixture, PathWithoutRoomIsRefused)
{
    EXPECT_EQ(JournalAdd(JOURNAL_FILE, std::string(5000, 'a').c_str(), -1), -1);
}

struct DeleteListCase {
    const char* name;
    std::string list;
    std::vector<std::string> deleted;   // of a.txt, sub\b.txt, c.txt
};

class DeleteList : public JournalFixture, public ::testing::WithParamInterface<DeleteListCase> {};

// Lines may name "{outside}", a file beside the extraction folder, by its
// full path; it must survive every list.
TEST_P(DeleteList, DeletesTheListedFilesAndNothingOutside)
{
    std::string root = MakeExtractionFolder("target");
    CreateDirectoryA((root + "\\sub").c_str(), nullptr);
    for (const char* name : {"a.txt", "sub\\b.txt", "c.txt"})
        MakeFile(root + "\\" + name, "x", false);
    std::string outside = MakeFile(dir_.path() + "\\outside.txt", "keep", false);
    std::string list = GetParam().list;
    for (size_t at; (at = list.find("{outside}")) != std::string::npos;)
        list.replace(at, 9, outside);
    MakeFile(root + "\\list.txt", list, false);
    ProcessDeleteList("list.txt");
    for (const char* name : {"a.txt", "sub\\b.txt", "c.txt"}) {
        bool expectDeleted = std::find(GetParam().deleted.begin(), GetParam().deleted.end(), name) !=
                             GetParam().deleted.end();
        EXPECT_EQ(Exists(root + "\\" + name), !expectDeleted) << name;
    }
    EXPECT_TRUE(Exists(outside));
    RemoveDirectoryA((root + "\\sub").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DeleteList,
    ::testing::Values(
        DeleteListCase{"BlanksAndCrLfAroundName", "  sub\\b.txt  \r\n", {"sub\\b.txt"}},
        DeleteListCase{"LastLineWithoutLfIgnored", "a.txt\nc.txt", {"a.txt"}},
        DeleteListCase{"LeadingBackslashSameAsWithout", "\\a.txt\n/c.txt\n", {"a.txt", "c.txt"}},
        DeleteListCase{"EmptyList", "", {}},
        DeleteListCase{"OnlyBlankLines", "\n\r\n   \n\n", {}},
        DeleteListCase{"ForwardSlashInside", "sub/b.txt\n", {"sub\\b.txt"}},
        DeleteListCase{"LineOfMoreThanOneKilobyte", "a.txt\n" + std::string(1500, 'z') + "\nc.txt\n",
                       {"a.txt", "c.txt"}},
        DeleteListCase{"OverLongLineSkippedWithoutStalling",
                       "a.txt\n" + std::string(5000, 'z') + "\nc.txt\n", {"a.txt", "c.txt"}},
        DeleteListCase{"ManyLinesAcrossWindows",
                       std::string(3000, '\n') + "a.txt\n" + std::string(4000, ' ') + "\nc.txt\n",
                       {"a.txt", "c.txt"}},
        // Lines that could reach outside the extraction folder are skipped.
        DeleteListCase{"ParentComponentsSkipped", "..\\outside.txt\nsub\\..\\..\\outside.txt\na.txt\n",
                       {"a.txt"}},
        DeleteListCase{"DriveSkipped", "{outside}\nc.txt\n", {"c.txt"}},
        DeleteListCase{"UncAndDeviceStartsSkipped", "\\\\?\\{outside}\n//./{outside}\nnul\nsub/b.txt\n",
                       {"sub\\b.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JournalFixture, DeleteListSkippedUntilTheExtractionFolderIsMade)
{
    // Cancelled before the extraction: TargetFolder is still the folder the
    // user chose, and a list of that name there is not this package's.
    MakeFile(dir_.path() + "\\victim.txt", "keep", false);
    MakeFile(dir_.path() + "\\list.txt", "victim.txt\n", false);
    lstrcpyA(TargetFolder, dir_.path().c_str());
    SfxSettings.deleteListFile.text = "list.txt";
    RunCleanup();
    EXPECT_TRUE(Exists(dir_.path() + "\\victim.txt"));
}

TEST_F(JournalFixture, NothingIsDeletedThroughALink)
{
    ASSERT_TRUE(winehost::Available());
    // A folder inside the extraction folder replaced by a link after the
    // extraction (a command could do so) must not lead the cleanup outside.
    std::string elsewhere = dir_.path() + "\\elsewhere";
    CreateDirectoryA(elsewhere.c_str(), nullptr);
    std::string victim = MakeFile(elsewhere + "\\victim.txt", "keep", false);
    std::string listed = MakeFile(elsewhere + "\\listed.txt", "keep", false);
    std::string root = MakeExtractionFolder("_Xlink");
    ASSERT_TRUE(winehost::MakeLink(root + "\\bin", elsewhere));
    ASSERT_TRUE(GetFileAttributesA((root + "\\bin").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    JournalAdd(JOURNAL_FILE, (root + "\\bin\\victim.txt").c_str(), -1);
    MakeFile(root + "\\list.txt", "bin\\listed.txt\n");
    SfxSettings.deleteListFile.text = "list.txt";
    RunCleanup();
    EXPECT_TRUE(Exists(victim));
    EXPECT_TRUE(Exists(listed));
    DeleteFileA((root + "\\bin").c_str());
    RemoveDirectoryA((root + "\\bin").c_str());
}

TEST_F(JournalFixture, DeleteListSkippedBeforeTargetFolderIsSet)
{
    // Relative to the current folder the list could name foreign files.
    std::string previous = fs::current_path().string();
    SetCurrentDirectoryA(dir_.path().c_str());
    MakeFile(dir_.path() + "\\victim.txt", "keep", false);
    MakeFile(dir_.path() + "\\list.txt", "victim.txt\n", false);
    SfxSettings.deleteListFile.text = "list.txt";
    RunCleanup();
    EXPECT_TRUE(Exists(dir_.path() + "\\victim.txt"));
    SetCurrentDirectoryA(previous.c_str());
}

TEST_F(JournalFixture, CleanupReadsDeleteListBeforeTheJournal)
{
    std::string root = MakeExtractionFolder("_Xdl");
    MakeFile(root + "\\list.txt", "installed.log\n");
    // Written by a started program, not by extraction: not journaled.
    MakeFile(root + "\\installed.log", "log", false);
    SfxSettings.deleteListFile.text = "list.txt";
    RunCleanup();
    EXPECT_FALSE(Exists(root));
}
