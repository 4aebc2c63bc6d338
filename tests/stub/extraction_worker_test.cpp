// The extraction worker on real packages, run in this process: folders and
// files, the journal, file times, progress scaling and the name checks. The
// failure paths end the process through the fatal message and are driven
// end to end instead.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "extract/cleanup_journal.h"
#include "resource_ids.h"
#include "extract/extraction_worker.h"
#include "extract/target_folder.h"
#include "packaging/zip_writer.h"
#include "startup/config_trailer.h"
#include "startup/trailer.h"
#include "support/temp_path.h"
#include "startup/startup_state.h"
#include "wizard/frame_link.h"

using namespace packaging;

namespace {

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::string& path)
{
    Bytes b = readFileBytes(path);
    return std::string(b.begin(), b.end());
}

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

class WorkerTest : public ::testing::Test {
  protected:
    // Writes a package with the archive and points the stub's globals at it.
    void Load(const Bytes& archive)
    {
        std::string path = dir_.write("package.exe", assemblePackage(Bytes(4096, 0x90), archive, TrailerBuilder()));
        ResetSettings(&SfxSettings);
        ModuleFile = SysFileOpenRead(path.c_str());
        const uint8_t* block;
        uint32_t length;
        ASSERT_EQ(ReadTrailer(ModuleFile, 9, &SfxSettings, &block, &length), TRAILER_OK);
        lstrcpyA(TargetFolder, dir_.path().c_str());
        CancelRequested = 0;
    }
    void TearDown() override
    {
        RunCleanup();
        SysFileClose(ModuleFile);
        ModuleFile = SYS_FILE_INVALID;
        TargetFolder[0] = 0;
        ExtractionFolderMade = 0;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // The command the worker posted at its end (it goes to this thread's
    // queue, since there is no frame here).
    WPARAM PostedCommand()
    {
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            return 0;
        return msg.wParam;
    }
    TempDir dir_;
};

}  // namespace

TEST_F(WorkerTest, ExtractsFoldersAndFilesAndCleansThemUp)
{
    ZipEntry timed = ZipEntry::file("docs/readme.txt", B("read me"));
    timed.dosDate = static_cast<uint16_t>(((2024 - 1980) << 9) | (5 << 5) | 17);
    timed.dosTime = static_cast<uint16_t>((13 << 11) | (45 << 5) | (30 / 2));
    Load(ZipWriter()
             .add(ZipEntry::directory("docs/"))
             .add(timed)
             .add(ZipEntry::file("\\top.bin", Bytes(300000, 7), ZipMethod::kStored))
             .add(ZipEntry::file("a/b/c/deep.txt", B("deep")))
             .add(ZipEntry::directory("empty/"))
             .build());
    ExtractionWorker(nullptr);
    EXPECT_EQ(PostedCommand(), IDC_NEXT);
    std::string root = TargetFolder;
    EXPECT_EQ(root.substr(0, dir_.path().size() + 3), dir_.path() + "\\_X");
    EXPECT_EQ(ReadAll(root + "\\docs\\readme.txt"), "read me");
    EXPECT_EQ(ReadAll(root + "\\top.bin"), std::string(300000, 7));
    EXPECT_EQ(ReadAll(root + "\\a\\b\\c\\deep.txt"), "deep");
    EXPECT_FALSE(Exists(root + "\\empty")) << "empty folders of the archive are not created";
    EXPECT_EQ(BytesTotal, 7u + 300000u + 4u);
    EXPECT_EQ(BytesDone, BytesTotal);
    EXPECT_EQ(ProgressDivisor, 8u);

    // The file time is the archive's local time.
    HANDLE file = CreateFileA((root + "\\docs\\readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    FILETIME utc, local;
    SYSTEMTIME when;
    GetFileTime(file, nullptr, nullptr, &utc);
    CloseHandle(file);
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &when);
    EXPECT_EQ(when.wYear, 2024);
    EXPECT_EQ(when.wMonth, 5);
    EXPECT_EQ(when.wDay, 17);
    EXPECT_EQ(when.wHour, 13);
    EXPECT_EQ(when.wMinute, 45);

    RunCleanup();
    EXPECT_FALSE(Exists(root)) << "the whole tree is journaled";
}

TEST_F(WorkerTest, CancelStopsAfterTheEntryAndCleansUp)
{
    Load(ZipWriter().add(ZipEntry::file("one.txt", B("1"))).add(ZipEntry::file("two.txt", B("2"))).build());
    CancelRequested = 1;
    ExtractionWorker(nullptr);
    EXPECT_EQ(PostedCommand(), IDC_CANCEL);
    EXPECT_FALSE(Exists(TargetFolder));
    CancelRequested = 0;
}

TEST_F(WorkerTest, EmptyArchivePostsNext)
{
    Load(ZipWriter().build());
    ExtractionWorker(nullptr);
    EXPECT_EQ(PostedCommand(), IDC_NEXT);
    EXPECT_EQ(BytesTotal, 0u);
    // The folder is made before anything is read, so the commands always
    // find it; it is journaled like everything else.
    EXPECT_TRUE(Exists(TargetFolder));
    RunCleanup();
    EXPECT_FALSE(Exists(TargetFolder));
}

TEST_F(WorkerTest, UmlautsMappedToTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1252u);
    Load(ZipWriter().add(ZipEntry::file("gr\x94\xE1" "e.txt", B("x"))).build());
    ExtractionWorker(nullptr);
    EXPECT_TRUE(Exists(std::string(TargetFolder) + "\\gr\xF6\xDF" "e.txt"));
}

TEST(ProgressScaling, DivisorKeepsRangeAtMost50000)
{
    const struct {
        uint64_t total, divisor;
    } cases[] = {{0, 1},          {50000, 1},       {50001, 2},
                 {100001, 2},     {100002, 4},      {0xFFFFFFFFull, 131072},
                 // Past 4 GiB: a 32-bit sum would wrap and show a bar far too short.
                 {5ull << 30, 131072}, {65535ull * 0xFFFFFFFFull, 8589934592ull}};
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressDivisorFor(c.total), c.divisor) << c.total;
        EXPECT_LE(c.total / c.divisor, 50000u) << c.total;
        EXPECT_GE(c.total / c.divisor, c.total > 50000 ? 25000u : 0u) << c.total;
    }
}

TEST(ParentFolders, DriveRootsUncSharesAndExistingFoldersAreNotCreated)
{
    // Nothing to create above these: no journaling, no failure.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    for (std::string path : {std::string("C:\\file.txt"), std::string("\\\\server\\share\\file.txt"),
                             std::string(windows) + "\\file.txt", std::string("file.txt")})
        EXPECT_EQ(CreateParentDirectories(path.c_str()), 0) << path;
}

TEST(ParentFolders, FileInTheWayIsMessage21)
{
    TempDir dir;
    dir.write("blocker", {'x'});
    LastErrorId = 0;
    EXPECT_EQ(CreateParentDirectories((dir.path() + "\\blocker\\sub\\file.txt").c_str()), -1);
    EXPECT_EQ(LastErrorId, 21u);
}
