// The extraction worker, run in this process on real packages. Mostly on
// its own thread, as the progress page runs it: hidden stand-ins for the
// frame, the progress page and its controls record every message the worker
// sends or posts, while this thread serves them the way the GUI thread does.
// A few cases run it on this thread without a frame, as the benchmark does.
// Grouped by behaviour: files and folders, parent folders, names, duplicate
// entries, progress, encryption, cancel. The fatal paths end the process and
// are left to the end-to-end tests.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "crypto/crypto_state.h"
#include "crypto/password_check.h"
#include "extract/win32/cleanup_journal.h"
#include "extract/win32/extraction_worker.h"
#include "extract/win32/target_folder.h"
#include "packaging/entry_encryption.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/startup_state.h"
#include "startup/trailer.h"
#include "support/temp_path.h"
#include "support/test_bytes.h"
#include "wizard/frame_link.h"
#include "stub_reset.h"

using namespace packaging;

namespace {

// Only a guard against a worker that never ends: a healthy one needs well
// under a second for these packages.
const DWORD kPatienceMs = 60000;
// How often the waits look for the worker's fatal message box.
const DWORD kLookAroundMs = 200;

const uint32_t kOutputPiece = 131072;   // the worker's output buffer

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every file and folder below root as relative paths, sorted; empty when
// root does not exist.
void CollectTree(const std::string& root, const std::string& relative, std::vector<std::string>* out)
{
    WIN32_FIND_DATAA found;
    std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = relative.empty() ? name : relative + "\\" + name;
        out->push_back(path);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CollectTree(root, path, out);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::vector<std::string> ListTree(const std::string& root)
{
    std::vector<std::string> paths;
    CollectTree(root, "", &paths);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// A local calendar time as the archive stores it.
struct DosStamp {
    int year, month, day, hour, minute, second;   // second even
    uint16_t date() const { return (uint16_t)(((year - 1980) << 9) | (month << 5) | day); }
    uint16_t time() const { return (uint16_t)((hour << 11) | (minute << 5) | (second / 2)); }
};

ZipEntry Stamped(ZipEntry entry, const DosStamp& stamp)
{
    entry.dosDate = stamp.date();
    entry.dosTime = stamp.time();
    return entry;
}

// The file's last-write time as local calendar time.
void ExpectWriteTime(const std::string& path, const DosStamp& stamp)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    FILETIME utc, local;
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &utc));
    CloseHandle(file);
    SYSTEMTIME when;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &when);
    EXPECT_EQ(std::vector<int>({when.wYear, when.wMonth, when.wDay, when.wHour, when.wMinute, when.wSecond}),
              std::vector<int>({stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second}))
        << path;
}

// One message as a recording window received it.
struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string text;          // the text of WM_SETTEXT, copied while it is valid
    DWORD workerIdOnArrival;   // WorkerThreadId when the message was handled
    bool sent;                 // sent from another thread rather than posted
};

// A message to the progress bar, as the tests expect them.
struct BarMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const BarMessage& o) const
    {
        return message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};

void PrintTo(const BarMessage& m, std::ostream* out)
{
    if (m.message == PBM_SETRANGE)
        *out << "SETRANGE(" << LOWORD(m.lParam) << ".." << HIWORD(m.lParam) << ", wParam " << m.wParam << ")";
    else if (m.message == PBM_SETPOS)
        *out << "SETPOS(" << m.wParam << ", lParam " << m.lParam << ")";
    else
        *out << "message " << m.message << "(" << m.wParam << ", " << m.lParam << ")";
}

BarMessage Range(uint32_t high)
{
    return {PBM_SETRANGE, 0, MAKELPARAM(0, high)};
}

BarMessage Position(uint32_t position)
{
    return {PBM_SETPOS, position, 0};
}

// What the bar must see when entries of these sizes are written in order:
// the range, the start, and a position after every filled output buffer.
std::vector<BarMessage> ExpectedBarMessages(const std::vector<uint32_t>& sizes, uint32_t divisor, uint32_t range)
{
    std::vector<BarMessage> expected = {Range(range), Position(0)};
    uint32_t done = 0;
    for (uint32_t size : sizes) {
        for (uint32_t left = size; left > 0;) {
            uint32_t piece = std::min(left, kOutputPiece);
            left -= piece;
            done += piece;
            expected.push_back(Position(done / divisor));
        }
    }
    return expected;
}

