// The command runner in this process: how alias lines are rebuilt and where
// that must stop, and the runner thread's endings: the current folder given
// back, one final report to the frame, and no worker left registered.
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "commands/command_runner.h"
#include "extract/target_folder.h"
#include "startup/config_trailer.h"
#include "startup/startup_state.h"
#include "startup/trailer.h"
#include "support/package_assembly.h"
#include "support/temp_path.h"
#include "wizard/frame_link.h"
#include "wizard/wizard.h"

namespace {

struct RebuildCase {
    const char* configured;
    int result;
    const char* rebuilt;   // when result is 0
};

class RebuildAlias : public ::testing::TestWithParam<RebuildCase> {
  protected:
    void SetUp() override { lstrcpyA(TargetFolder, "C:\\pkg\\_XAB12CD"); }
    void TearDown() override { TargetFolder[0] = 0; }
};

TEST_P(RebuildAlias, ReplacesTheAliasByItsFolder)
{
    char line[COMMAND_LINE_SIZE];
    ASSERT_TRUE(IsAliasCommand(GetParam().configured));
    ASSERT_EQ(RebuildAliasCommand(line, GetParam().configured), GetParam().result);
    if (GetParam().result == 0) {
        EXPECT_STREQ(line, GetParam().rebuilt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RebuildAlias,
    ::testing::Values(RebuildCase{"\"\\\\!extract\\setup.exe\" /quiet", 0, "\"C:\\pkg\\_XAB12CD\\setup.exe\" /quiet"},
                      RebuildCase{"\"//!extract/bin/run.exe\"", 0, "\"C:\\pkg\\_XAB12CD/bin/run.exe\""},
                      RebuildCase{"\"\\/!extract\" -x", 0, "\"C:\\pkg\\_XAB12CD\" -x"},
                      RebuildCase{"\"\\\\!extract", 0, "\"C:\\pkg\\_XAB12CD"},
                      RebuildCase{"\"\\\\!NoSuchAlias\\setup.exe\"", -1, nullptr},
                      RebuildCase{"\"\\\\!\\setup.exe\"", -1, nullptr}));

TEST(AliasForm, NeedsTheQuoteTwoSeparatorsAndTheMark)
{
    EXPECT_TRUE(IsAliasCommand("\"\\\\!temp\\x.exe\""));
    EXPECT_TRUE(IsAliasCommand("\"/\\!temp"));
    EXPECT_FALSE(IsAliasCommand("\\\\!temp\\x.exe"));   // no leading quote: plain
    EXPECT_FALSE(IsAliasCommand("\"\\!temp\\x.exe\""));
    EXPECT_FALSE(IsAliasCommand("\"\\\\temp\\x.exe\""));
    EXPECT_FALSE(IsAliasCommand(""));
}

TEST(AliasForm, RebuiltLineMustFitItsBufferWithItsZero)
{
    lstrcpyA(TargetFolder, "C:\\pkg\\_XAB12CD");
    const std::string head = "\"\\\\!extract";
    std::size_t folderPart = 1 + lstrlenA(TargetFolder);
    char line[COMMAND_LINE_SIZE];
    std::string fits = head + "\\" + std::string(COMMAND_LINE_SIZE - 1 - folderPart - 1, 'a');
    ASSERT_EQ(RebuildAliasCommand(line, fits.c_str()), 0);
    EXPECT_EQ(std::string(line).size(), COMMAND_LINE_SIZE - 1u);
    std::string oneMore = fits + "a";
    EXPECT_EQ(RebuildAliasCommand(line, oneMore.c_str()), -1);
    TargetFolder[0] = 0;
}

// A plain line's program, named bare, is taken from the extraction folder
// by its full path when it lies there; anything else goes as it stands.
TEST(PinProgram, BareNamesFoundInTheExtractionFolder)
{
    TempDir folder;
    for (const char* name : {"setup.exe", "install.cmd", "tool"})
        folder.write(name, {'x'});
    CreateDirectoryA((folder.path() + "\\bin").c_str(), nullptr);
    lstrcpyA(TargetFolder, folder.path().c_str());
    ProcessHeap = GetProcessHeap();   // the pinned line comes from the stub's heap
    const std::string q = "\"" + folder.path() + "\\";
    const struct {
        const char* line;
        std::string pinned;   // empty: the line goes as it stands
    } cases[] = {
        {"setup.exe /quiet", q + "setup.exe\" /quiet"},
        {"setup /quiet", q + "setup.exe\" /quiet"},   // the system would add .exe too
        {"\"setup.exe\" /q", q + "setup.exe\" /q"},
        {"\"setup.exe", q + "setup.exe\""},
        {"setup.exe\t/x", q + "setup.exe\"\t/x"},
        {"install.cmd", q + "install.cmd\""},
        {"tool -x", q + "tool\" -x"},
        {"bin", ""},                    // a folder, not a program
        {"notthere.exe /x", ""},        // not extracted: unchanged
        {"install /x", ""},             // only .exe is added
        {"bin\\setup.exe", ""},         // a path is the package's own choice
        {"C:\\windows\\notepad.exe", ""},
        {"cmd.exe /c exit 0", ""},
        {"", ""},
        {" setup.exe", ""},
    };
    for (const auto& c : cases) {
        char* pinned = PinProgramToExtractionFolder(c.line);
        EXPECT_EQ(pinned ? std::string(pinned) : std::string(), c.pinned) << c.line;
    }
    RemoveDirectoryA((folder.path() + "\\bin").c_str());
    TargetFolder[0] = 0;
}

// Runs CommandRunner on its own thread with a hidden window as the frame
// and collects the frame's messages until the thread has ended.
class RunnerThread : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ResetSettings(&SfxSettings);
        SfxSettings.flags = 0;
        lstrcpyA(TargetFolder, folder_.path().c_str());
        FrameWindow = CreateWindowExA(0, "STATIC", "frame", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
        GetCurrentDirectoryA(MAX_PATH, before_);
    }
    void TearDown() override
    {
        DestroyWindow(FrameWindow);
        FrameWindow = NULL;
        TargetFolder[0] = 0;
        ResetSettings(&SfxSettings);
        SetCurrentDirectoryA(before_);
    }

    // The runner's result and the wizard messages the frame received.
    DWORD Run(std::vector<UINT>* messages)
    {
        HANDLE thread = CreateThread(NULL, 0, CommandRunner, NULL, CREATE_SUSPENDED, (DWORD*)&WorkerThreadId);
        ResumeThread(thread);
        EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
        DWORD result = 99;
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
        MSG msg;
        while (PeekMessageA(&msg, FrameWindow, 0, 0, PM_REMOVE)) {
            if (msg.message >= WM_PAGE_ENTER && msg.message <= WM_COMMAND_FAILED)
                messages->push_back(msg.message);
        }
        return result;
    }

    std::string CurrentFolder()
    {
        char now[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, now);
        return now;
    }

    TempDir folder_;
    char before_[MAX_PATH] = {};
};

// How a run of the configured commands ends, and what it leaves: the
// thread's result, the one report to the frame, no worker registered, the
// current folder given back.
struct RunnerCase {
    const char* label;
    const char* command1;
    const char* command2;   // null: none
    bool folderGone;        // the extraction folder was removed before the run
    DWORD result;
    UINT report;
    // The first command wrote its current folder into where.txt of the
    // extraction folder; otherwise where.txt is written nowhere.
    bool printsFolder;
};

void PrintTo(const RunnerCase& c, std::ostream* out)
{
    *out << c.label;
}

class RunnerEnding : public RunnerThread, public ::testing::WithParamInterface<RunnerCase> {};

TEST_P(RunnerEnding, ReportsOnceAndGivesTheFolderBack)
{
    const RunnerCase& c = GetParam();
    if (c.folderGone)
        lstrcpyA(TargetFolder, (folder_.path() + "\\gone").c_str());
    SfxSettings.command1.text = c.command1;
    if (c.command2 != nullptr)
        SfxSettings.command2.text = c.command2;
    std::vector<UINT> messages;
    EXPECT_EQ(Run(&messages), c.result);
    EXPECT_EQ(messages, std::vector<UINT>{c.report});
    EXPECT_EQ(WorkerThreadId, 0u);
    EXPECT_EQ(CurrentFolder(), before_);
    EXPECT_EQ(GetFileAttributesA((std::string(before_) + "\\where.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    std::string where = folder_.path() + "\\where.txt";
    if (c.printsFolder) {
        packaging::Bytes text = packaging::readFileBytes(where);
        std::string line(text.begin(), text.end());
        EXPECT_EQ(line.substr(0, line.find_first_of("\r\n")), folder_.path());
    } else {
        EXPECT_EQ(GetFileAttributesA(where.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunnerEnding,
    ::testing::Values(
        // The second command would fail to start; it must never be tried.
        RunnerCase{"NonzeroExitCodeEndsTheSequenceAsDone", "cmd.exe /c exit 3", "Z:\\no\\such\\program.exe", false,
                   0, WM_COMMANDS_DONE, false},
        RunnerCase{"CommandThatCannotStartFails", "cmd.exe /c exit 0", "Z:\\no\\such\\program.exe", false, 1,
                   WM_COMMAND_FAILED, false},
        // Elsewhere the commands would start in the package's own folder.
        RunnerCase{"MissingExtractionFolderStartsNothing", "cmd.exe /c cd > where.txt", nullptr, true, 1,
                   WM_COMMAND_FAILED, false},
        // cmd writes its current folder into a file of that folder.
        RunnerCase{"CommandsRunInTheExtractionFolder", "cmd.exe /c cd > where.txt", nullptr, false, 0,
                   WM_COMMANDS_DONE, true}),
    [](const ::testing::TestParamInfo<RunnerCase>& info) { return std::string(info.param.label); });

}  // namespace
