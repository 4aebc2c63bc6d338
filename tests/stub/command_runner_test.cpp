// The command runner in this process: how alias lines are rebuilt and where
// that must stop, and the runner thread's endings: the current folder given
// back, one final report to the frame, and no worker left registered.
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "commands/command_runner.h"
#include "commands/program_search.h"
#include "extract/win32/target_folder.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/startup_state.h"
#include "startup/trailer.h"
#include "support/package_assembly.h"
#include "support/temp_path.h"
#include "wizard/frame_link.h"
#include "wizard/wizard.h"
#include "stub_reset.h"

namespace {

struct RebuildCase {
    const char* configured;
    int result;
    const char* rebuilt;   // when result is 0
};

class RebuildAlias : public ::testing::TestWithParam<RebuildCase> {
  protected:
    void SetUp() override { lstrcpyA(TargetFolder, "C:\\pkg\\_XAB12CD"); }
    void TearDown() override { ResetStubState(); }
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

// Where the program of a plain line is found: the extraction folder first,
// then the system folder, the Windows folder and PATH; never the folder
// around the extraction folder or the current folder. Expected paths start
// with X (the extraction folder), S (the system folder), W (the Windows
// folder) or P (a folder on PATH); empty: found nowhere.
class ProgramSearch : public ::testing::Test {
  protected:
    void SetUp() override
    {
        extraction_ = root_.path() + "\\_XAB12CD";
        for (const char* folder : {"", "\\sub", "\\bin", "\\my.exe", "\\tools dir"})
            CreateDirectoryA((extraction_ + folder).c_str(), nullptr);
        for (const char* name : {"setup.exe", "my setup.exe", "sub\\setup.exe", "sub\\tool.exe", "tool",
                                 "install.cmd", "tools dir\\run it.BAT", "setup", "unique name.exe"})
            Plant(extraction_ + "\\" + name);
        Plant(root_.path() + "\\outside.exe");
        lstrcpyA(TargetFolder, extraction_.c_str());
        // The folder around the extraction folder is the current one: no
        // program may come from it.
        GetCurrentDirectoryA(MAX_PATH, savedFolder_);
        SetCurrentDirectoryA(root_.path().c_str());
        ProcessHeap = GetProcessHeap();   // PATH is read into the stub's heap
        char folder[MAX_PATH];
        GetSystemDirectoryA(folder, MAX_PATH);
        system_ = folder;
        GetWindowsDirectoryA(folder, MAX_PATH);
        windows_ = folder;
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(savedFolder_);
        ResetStubState();
    }

    static void Plant(const std::string& path) { packaging::writeFileBytes(path, {'x'}); }

    std::string Expand(const std::string& expected) const
    {
        if (expected.empty())
            return expected;
        const std::string* folder = expected[0] == 'X' ? &extraction_
                                    : expected[0] == 'S' ? &system_
                                    : expected[0] == 'W' ? &windows_
                                                         : &path_;
        return *folder + expected.substr(1);
    }

    // The program's full path, lower case, or empty when none is found.
    std::string Find(const std::string& line, std::string* arguments = nullptr)
    {
        CommandProgram program;
        program.arguments = nullptr;
        if (FindCommandProgram(line.c_str(), &program) != 0)
            return "";
        if (arguments != nullptr)
            *arguments = program.arguments;
        return Lower(program.path);
    }

    static std::string Lower(std::string text)
    {
        CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
        return text;
    }

    struct Case {
        std::string line;
        std::string found;       // X, S, W or P and the rest of the path; empty: none
        std::string arguments;   // when found
    };

    void Check(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            std::string arguments = "unset";
            EXPECT_EQ(Find(c.line, &arguments), Lower(Expand(c.found))) << c.line;
            if (!c.found.empty()) {
                EXPECT_EQ(arguments, c.arguments) << c.line;
            }
        }
    }