std::string FileNamePart(const std::string& name)
{
    size_t separator = name.find_last_of("/\\");
    return separator == std::string::npos ? name : name.substr(separator + 1);
}

const char kRecorderClass[] = "SfxTestRecorder";

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        RegisterRecorderClass();
        // The frame is top-level and hidden; the page and its controls are
        // its children, so GetDlgItem finds them as in the real dialogs.
        frame_ = CreateWindowExA(0, kRecorderClass, "frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(frame_, nullptr);
        page_ = MakeChild(frame_, IDD_PROGRESS);
        bar_ = MakeChild(page_, IDC_PROGRESS_BAR);
        fileName_ = MakeChild(page_, IDC_PROGRESS_FILE);
        for (HWND window : {frame_, page_, bar_, fileName_})
            SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)this);
        ResetStubState();
    }

    void TearDown() override
    {
        // Nothing the worker uses may go away while it still runs.
        Join();
        onMessage_ = nullptr;
        RunCleanup();
        // A later test of plain packages must not decrypt, nor see this
        // one's folder or settings.
        ResetStubState();
        if (frame_ != nullptr)
            DestroyWindow(frame_);
        Pump();
    }

    // Writes a package with the archive and points the stub's globals at it.
    void Load(const Bytes& archive, const TrailerBuilder& trailer = TrailerBuilder())
    {
        std::string path = dir_.write("package.exe", assemblePackage(Bytes(4096, 0x90), archive, trailer));
        ResetSettings(&SfxSettings);
        ModuleFile = SysFileOpenRead(path.c_str());
        ASSERT_NE(ModuleFile, SYS_FILE_INVALID);
        const uint8_t* block;
        uint32_t length;
        ASSERT_EQ(ReadTrailer(ModuleFile, LANGUAGE_ENGLISH, &SfxSettings, &block, &length), TRAILER_OK);
        lstrcpyA(TargetFolder, dir_.path().c_str());
    }

    // Starts the worker as the progress page does and serves its messages
    // until it has posted its final command and ended.
    void RunWorker()
    {
        FrameWindow = frame_;
        ProgressPageWindow = page_;
        seen_.clear();
        thread_ = CreateThread(nullptr, 0, ExtractionWorker, nullptr, CREATE_SUSPENDED, &threadId_);
        ASSERT_NE(thread_, nullptr);
        WorkerThreadId = threadId_;
        ResumeThread(thread_);

        DWORD start = GetTickCount();
        for (;;) {
            Pump();
            if (!FinalCommands().empty())
                break;
            EndFatalBox();
            if (GetTickCount() - start >= kPatienceMs) {
                ADD_FAILURE() << "no final command from the worker";
                // Ask it to stop; Join still waits for it, since the files
                // it writes are about to be removed.
                CancelRequested = 1;
                break;
            }
            if (MsgWaitForMultipleObjects(1, &thread_, FALSE, kLookAroundMs, QS_ALLINPUT) == WAIT_OBJECT_0) {
                // Ended: whatever it posted is in the queue by now.
                Pump();
                break;
            }
        }
        Join();
        // A second final command would be waiting now.
        Pump();
    }

    // Runs the worker on this thread without a frame, as the benchmark
    // does: it then posts its final command to this thread's queue, which
    // is returned (0 when there is none).
    WPARAM RunWorkerHere()
    {
        ExtractionWorker(nullptr);
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            return 0;
        return msg.wParam;
    }

    // Waits for the worker to end, still serving messages: a worker blocked
    // in a SendMessage to these windows would otherwise never end.
    void Join()
    {
        if (thread_ == nullptr)
            return;
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, kLookAroundMs, QS_ALLINPUT) != WAIT_OBJECT_0) {
            Pump();
            EndFatalBox();
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }

    // A fatal error shows its message box on the worker's thread and ends
    // the process once the box is closed. Close it after saying so: a broken
    // worker then fails the run at once instead of waiting for a click.
    void EndFatalBox()
    {
        HWND box = nullptr;
        EnumThreadWindows(threadId_, FindMessageBox, (LPARAM)&box);
        if (box == nullptr || fatalBoxClosed_)
            return;
        fatalBoxClosed_ = true;
        ADD_FAILURE() << "the worker took its fatal path (LastErrorId " << LastErrorId << ")";
        fflush(stdout);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }

    static BOOL CALLBACK FindMessageBox(HWND window, LPARAM found)
    {
        char name[16];
        if (GetClassNameA(window, name, sizeof name) > 0 && lstrcmpA(name, "#32770") == 0) {
            *(HWND*)found = window;
            return FALSE;
        }
        return TRUE;
    }

    void Pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    std::vector<Seen> FinalCommands() const
    {
        std::vector<Seen> commands;
        for (const Seen& s : seen_)
            if (s.window == frame_ && s.message == WM_COMMAND)
                commands.push_back(s);
        return commands;
    }

    // The one command the worker ended with, posted after it cleared
    // WorkerThreadId: the frame tells a worker's report from a button by it.
    // Posted, not sent: the frame's handler may end the program.
    void ExpectFinalCommand(WPARAM command)
    {
        std::vector<Seen> commands = FinalCommands();
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].wParam, command);
        EXPECT_EQ(commands[0].lParam, 0);
        EXPECT_EQ(commands[0].workerIdOnArrival, 0u);
        EXPECT_FALSE(commands[0].sent);
        for (const Seen& s : seen_) {
            EXPECT_FALSE(s.window == frame_ && s.message != WM_COMMAND) << "frame got message " << s.message;
            EXPECT_NE(s.window, page_) << "page got message " << s.message;
        }
    }

    std::vector<BarMessage> BarMessages() const
    {
        std::vector<BarMessage> messages;
        for (const Seen& s : seen_)
            if (s.window == bar_)
                messages.push_back({s.message, s.wParam, s.lParam});
        return messages;
    }

    std::vector<std::string> ShownNames() const
    {
        std::vector<std::string> names;
        for (const Seen& s : seen_)
            if (s.window == fileName_) {
                EXPECT_EQ(s.message, (UINT)WM_SETTEXT);
                names.push_back(s.text);
            }
        return names;
    }

    std::vector<std::string> PackageFolderAfterCleanup()
    {
        RunCleanup();
        return ListTree(dir_.path());
    }

    // Called on this thread for every recorded message, while a worker that
    // sent it waits.
    std::function<void(const Seen&)> onMessage_;
    TempDir dir_;
    HWND frame_ = nullptr;
    HWND page_ = nullptr;
    HWND bar_ = nullptr;
    HWND fileName_ = nullptr;
    std::vector<Seen> seen_;

  private:
    static void RegisterRecorderClass()
    {
        static ATOM registered = [] {
            WNDCLASSA c = {};
            c.lpfnWndProc = RecordingProc;
            c.hInstance = GetModuleHandleA(nullptr);
            c.lpszClassName = kRecorderClass;
            return RegisterClassA(&c);
        }();
        ASSERT_NE(registered, 0);
    }

    HWND MakeChild(HWND parent, int id)
    {
        HWND child = CreateWindowExA(0, kRecorderClass, "", WS_CHILD, 0, 0, 100, 20, parent,
                                     (HMENU)(INT_PTR)id, GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(child, nullptr);
        return child;
    }

    static LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* test = (WorkerTest*)GetWindowLongPtrA(window, GWLP_USERDATA);
        // Creation and destruction are the test's own doing, not the worker's.
        if (test != nullptr && message != WM_DESTROY && message != WM_NCDESTROY) {
            Seen s = {window, message, wParam, lParam, "", WorkerThreadId, InSendMessage() != FALSE};
            if (message == WM_SETTEXT && lParam != 0)
                s.text = (const char*)lParam;
            test->seen_.push_back(s);
            if (test->onMessage_)
                test->onMessage_(s);
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    bool fatalBoxClosed_ = false;
};

// ---- Files and folders ---------------------------------------------------

TEST_F(WorkerTest, PlainPackageBecomesFilesAndFoldersThatCleanupRemoves)
{
    const DosStamp readmeTime = {2024, 5, 17, 13, 45, 30};
    const DosStamp bigTime = {1999, 12, 31, 23, 59, 58};
    const DosStamp emptyTime = {2010, 7, 1, 6, 0, 2};
    Bytes big = SomeBytes(300000, 1);
    Load(ZipWriter()
             .add(ZipEntry::directory("docs/"))
             .add(Stamped(ZipEntry::file("docs/readme.txt", B("read me")), readmeTime))
             .add(ZipEntry::file("a/b/c/deep.txt", B("deep"), ZipMethod::kStored))
             .add(Stamped(ZipEntry::file("big.bin", big), bigTime))
             .add(ZipEntry::file("/lead.txt", B("lead")))
             .add(Stamped(ZipEntry::file("empty.txt", {}), emptyTime))
             .add(ZipEntry::directory("unused/"))
             .add(ZipEntry::file("a/x.txt", B("beside b")))
             .build());
    RunWorker();
    ExpectFinalCommand(IDC_NEXT);

    std::string root = TargetFolder;
    ASSERT_EQ(root.substr(0, dir_.path().size() + 3), dir_.path() + "\\_X");
    EXPECT_EQ(ListTree(root), std::vector<std::string>({"a", "a\\b", "a\\b\\c", "a\\b\\c\\deep.txt", "a\\x.txt",
                                                        "big.bin", "docs", "docs\\readme.txt", "empty.txt",
                                                        "lead.txt"}))
        << "folder entries create nothing of their own";
    EXPECT_EQ(readFileBytes(root + "\\docs\\readme.txt"), B("read me"));
    EXPECT_EQ(readFileBytes(root + "\\a\\b\\c\\deep.txt"), B("deep"));
    EXPECT_TRUE(readFileBytes(root + "\\big.bin") == big);
    EXPECT_EQ(readFileBytes(root + "\\lead.txt"), B("lead"));
    EXPECT_TRUE(readFileBytes(root + "\\empty.txt").empty());
    EXPECT_EQ(readFileBytes(root + "\\a\\x.txt"), B("beside b"));
    // Set after the last write of a file of several pieces, and on an empty file.
    ExpectWriteTime(root + "\\docs\\readme.txt", readmeTime);
    ExpectWriteTime(root + "\\big.bin", bigTime);
    ExpectWriteTime(root + "\\empty.txt", emptyTime);

    // One name per entry, folders included, without the folder part.
    EXPECT_EQ(ShownNames(), std::vector<std::string>({"", "readme.txt", "deep.txt", "big.bin", "lead.txt",
                                                      "empty.txt", "", "x.txt"}));
    EXPECT_EQ(BarMessages(), ExpectedBarMessages({7, 4, 300000, 4, 0, 0, 8}, 8, 300023 / 8));

    // The journal runs newest first, so the tree is only gone completely
    // when each folder was journaled before what lies in it.
    EXPECT_EQ(PackageFolderAfterCleanup(), std::vector<std::string>({"package.exe"}));
}

TEST_F(WorkerTest, OnTheCallersThreadExtractsFoldersAndFilesAndCleansThemUp)
{
    const DosStamp readmeTime = {2024, 5, 17, 13, 45, 30};
    Load(ZipWriter()
             .add(ZipEntry::directory("docs/"))
             .add(Stamped(ZipEntry::file("docs/readme.txt", B("read me")), readmeTime))
             .add(ZipEntry::file("\\top.bin", Bytes(300000, 7), ZipMethod::kStored))
             .add(ZipEntry::file("a/b/c/deep.txt", B("deep")))
             .add(ZipEntry::directory("empty/"))
             .build());
    EXPECT_EQ(RunWorkerHere(), IDC_NEXT);
    std::string root = TargetFolder;
    EXPECT_EQ(root.substr(0, dir_.path().size() + 3), dir_.path() + "\\_X");
    EXPECT_EQ(readFileBytes(root + "\\docs\\readme.txt"), B("read me"));
    EXPECT_TRUE(readFileBytes(root + "\\top.bin") == Bytes(300000, 7));
    EXPECT_EQ(readFileBytes(root + "\\a\\b\\c\\deep.txt"), B("deep"));
    EXPECT_FALSE(Exists(root + "\\empty")) << "empty folders of the archive are not created";
    EXPECT_EQ(BytesTotal, 7u + 300000u + 4u);
    EXPECT_EQ(BytesDone, BytesTotal);
    EXPECT_EQ(ProgressDivisor, 8u);

    // The file time is the archive's local time.
    ExpectWriteTime(root + "\\docs\\readme.txt", readmeTime);

    RunCleanup();
    EXPECT_FALSE(Exists(root)) << "the whole tree is journaled";
}

TEST_F(WorkerTest, OnTheCallersThreadEmptyArchivePostsNext)
{
    Load(ZipWriter().build());
    EXPECT_EQ(RunWorkerHere(), IDC_NEXT);
    EXPECT_EQ(BytesTotal, 0u);
    // The folder is made before anything is read, so the commands always
    // find it; it is journaled like everything else.
    EXPECT_TRUE(Exists(TargetFolder));
    RunCleanup();
    EXPECT_FALSE(Exists(TargetFolder));
}

// ---- Parent folders ------------------------------------------------------

TEST(ParentFolders, DriveRootsUncSharesAndExistingFoldersAreNotCreated)
{
    // Nothing to create above these: no journaling, no failure.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    for (std::string path : {std::string("C:\\file.txt"), std::string("\\\\server\\share\\file.txt"),
                             std::string(windows) + "\\file.txt", std::string("file.txt")})
        EXPECT_EQ(CreateParentDirectories(path.c_str()), 0) << path;
}

