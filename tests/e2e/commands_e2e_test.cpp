// The commands after extraction, run by the real stub under Wine with a
// probe program of ours as the command: where it runs, what it sees, which
// commands run in which order, the failures that end the program, and the
// frame moving off screen while a command runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>

#include "e2e_support.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "resource_ids.h"
#include "stub_driver.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

namespace {

const char kAliasKey[] = "SOFTWARE\\Brenlow GmbH\\Shared\\Paths\\Alias";
constexpr std::uint32_t kHideFrame = 0x1;
constexpr std::uint32_t kFinishNoWait = 0x2;

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

// The probe's report: its lines, or none when it never ran.
std::vector<std::string> ReadReport(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class Commands : public ::testing::Test {
  protected:
    Commands() : into_(dir_.path() + "\\into") { fs::create_directory(into_); }

    std::string Report(const char* name) const { return dir_.path() + "\\" + name + ".txt"; }

    // A package extracting `entries` into `into_` with these commands.
    std::string Package(const std::string& command1, const std::string& command2, std::uint32_t flags = 0,
                        std::vector<ZipEntry> entries = {}, const char* finishText = nullptr)
    {
        TrailerBuilder trailer;
        trailer.text(kFolderTemplate, kNeutral, into_).text(kExitText, kNeutral, "Commands done.");
        if (!command1.empty())
            trailer.text(kCommand1, kNeutral, command1);
        if (!command2.empty())
            trailer.text(kCommand2, kNeutral, command2);
        if (finishText != nullptr)
            trailer.text(kFinishText, kNeutral, finishText);
        trailer.flags(0x3, flags);
        if (entries.empty())
            entries.push_back(ZipEntry::file("payload.txt", B("payload")));
        ZipWriter zip;
        for (ZipEntry& entry : entries)
            zip.add(std::move(entry));
        return WritePackage(dir_, trailer, zip.build());
    }

    // Starts the package and goes on from the folder page.
    HWND StartAndExtract(driver::StubProcess& stub) const
    {
        HWND frame = stub.waitForFrame();
        driver::waitForPage(frame, IDC_FOLDER_EDIT);
        driver::clickButton(frame, IDC_NEXT);
        return frame;
    }

    // The exit page after the commands; Next there ends the run with 0.
    void FinishOnExitPage(driver::StubProcess& stub, HWND frame) const
    {
        driver::waitForPage(frame, IDC_EXIT_TEXT);
        driver::clickButton(frame, IDC_NEXT);
        EXPECT_EQ(stub.waitForExit(), 0u);
        EXPECT_TRUE(fs::is_empty(into_));
    }

    // The fatal message of a command that cannot start: code 1, nothing left.
    // Without a program, the general message; with one, its own, naming
    // the program, and the system's reason on a second line.
    void ExpectStartFailure(driver::StubProcess& stub, const std::string& program = "") const
    {
        HWND box = stub.waitForMessageBox();
        std::string text = driver::itemText(box, driver::kMessageBoxTextId);
        if (program.empty()) {
            EXPECT_EQ(text, ByLanguage("Extraktion der Dateien konnte nicht gestartet werden",
                                       "Could not start archive extraction"));
        } else {
            std::string first = GermanUi() ? "Das Programm " + program + " konnte nicht gestartet werden.\n"
                                           : "Could not start the program " + program + ".\n";
            EXPECT_EQ(text.substr(0, first.size()), first) << text;
            EXPECT_GT(text.size(), first.size()) << "no reason: " << text;
        }
        EXPECT_TRUE(fs::is_empty(into_));
        driver::clickButton(box, IDOK);
        EXPECT_EQ(stub.waitForExit(), 1u);
    }

    TempDir dir_;
    std::string into_;
};

}  // namespace

TEST_F(Commands, AliasCommandRunsTheExtractedProgramInTheExtractionFolder)
{
    // The first command is the probe from the archive itself; it makes a
    // file that only the delete list knows. The second is a plain line.
    std::string report1 = Report("first"), report2 = Report("second");
    std::string command1 = "\"\\\\!extract\\tools\\probe.exe\" report=" + report1 + " make=made.log";
    std::string command2 = Quoted(ProbePath()) + " report=" + report2;
    std::vector<ZipEntry> entries = {ZipEntry::file("tools/probe.exe", readFileBytes(ProbePath())),
                                     ZipEntry::file("data/info.txt", B("info")),
                                     ZipEntry::file("cleanup.lst", B("made.log\r\n"))};
    driver::StubProcess stub([&] {
        TrailerBuilder trailer;
        trailer.text(kFolderTemplate, kNeutral, into_)
            .text(kExitText, kNeutral, "Commands done.")
            .text(kCommand1, kNeutral, command1)
            .text(kCommand2, kNeutral, command2)
            .text(kDeleteList, kNeutral, "cleanup.lst");
        ZipWriter zip;
        for (const ZipEntry& entry : entries)
            zip.add(entry);
        return WritePackage(dir_, trailer, zip.build());
    }());
    HWND frame = StartAndExtract(stub);
    driver::waitForPage(frame, IDC_EXIT_TEXT);

    std::string unique = UniqueFolderIn(into_);
    ASSERT_FALSE(unique.empty());
    std::vector<std::string> first = ReadReport(report1);
    EXPECT_TRUE(Contains(first, "cwd=" + unique));
    EXPECT_TRUE(Contains(first, "line=\"" + unique + "\\tools\\probe.exe\" report=" + report1 + " make=made.log"));
    for (const char* name : {"tools/probe.exe", "data/info.txt", "cleanup.lst"})
        EXPECT_TRUE(Contains(first, std::string("file=") + name)) << name;
    std::vector<std::string> second = ReadReport(report2);
    EXPECT_TRUE(Contains(second, "cwd=" + unique));
    EXPECT_TRUE(Contains(second, "file=made.log"));   // ran after the first
    EXPECT_TRUE(fs::exists(unique + "\\made.log"));

    FinishOnExitPage(stub, frame);
}

// Which commands run, by what each one does; the last column says whether
// the run ends on the exit page (true) or with the fatal message (false).
struct SequenceCase {
    const char* name;
    const char* command1;   // "probe1"/"probe2" stand for the probe with a report
    const char* command2;
    bool ran1;
    bool ran2;
    bool endsNormally;
    const char* failedProgram;   // named in the message; empty: the general one
};

class CommandSequence : public Commands, public ::testing::WithParamInterface<SequenceCase> {
  protected:
    std::string Expand(const char* command)
    {
        std::string text = command;
        for (const char* probe : {"probe1", "probe2"}) {
            std::size_t at = text.find(probe);
            if (at != std::string::npos)
                text.replace(at, 6, Quoted(ProbePath()) + " report=" + Report(probe));
        }
        return text;
    }
};

TEST_P(CommandSequence, RunsInOrderAndStopsWhereItMust)
{
    const SequenceCase& c = GetParam();
    driver::StubProcess stub(Package(Expand(c.command1), Expand(c.command2)));
    HWND frame = StartAndExtract(stub);
    if (c.endsNormally)
        FinishOnExitPage(stub, frame);
    else
        ExpectStartFailure(stub, c.failedProgram);
    EXPECT_EQ(fs::exists(Report("probe1")), c.ran1);
    EXPECT_EQ(fs::exists(Report("probe2")), c.ran2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandSequence,
    ::testing::Values(SequenceCase{"BothRun", "probe1", "probe2", true, true, true, ""},
                      SequenceCase{"OnlySecondConfigured", "", "probe2", false, true, true, ""},
                      SequenceCase{"FirstEndsWith3", "probe1 exit=3", "probe2", true, false, true, ""},
                      SequenceCase{"SecondCannotStart", "probe1", "Z:\\no\\such\\program.exe", true, false, false,
                                   "Z:\\no\\such\\program.exe"},
                      SequenceCase{"MissingProgramInQuotes", "\"no such setup.exe\" /quiet", "probe2", false, false,
                                   false, "no such setup.exe"},
                      SequenceCase{"UnknownAlias", "\"\\\\!NoSuchAliasAnywhere\\probe.exe\" probe1", "probe2", false,
                                   false, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Commands, BareProgramNameRunsTheExtractedFileNotOneBesideThePackage)
{
    // Files of the same names wait in the package's own folder, as in a
    // Downloads folder, which the system searches first for a bare name.
    fs::copy_file(ProbePath(), dir_.path() + "\\setup.exe");
    fs::copy_file(ProbePath(), dir_.path() + "\\install.exe");
    std::string report1 = Report("first"), report2 = Report("second");
    std::vector<ZipEntry> entries = {ZipEntry::file("setup.exe", readFileBytes(ProbePath())),
                                     ZipEntry::file("install.exe", readFileBytes(ProbePath()))};
    driver::StubProcess stub(
        Package("setup.exe report=" + report1, "install report=" + report2, 0, std::move(entries)));
    HWND frame = StartAndExtract(stub);
    driver::waitForPage(frame, IDC_EXIT_TEXT);
    for (const auto& [report, program] : {std::pair{report1, "setup.exe"}, std::pair{report2, "install.exe"}}) {
        std::vector<std::string> lines = ReadReport(report);
        ASSERT_FALSE(lines.empty()) << program;
        std::string cwd = lines[0].substr(4);
        EXPECT_EQ(cwd.substr(0, into_.size() + 3), into_ + "\\_X") << "the extraction folder";
        EXPECT_TRUE(Contains(lines, "program=" + cwd + "\\" + program)) << lines[2];
    }
    FinishOnExitPage(stub, frame);
}

// A command whose program a stranger could shadow: a program of the same
// name waits beside the package, as in a Downloads folder, which the system
// would search first. The package's own program (or the system's) must run,
// never the planted one. Every program here is a copy of the probe, or a
// batch file that starts the packaged probe, so the report's program line
// tells which one ran.
struct PlantedCase {
    const char* name;
    const char* command;                 // {report} stands for report=FILE
    std::vector<const char*> packaged;   // ".cmd" files start probe.exe, the rest are probes
    std::vector<const char*> planted;    // probes beside the package
    const char* lineHas;                 // a text the probe's command line must hold, or null
    bool starts;                         // false: found nowhere, the command runner's failure
};

void PrintTo(const PlantedCase& c, std::ostream* out)
{
    *out << c.name;
}

class PlantedProgram : public Commands, public ::testing::WithParamInterface<PlantedCase> {};

TEST_P(PlantedProgram, NeverRunsTheFileBesideThePackage)
{
    const PlantedCase& c = GetParam();
    std::string report = Report("report");
    std::string command = c.command;
    command.replace(command.find("{report}"), 8, "report=" + report);
    Bytes probe = readFileBytes(ProbePath());
    std::vector<ZipEntry> entries;
    for (std::string name : c.packaged) {
        bool batch = name.size() > 4 && name.compare(name.size() - 4, 4, ".cmd") == 0;
        entries.push_back(ZipEntry::file(name, batch ? B("@probe.exe %*\r\n") : probe));
    }
    if (entries.empty())
        entries.push_back(ZipEntry::file("payload.txt", B("payload")));
    for (const char* name : c.planted) {
        fs::path planted = fs::path(dir_.path()) / name;
        fs::create_directories(planted.parent_path());
        fs::copy_file(ProbePath(), planted);
    }
    driver::StubProcess stub(Package(command, "", 0, std::move(entries)));
    HWND frame = StartAndExtract(stub);
    if (!c.starts) {
        ExpectStartFailure(stub, command.substr(0, command.find(' ')));   // named as the line names it
        EXPECT_FALSE(fs::exists(report)) << "a planted program ran";
        return;
    }
    driver::waitForPage(frame, IDC_EXIT_TEXT);
    std::vector<std::string> lines = ReadReport(report);
    ASSERT_GE(lines.size(), 3u) << "no program ran";
    EXPECT_EQ(lines[2].substr(0, 8 + into_.size() + 3), "program=" + into_ + "\\_X") << lines[2];
    if (c.lineHas != nullptr) {
        EXPECT_NE(lines[1].find(c.lineHas), std::string::npos) << lines[1];
    }
    FinishOnExitPage(stub, frame);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlantedProgram,
    ::testing::Values(
        PlantedCase{"RelativePath", "sub\\setup.exe {report} /q", {"sub/setup.exe"}, {"sub/setup.exe"}, nullptr,
                    true},
        PlantedCase{"SystemProgram", "cmd /c install.cmd {report}", {"install.cmd", "probe.exe"}, {"cmd.exe"},
                    nullptr, true},
        PlantedCase{"UnquotedNameWithABlank", "my setup.exe {report} /q", {"my setup.exe"}, {"my.exe"}, nullptr,
                    true},
        PlantedCase{"BareName", "setup.exe {report}", {"setup.exe"}, {"setup.exe"}, nullptr, true},
        PlantedCase{"BareNameWithoutExe", "setup {report}", {"setup.exe"}, {"setup.exe"}, nullptr, true},
        PlantedCase{"LeadingBlanks", "  setup.exe {report}", {"setup.exe"}, {"setup.exe"}, nullptr, true},
        // Batch files go through the system's command interpreter, never one
        // beside the package; their arguments arrive as written.
        PlantedCase{"BatchFile", "install.cmd {report}", {"install.cmd", "probe.exe"}, {"cmd.exe"}, nullptr, true},
        PlantedCase{"BatchFileWithBlanksInItsPath", "\"tools dir\\run it.cmd\" {report} \"two & words\"",
                    {"tools dir/run it.cmd", "probe.exe"}, {"cmd.exe"}, "\"two & words\"", true},
        PlantedCase{"FoundNowhere", "nosuch.exe {report}", {}, {"nosuch.exe"}, nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Commands, AliasFollowedByTheClosingQuoteIsTheFolderInQuotes)
{
    // An alias from the registry table naming the probe without ".exe":
    // the rebuilt line quotes that path, and the system adds the ".exe".
    std::string stem = ProbePath().substr(0, ProbePath().size() - 4);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAliasKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "ProbeStem", 0, REG_SZ, reinterpret_cast<const BYTE*>(stem.c_str()),
                   static_cast<DWORD>(stem.size() + 1));
    std::string report = Report("quoted");
    driver::StubProcess stub(Package("\"\\\\!ProbeStem\" report=" + report, ""));
    HWND frame = StartAndExtract(stub);
    FinishOnExitPage(stub, frame);
    RegDeleteValueA(key, "ProbeStem");
    RegCloseKey(key);
    EXPECT_TRUE(Contains(ReadReport(report), "line=" + Quoted(stem) + " report=" + report));
}

TEST_F(Commands, RebuiltLineTooLongForItsBufferStartsNothing)
{
    std::string report = Report("long");
    std::string padding(500, 'p');
    driver::StubProcess stub(
        Package("\"\\\\!extract\\probe.exe\" report=" + report + " pad=" + padding, ""));
    StartAndExtract(stub);
    ExpectStartFailure(stub);
    EXPECT_FALSE(fs::exists(report));
}

TEST_F(Commands, TwoQuickPressesOfFinishRunTheCommandsOnce)
{
    std::string runs = Report("runs");
    driver::StubProcess stub(Package("cmd.exe /c echo run>>" + runs, "", 0, {}, "Ready."));
    HWND frame = StartAndExtract(stub);
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    driver::clickButton(frame, IDC_NEXT);
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_EXIT_TEXT);
    driver::settle(frame);
    EXPECT_EQ(ReadReport(runs), std::vector<std::string>{"run"});
    FinishOnExitPage(stub, frame);
}

class HideFrame : public Commands, public ::testing::WithParamInterface<bool> {};

// While the command runs: the finish text stays with nothing to press,
// Cancel changes nothing, and the frame is off screen only with the flag.
TEST_P(HideFrame, FrameLeavesTheScreenWhileACommandRunsOnlyWithTheFlag)
{
    bool hide = GetParam();
    std::string report = Report("waiting"), release = dir_.path() + "\\release";
    driver::StubProcess stub(Package(Quoted(ProbePath()) + " report=" + report + " wait=" + release, "",
                                     kFinishNoWait | (hide ? kHideFrame : 0), {}, "Installing now."));
    HWND frame = stub.waitForFrame();
    RECT before = driver::windowRect(frame);
    StartAndExtract(stub);
    ASSERT_TRUE(driver::waitUntil([&] { return fs::exists(report); }));
    HWND finish = driver::waitForPage(frame, IDC_FINISH_TEXT);
    EXPECT_EQ(driver::itemText(finish, IDC_FINISH_TEXT), "Installing now.");
    EXPECT_FALSE(driver::itemEnabled(frame, IDC_BACK));
    EXPECT_FALSE(driver::itemEnabled(frame, IDC_NEXT));
    if (hide) {
        EXPECT_TRUE(driver::waitUntil([&] { return driver::windowRect(frame).top == before.top - 10000; }));
    }
    driver::clickButton(frame, IDC_CANCEL);
    driver::settle(frame);
    EXPECT_FALSE(stub.hasExited());
    EXPECT_EQ(driver::windowRect(frame).top, hide ? before.top - 10000 : before.top);

    std::ofstream(release) << "go";
    driver::waitForPage(frame, IDC_EXIT_TEXT);
    // The frame shows the exit page first and comes back on screen right
    // after, in the same message; from outside, the page can be seen first.
    EXPECT_TRUE(driver::waitUntil([&] { return driver::windowRect(frame).top == before.top; }));
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(fs::is_empty(into_));
}

INSTANTIATE_TEST_SUITE_P(Flag, HideFrame, ::testing::Bool());

TEST_F(Commands, FrameStaysWhenTheFirstCommandCannotStart)
{
    driver::StubProcess stub(Package("Z:\\no\\such\\program.exe", "", kHideFrame));
    HWND frame = stub.waitForFrame();
    RECT before = driver::windowRect(frame);
    StartAndExtract(stub);
    stub.waitForMessageBox();
    EXPECT_EQ(driver::windowRect(frame).top, before.top);
    ExpectStartFailure(stub, "Z:\\no\\such\\program.exe");
}

// A program that needs administrator rights: CreateProcessA is refused with
// ERROR_ELEVATION_REQUIRED (by the test stub, as Wine enforces no user
// account control), and the stub asks the shell to start it elevated. The
// program then runs in the extraction folder, is waited for, and its exit
// code counts as any command's; a declined prompt is a program that could
// not start.
struct ElevationCase {
    const char* name;
    const char* fault;   // the test stub's fault: which CreateProcessA is refused
    const char* exit1;   // the first probe's exit argument
    bool ran1;
    bool ran2;
    bool endsNormally;
};

class Elevation : public Commands, public ::testing::WithParamInterface<ElevationCase> {};

TEST_P(Elevation, RunsTheProgramThroughTheShellAndWaitsForIt)
{
    const ElevationCase& c = GetParam();
    std::string command1 = Quoted(ProbePath()) + " report=" + Report("probe1") + " make=made.log " + c.exit1;
    std::string command2 = Quoted(ProbePath()) + " report=" + Report("probe2");
    TrailerBuilder trailer;
    trailer.text(kFolderTemplate, kNeutral, into_)
        .text(kExitText, kNeutral, "Commands done.")
        .text(kCommand1, kNeutral, command1)
        .text(kCommand2, kNeutral, command2)
        .text(kDeleteList, kNeutral, "cleanup.lst")
        .flags(0x3, 0);
    // The file the first program makes goes at the end through the delete list.
    Bytes archive = ZipWriter()
                        .add(ZipEntry::file("payload.txt", B("payload")))
                        .add(ZipEntry::file("cleanup.lst", B("made.log\r\n")))
                        .build();
    std::string package =
        dir_.write("package.exe", assemblePackage(readFileBytes(SFX_FAILING_DISK_STUB_PATH), archive, trailer));

    SetEnvironmentVariableA("SFX_FAULT", c.fault);
    driver::StubProcess stub(package);
    HWND frame = StartAndExtract(stub);
    if (c.endsNormally) {
        driver::waitForPage(frame, IDC_EXIT_TEXT);
        std::string unique = UniqueFolderIn(into_);
        ASSERT_FALSE(unique.empty());
        std::vector<std::string> first = ReadReport(Report("probe1"));
        EXPECT_TRUE(Contains(first, "cwd=" + unique));
        EXPECT_TRUE(Contains(first, "file=payload.txt"));
        if (c.ran2) {   // started only once the first had ended
            EXPECT_TRUE(Contains(ReadReport(Report("probe2")), "file=made.log"));
        }
        FinishOnExitPage(stub, frame);
    } else {
        ExpectStartFailure(stub, ProbePath());
    }
    EXPECT_EQ(fs::exists(Report("probe1")), c.ran1);
    EXPECT_EQ(fs::exists(Report("probe2")), c.ran2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Elevation,
    ::testing::Values(ElevationCase{"FirstNeedsIt", "elevation 1", "", true, true, true},
                      ElevationCase{"SecondNeedsIt", "elevation 2", "", true, true, true},
                      ElevationCase{"ItsExitCodeStopsTheSequence", "elevation 1", "exit=3", true, false, true},
                      ElevationCase{"DeclinedIsAProgramThatCouldNotStart", "elevationDeclined 1", "", false, false,
                                    false}),
    [](const auto& info) { return std::string(info.param.name); });