    TempDir root_;
    std::string extraction_, system_, windows_, path_;
    char savedFolder_[MAX_PATH] = {};
};

TEST_F(ProgramSearch, RelativeNamesComeFromTheExtractionFolderFirst)
{
    Check({
        {"setup.exe /quiet", "X\\setup.exe", "/quiet"},
        {"setup /quiet", "X\\setup.exe", "/quiet"},   // ".exe" added as the system adds it
        {"SETUP", "X\\SETUP.exe", ""},
        {"\"setup.exe\" /q", "X\\setup.exe", "/q"},
        {"\"setup.exe\"/q", "X\\setup.exe", "/q"},
        {"\"setup.exe", "X\\setup.exe", ""},
        {"setup.exe\t /x", "X\\setup.exe", "/x"},
        {"sub\\setup.exe /q", "X\\sub\\setup.exe", "/q"},
        {"sub/setup.exe", "X\\sub\\setup.exe", ""},         // one kind of separator
        {"sub\\tool -y", "X\\sub\\tool.exe", "-y"},         // ".exe" behind a folder too
        {".\\setup.exe", "X\\setup.exe", ""},
        {"setup. /x", "X\\setup", "/x"},                 // a name ending in a dot gets no ".exe"
        {"outside.exe", "", ""},                          // the current folder is never searched
        {"outside", "", ""},
        {"install.cmd /x", "X\\install.cmd", "/x"},
        {"\"tools dir\\run it.BAT\" a \"b c\"", "X\\tools dir\\run it.BAT", "a \"b c\""},
        {"tool -x", "", ""},                              // only "tool.exe" is looked for
        {"install /x", "", ""},                           // ".exe" only, never ".cmd"
        {"bin", "", ""},                                  // a folder is no program
        {"notthere.exe /x", "", ""},
        {"", "", ""},
        {"\"\" /x", "", ""},
    });
}

TEST_F(ProgramSearch, UnquotedNameWithBlanksIsTheShortestRunOfWordsThatExists)
{
    Check({
        // The folder "my.exe" does not count; "my setup.exe" does.
        {"my setup.exe /q", "X\\my setup.exe", "/q"},
        {"\"my setup.exe\" /q", "X\\my setup.exe", "/q"},
        {"unique name.exe", "X\\unique name.exe", ""},
        {"unique name /x", "X\\unique name.exe", "/x"},   // ".exe" added to a run of words too
        {"tools dir\\run it.BAT x", "X\\tools dir\\run it.BAT", "x"},
        {"setup.exe and more words", "X\\setup.exe", "and more words"},
    });
}

TEST_F(ProgramSearch, SystemProgramsComeFromTheSystemFolderThenTheWindowsFolder)
{
    Check({
        {"cmd /c exit 0", "S\\cmd.exe", "/c exit 0"},
        {"CMD.EXE", "S\\cmd.exe", ""},
        {".\\cmd.exe", "", ""},   // a name from "." is taken from the extraction folder only
    });
    // Wine keeps regedit.exe in the Windows folder only, notepad.exe in both.
    auto exists = [](const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    ASSERT_FALSE(exists(system_ + "\\regedit.exe"));
    ASSERT_TRUE(exists(windows_ + "\\regedit.exe"));
    ASSERT_TRUE(exists(windows_ + "\\notepad.exe"));
    Check({
        {"regedit /s x.reg", "W\\regedit.exe", "/s x.reg"},
        {"notepad", "S\\notepad.exe", ""},
    });
    // A program of the package's own comes first.
    Plant(extraction_ + "\\cmd.exe");
    Check({{"cmd /c exit 0", "X\\cmd.exe", "/c exit 0"}});
}

TEST_F(ProgramSearch, FullPathsStandAsTheyAre)
{
    const std::string x = extraction_;
    Check({
        {"\"" + x + "\\setup.exe\" /q", "X\\setup.exe", "/q"},
        {x + "\\setup /q", "X\\setup.exe", "/q"},
        {x + "\\my setup.exe /q", "X\\my setup.exe", "/q"},   // runs of words for full paths too
        {x.substr(2) + "\\setup.exe", "X\\setup.exe", ""},    // the root of the current drive
        {"Z:\\no\\such\\program.exe", "", ""},
        {x + "\\bin", "", ""},
    });
}

TEST_F(ProgramSearch, NamesLeadingToFoldersNotChosenAreFoundNowhere)
{
    // outside.exe lies in the folder around the extraction folder.
    ASSERT_EQ(GetFileAttributesA((extraction_ + "\\..\\outside.exe").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    Check({
        {"..\\outside.exe", "", ""},
        {"sub\\..\\..\\outside.exe", "", ""},
        {"\"..\\outside\"", "", ""},
        {extraction_.substr(0, 2) + "outside.exe", "", ""},   // drive-relative: the drive's own current folder
        {"sub\\..\\setup.exe", "", ""},
    });
}

TEST_F(ProgramSearch, PathsMustFitTheirBuffers)
{
    // Cut short, a path would name another file; the search must not
    // overrun its buffers either. The longest path there is: 259 bytes.
    std::string fits(MAX_PATH - 1 - extraction_.size() - 1, 'f');
    fits.replace(fits.size() - 4, 4, ".exe");
    Plant(extraction_ + "\\" + fits);
    std::string longName(MAX_PATH, 'a');
    Check({
        {fits + " /q", "X\\" + fits, "/q"},
        {fits.substr(0, fits.size() - 4), "X\\" + fits, ""},
        {fits + "x", "", ""},
        {longName, "", ""},
        {longName + ".exe /q", "", ""},
        {"\"" + longName + "\"", "", ""},
        {std::string(5000, 'c') + " /q", "", ""},
    });
}

// PATH is searched after the system's folders, entry by entry; entries
// that would be taken from the current folder are passed over.
TEST_F(ProgramSearch, PathFoldersComeLastAndOnlyFullOnes)
{
    TempDir onPath, quoted;
    path_ = onPath.path();
    for (const char* name : {"onpath.exe", "my.exe", "cmd.exe"})
        Plant(path_ + "\\" + name);
    Plant(quoted.path() + "\\quoted.exe");
    CreateDirectoryA((root_.path() + "\\rel").c_str(), nullptr);
    Plant(root_.path() + "\\rel\\relative.exe");
    struct SavedPath {
        char value[32767];
        DWORD length = GetEnvironmentVariableA("PATH", value, sizeof value);
        ~SavedPath() { SetEnvironmentVariableA("PATH", std::string(value, length).c_str()); }
    } saved;
    ASSERT_LT(saved.length, sizeof saved.value);
    // "." and "rel" lead to the current folder; a quoted entry does not
    // start with a drive or a root either, and is passed over too.
    std::string variable =
        ".;;rel;\"" + quoted.path() + "\";" + path_ + ";" + std::string(saved.value, saved.length);
    SetEnvironmentVariableA("PATH", variable.c_str());
    Check({
        {"onpath -x", "P\\onpath.exe", "-x"},
        {"cmd /c", "S\\cmd.exe", "/c"},                     // the system folder before PATH
        {"my setup.exe /q", "P\\my.exe", "setup.exe /q"},   // the shortest run wins, in any folder
        {"outside", "", ""},
        {"relative", "", ""},
        {"quoted", "", ""},
    });
}

TEST(BatchProgram, ByExtensionInAnyCase)
{
    for (const char* path : {"C:\\x\\install.cmd", "C:\\x\\RUN.BAT", "C:\\x.y\\a.b.Cmd"})
        EXPECT_TRUE(IsBatchProgram(path)) << path;
    for (const char* path : {"C:\\x\\setup.exe", "C:\\x.cmd\\setup", "C:\\x\\cmd", "C:\\x\\a.cmdx", ""})
        EXPECT_FALSE(IsBatchProgram(path)) << path;
}

// Runs CommandRunner on its own thread with a hidden window as the frame
// and collects the frame's messages until the thread has ended.
class RunnerThread : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ResetStubState();
        SfxSettings.flags = 0;
        lstrcpyA(TargetFolder, folder_.path().c_str());
        FrameWindow = CreateWindowExA(0, "STATIC", "frame", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
        GetCurrentDirectoryA(MAX_PATH, before_);
    }
    void TearDown() override
    {
        DestroyWindow(FrameWindow);
        ResetStubState();
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