TEST(ParentFolders, FileInTheWayIsTheCreateFolderMessage)
{
    TempDir dir;
    dir.write("blocker", {'x'});
    LastErrorId = 0;
    EXPECT_EQ(CreateParentDirectories((dir.path() + "\\blocker\\sub\\file.txt").c_str()), -1);
    EXPECT_EQ(LastErrorId, (uint32_t)IDS_ERR_CREATE_FOLDER);
}

// ---- Names ---------------------------------------------------------------

TEST_F(WorkerTest, OnTheCallersThreadUmlautsMappedToTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1252u);
    Load(ZipWriter().add(ZipEntry::file("gr\x94\xE1" "e.txt", B("x"))).build());
    RunWorkerHere();
    EXPECT_TRUE(Exists(std::string(TargetFolder) + "\\gr\xF6\xDF" "e.txt"));
}

TEST_F(WorkerTest, OemUmlautsBecomeAnsiInFolderAndFileNames)
{
    // CTest runs these tests under C.UTF-8, code page 1252 in Wine (see
    // CMakeLists.txt).
    ASSERT_EQ(GetACP(), 1252u);
    Load(ZipWriter()
             .add(ZipEntry::file("\x84rger/gr\x94\xE1" "e.txt", B("1")))
             .add(ZipEntry::file("\x8E\x99\x9A\x81.txt", B("2")))
             .build());
    RunWorker();
    ExpectFinalCommand(IDC_NEXT);

    // Looked up by their UTF-16 names, so the check does not go through the
    // same ANSI conversion as the worker's calls.
    wchar_t root[MAX_PATH];
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, TargetFolder, -1, root, MAX_PATH), 0);
    for (const wchar_t* name : {L"\\\u00E4rger", L"\\\u00E4rger\\gr\u00F6\u00DFe.txt", L"\\\u00C4\u00D6\u00DC\u00FC.txt"})
        EXPECT_NE(GetFileAttributesW((std::wstring(root) + name).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ListTree(TargetFolder).size(), 3u);
    // The page shows the name as the archive has it.
    EXPECT_EQ(ShownNames(), std::vector<std::string>({"gr\x94\xE1" "e.txt", "\x8E\x99\x9A\x81.txt"}));
    // The folder is journaled under its mapped name too.
    EXPECT_EQ(PackageFolderAfterCleanup(), std::vector<std::string>({"package.exe"}));
}

TEST_F(WorkerTest, Utf8NamesAreWrittenAndShownInTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 1252u);
    ZipEntry resume = ZipEntry::file("caf\xC3\xA9/R\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt", B("1"));
    resume.utf8Name = true;
    Load(ZipWriter().add(resume).build());
    RunWorker();
    ExpectFinalCommand(IDC_NEXT);
    wchar_t root[MAX_PATH];
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, TargetFolder, -1, root, MAX_PATH), 0);
    EXPECT_NE(GetFileAttributesW((std::wstring(root) + L"\\caf\u00E9\\R\u00E9sum\u00E9 \u20AC.txt").c_str()),
              INVALID_FILE_ATTRIBUTES);
    // Unlike an OEM name, shown as it is written.
    EXPECT_EQ(ShownNames(), std::vector<std::string>({"R\xE9sum\xE9 \x80.txt"}));
    EXPECT_EQ(PackageFolderAfterCleanup(), std::vector<std::string>({"package.exe"}));
}

// ---- Duplicate entries ---------------------------------------------------

struct DuplicateCase {
    const char* label;
    const char* first;
    const char* second;
    const char* onDisk;   // the file's name as the folder lists it
};

void PrintTo(const DuplicateCase& c, std::ostream* out)
{
    *out << c.label;
}

class WorkerDuplicateTest : public WorkerTest, public ::testing::WithParamInterface<DuplicateCase> {};

TEST_P(WorkerDuplicateTest, LaterEntryReplacesTheEarlierFile)
{
    const DuplicateCase& c = GetParam();
    const DosStamp firstTime = {2001, 1, 1, 1, 1, 2};
    const DosStamp secondTime = {2002, 2, 2, 2, 2, 4};
    // The later data are shorter: what is left must be them alone, not
    // written over the start of the earlier ones.
    Load(ZipWriter()
             .add(Stamped(ZipEntry::file(c.first, B("the first, longer content")), firstTime))
             .add(Stamped(ZipEntry::file(c.second, B("second")), secondTime))
             .build());
    RunWorker();
    ExpectFinalCommand(IDC_NEXT);

    std::string root = TargetFolder;
    std::string onDisk = c.onDisk;
    EXPECT_EQ(ListTree(root), std::vector<std::string>({onDisk.substr(0, onDisk.find('\\')), onDisk}));
    EXPECT_EQ(readFileBytes(root + "\\" + c.onDisk), B("second"));
    ExpectWriteTime(root + "\\" + c.onDisk, secondTime);
    // Journaled twice; the second deletion of the same file must not stop the cleanup.
    EXPECT_EQ(PackageFolderAfterCleanup(), std::vector<std::string>({"package.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, WorkerDuplicateTest,
    ::testing::Values(DuplicateCase{"SameName", "sub/same.txt", "sub/same.txt", "sub\\same.txt"},
                      // Windows names ignore case; the first spelling stays.
                      DuplicateCase{"OtherCase", "Sub/Notes.TXT", "sub/notes.txt", "Sub\\Notes.TXT"},
                      DuplicateCase{"OtherSeparator", "sub/x.txt", "sub\\x.txt", "sub\\x.txt"}),
    [](const ::testing::TestParamInfo<DuplicateCase>& info) { return std::string(info.param.label); });

// ---- Progress ------------------------------------------------------------

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

// Entries as the progress cases list them; a size below zero is a folder.
struct SizedEntry {
    const char* name;
    int size;
};

struct ProgressCase {
    const char* label;
    std::vector<SizedEntry> entries;
    uint32_t divisor;
    uint32_t range;
};

void PrintTo(const ProgressCase& c, std::ostream* out)
{
    *out << c.label;
}

class WorkerProgressTest : public WorkerTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(WorkerProgressTest, RangeAndPositionsFollowTheBytesWritten)
{
    const ProgressCase& c = GetParam();
    ZipWriter zip;
    std::vector<uint32_t> sizes;
    std::vector<std::string> names;
    uint32_t total = 0;
    for (size_t i = 0; i < c.entries.size(); i++) {
        const SizedEntry& e = c.entries[i];
        names.push_back(FileNamePart(e.name));
        if (e.size < 0) {
            zip.add(ZipEntry::directory(e.name));
            continue;
        }
        sizes.push_back((uint32_t)e.size);
        total += (uint32_t)e.size;
        zip.add(ZipEntry::file(e.name, SomeBytes((size_t)e.size, (uint32_t)i),
                               i % 2 ? ZipMethod::kDeflated : ZipMethod::kStored));
    }
    Load(zip.build());
    RunWorker();
    ExpectFinalCommand(IDC_NEXT);

    EXPECT_EQ(BarMessages(), ExpectedBarMessages(sizes, c.divisor, c.range));
    EXPECT_EQ(ShownNames(), names);
    EXPECT_EQ(ProgressDivisor, c.divisor);
    EXPECT_EQ(BytesDone, total);
    if (sizes.empty()) {
        EXPECT_TRUE(ListTree(TargetFolder).empty()) << "without a file the folder stays empty";
    }
    for (size_t i = 0; i < c.entries.size(); i++) {
        const SizedEntry& e = c.entries[i];
        if (e.size < 0)
            continue;
        std::string path = std::string(TargetFolder) + "\\" + e.name;
        std::replace(path.begin(), path.end(), '/', '\\');
        EXPECT_TRUE(readFileBytes(path) == SomeBytes((size_t)e.size, (uint32_t)i)) << e.name;
    }
    EXPECT_EQ(PackageFolderAfterCleanup(), std::vector<std::string>({"package.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Totals, WorkerProgressTest,
    ::testing::Values(ProgressCase{"no entries", {}, 1, 0},
                      ProgressCase{"only a folder", {{"only/", -1}}, 1, 0},
                      ProgressCase{"50,000 in one entry", {{"a.bin", 50000}}, 1, 50000},
                      ProgressCase{"50,001 over two entries", {{"a.bin", 50000}, {"b.bin", 1}}, 2, 25000},
                      ProgressCase{"100,001 over three entries and a folder",
                                   {{"d/", -1}, {"d/a.bin", 33334}, {"d/b.bin", 33334}, {"c.bin", 33333}},
                                   2,
                                   50000},
                      ProgressCase{"100,002 with an empty file between",
                                   {{"a.bin", 100000}, {"empty", 0}, {"b.bin", 2}},
                                   4,
                                   25000},
                      ProgressCase{"300,005 in several output pieces", {{"big.bin", 300000}, {"s.bin", 5}}, 8, 37500}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) {
        std::string name;
        for (const char* p = info.param.label; *p; p++)
            if (isalnum((unsigned char)*p))
                name += *p;
            else if (*p == ' ')
                name += '_';
        return name;
    });

// ---- Encryption ----------------------------------------------------------

TEST_F(WorkerTest, EncryptedPackageDecryptsEveryEntryFromItsOwnStart)
{
    const char password[] = "Sch\xFC" "ssel";
    const DosStamp stamp = {2021, 3, 4, 5, 6, 8};
    ArchiveSecrets secrets = drawArchiveSecrets();
    EntryEncryptor encryptor(secrets);
    // Equal plain data in two entries: a chain not restarted per entry
    // would garble the second one.
    Bytes same = SomeBytes(20000, 3);
    Bytes big = SomeBytes(200000, 4);
    Bytes odd = SomeBytes(16385, 5);
    Load(ZipWriter()
             .add(ZipEntry::directory("docs/"))
             .add(Stamped(encryptedZipEntry(encryptor, "docs/first.txt", same), stamp))
             .add(encryptedZipEntry(encryptor, "docs/second.txt", same, ZipMethod::kStored))
             .add(encryptedZipEntry(encryptor, "big.bin", big))
             .add(encryptedZipEntry(encryptor, "odd.bin", odd, ZipMethod::kStored))
             .add(encryptedZipEntry(encryptor, "empty.txt", {}))
             .build(),
         TrailerBuilder().cipherHeader(makeCipherHeader(password, secrets)));
    ASSERT_EQ(VerifyPassword(&SfxSettings, (const uint8_t*)password, (uint32_t)strlen(password)), PASSWORD_ACCEPTED);
    RunWorker();
    ExpectFinalCommand(IDC_NEXT);

    std::string root = TargetFolder;
    EXPECT_TRUE(readFileBytes(root + "\\docs\\first.txt") == same);
    EXPECT_TRUE(readFileBytes(root + "\\docs\\second.txt") == same);
    EXPECT_TRUE(readFileBytes(root + "\\big.bin") == big);
    EXPECT_TRUE(readFileBytes(root + "\\odd.bin") == odd);
    EXPECT_TRUE(readFileBytes(root + "\\empty.txt").empty());
    ExpectWriteTime(root + "\\docs\\first.txt", stamp);
    // Progress counts the plain bytes, not the padded stored ones.
    uint32_t total = 20000 + 20000 + 200000 + 16385;
    EXPECT_EQ(BarMessages(), ExpectedBarMessages({0, 20000, 20000, 200000, 16385, 0}, 8, total / 8));
    EXPECT_EQ(PackageFolderAfterCleanup(), std::vector<std::string>({"package.exe"}));
}

// ---- Cancel --------------------------------------------------------------

TEST_F(WorkerTest, OnTheCallersThreadCancelStopsAfterTheEntryAndCleansUp)
{
    Load(ZipWriter().add(ZipEntry::file("one.txt", B("1"))).add(ZipEntry::file("two.txt", B("2"))).build());
    CancelRequested = 1;
    EXPECT_EQ(RunWorkerHere(), IDC_CANCEL);
    EXPECT_FALSE(Exists(TargetFolder));
}

struct CancelCase {
    const char* label;
    // Cancel is pressed while this entry's data are being written; null:
    // before the worker starts.
    const char* during;
    std::vector<std::string> shown;         // names shown until the worker stopped
    uint32_t bytesDone;
    std::vector<std::string> treeAtCancel;  // what had been extracted when cancel came
};

void PrintTo(const CancelCase& c, std::ostream* out)
{
    *out << c.label;
}

class WorkerCancelTest : public WorkerTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(WorkerCancelTest, EntryInHandIsFinishedThenEverythingIsRemoved)
{
    const CancelCase& c = GetParam();
    // The second entry spans several output pieces, so being cancelled
    // in its middle can be told from finishing it.
    Load(ZipWriter()
             .add(ZipEntry::file("sub/one.txt", SomeBytes(1000, 1)))
             .add(ZipEntry::file("two.bin", SomeBytes(300000, 2)))
             .add(ZipEntry::file("three.txt", SomeBytes(10, 3)))
             .build());
    const uint32_t divisor = 8;   // 301,010 bytes in all

    bool armed = false;
    std::vector<std::string> treeAtCancel;
    if (c.during == nullptr) {
        CancelRequested = 1;
    } else {
        // Pressed as the GUI thread would, while the worker waits for the
        // bar to take the first position inside that entry.
        onMessage_ = [&](const Seen& s) {
            if (s.window == fileName_ && s.message == WM_SETTEXT)
                armed = s.text == c.during;
            else if (armed && s.window == bar_ && s.message == PBM_SETPOS && !CancelRequested) {
                treeAtCancel = ListTree(TargetFolder);
                CancelRequested = 1;
            }
        };
    }
    RunWorker();
    onMessage_ = nullptr;
    ExpectFinalCommand(IDC_CANCEL);

    EXPECT_EQ(ShownNames(), c.shown);
    EXPECT_EQ(BytesDone, c.bytesDone);
    std::vector<BarMessage> bar = BarMessages();
    ASSERT_FALSE(bar.empty());
    EXPECT_EQ(bar.back(), Position(c.bytesDone / divisor)) << "the entry in hand is written to its end";
    EXPECT_EQ(treeAtCancel, c.treeAtCancel);
    // Removed by the worker itself: this test has run no cleanup.
    EXPECT_FALSE(Exists(TargetFolder));
    EXPECT_EQ(ListTree(dir_.path()), std::vector<std::string>({"package.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, WorkerCancelTest,
    ::testing::Values(CancelCase{"BeforeTheStart", nullptr, {"one.txt"}, 1000, {}},
                      CancelCase{"DuringTheSecondEntry",
                                 "two.bin",
                                 {"one.txt", "two.bin"},
                                 301000,
                                 {"sub", "sub\\one.txt", "two.bin"}},
                      CancelCase{"DuringTheLastEntry",
                                 "three.txt",
                                 {"one.txt", "two.bin", "three.txt"},
                                 301010,
                                 {"sub", "sub\\one.txt", "three.txt", "two.bin"}}),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.label); });

}  // namespace
