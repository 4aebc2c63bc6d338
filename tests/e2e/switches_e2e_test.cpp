// Unattended runs: packages made by the packer, started with switches, under
// Wine. A silent run shows no window at all and tells its result by the exit
// code and the log; /D and /X choose where the files go; /P opens an
// encrypted package; /? lists the switches; a package may refuse them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e_support.h"
#include "packer_support.h"
#include "resource_ids.h"
#include "stub_driver.h"
#include "support/package_assembly.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kExitCodeBase = 0x5F00;

struct WindowSearch {
    DWORD pid;
    bool seen;
};

BOOL CALLBACK NoteVisibleWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window))
        search->seen = true;
    return TRUE;
}

// Waits for the end of a run that must show nothing, looking for a visible
// window of the process all along; the exit code.
DWORD WaitForSilentExit(const driver::StubProcess& stub, bool* sawWindow)
{
    WindowSearch search{stub.pid(), false};
    driver::waitUntil([&] {
        EnumWindows(NoteVisibleWindow, reinterpret_cast<LPARAM>(&search));
        return stub.hasExited();
    });
    *sawWindow = search.seen;
    return stub.waitForExit();
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

class Switches : public ::testing::Test {
  protected:
    Switches() : input_(dir_.path() + "\\input"), into_(dir_.path() + "\\into"), log_(dir_.path() + "\\run.log")
    {
        fs::create_directories(into_);
        WriteTree(input_, {{"setup.txt", B("the installer\r\n")}, {"data/more.bin", NoiseBytes(3000, 5)}});
    }

    // A package of input_ extracting into into_, with the two probe
    // commands (the second ends with 3010, as an installer that needs a
    // restart does), the given top-level and neutral config lines and
    // build options.
    std::string Build(const std::string& topLines, const std::string& neutralLines = "",
                      std::vector<std::string> options = {})
    {
        std::string config = dir_.path() + "\\package.toml";
        std::ofstream(config) << topLines << "[neutral]\n" << neutralLines
                              << "folder_template = '" << into_ << "'\n"
                              << "command1 = '" << Quoted(ProbePath()) << " report=" << Report("one") << "'\n"
                              << "command2 = '" << Quoted(ProbePath()) << " report=" << Report("two")
                              << " exit=3010'\n";
        std::string package = dir_.path() + "\\package.exe";
        std::vector<std::string> args = {"build", input_, "-o", package, "-c", config, "--stub", StubPath(), "-q"};
        args.insert(args.end(), options.begin(), options.end());
        RunResult built = RunPacker(args);
        EXPECT_EQ(built.exitCode, 0) << built.err;
        return package;
    }

    std::string Report(const char* name) const { return dir_.path() + "\\" + name + ".txt"; }
    bool Ran(const char* name) const { return fs::exists(Report(name)); }

    // Runs package with arguments, which must show nothing; its exit code.
    DWORD RunSilently(const std::string& package, const std::string& arguments)
    {
        driver::StubProcess stub(package, "", arguments);
        bool sawWindow = false;
        DWORD code = WaitForSilentExit(stub, &sawWindow);
        EXPECT_FALSE(sawWindow) << arguments;
        return code;
    }

    TempDir dir_;
    std::string input_;
    std::string into_;
    std::string log_;
};

TEST_F(Switches, SilentRunExtractsRunsBothCommandsShowsNothingAndPassesTheExitCodeOn)
{
    std::string package = Build("");
    EXPECT_EQ(RunSilently(package, "/S /LOG=" + Quoted(log_)), 3010u);
    EXPECT_TRUE(Ran("one"));
    EXPECT_TRUE(Ran("two"));
    EXPECT_TRUE(fs::is_empty(into_)) << "the extraction folder is left behind";
    std::string log = ReadText(log_);
    for (const char* step : {" start ", " folder ", " command ", " command's exit code 3010", " end, exit code 3010"})
        EXPECT_NE(log.find(step), std::string::npos) << step << " missing in:\n" << log;
    // A second run appends.
    EXPECT_EQ(RunSilently(package, "-s -log=" + Quoted(log_)), 3010u);
    std::string twice = ReadText(log_);
    EXPECT_EQ(twice.substr(0, log.size()), log);
    EXPECT_GT(twice.size(), log.size());
}

TEST_F(Switches, SilentRunOfADamagedPackageEndsWithItsCodeAndTheLogSaysWhy)
{
    std::string package = Build("");
    Bytes bytes = readFileBytes(package);
    // The central directory's first signature gone: the archive cannot be read.
    const Bytes signature = {'P', 'K', 1, 2};
    auto at = std::search(bytes.begin() + StubBytes().size(), bytes.end(), signature.begin(), signature.end());
    ASSERT_NE(at, bytes.end());
    *at = 'X';
    writeFileBytes(package, bytes);
    EXPECT_EQ(RunSilently(package, "/S /LOG=" + Quoted(log_)), kExitCodeBase + IDS_ERR_CORRUPT);
    EXPECT_FALSE(Ran("one"));
    EXPECT_TRUE(fs::is_empty(into_));
    std::string log = ReadText(log_);
    EXPECT_NE(log.find(std::string(" message ") +
                       ByLanguage("Die Archiv-Datei ist fehlerhaft", "The archive file is corrupted")),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" end, exit code 24355"), std::string::npos) << log;
}

// /D in the wizard: the folder page offers it, and the unique folder is made there.
TEST_F(Switches, FolderSwitchPutsTheUniqueFolderThere)
{
    std::string elsewhere = dir_.path() + "\\else where";
    fs::create_directories(elsewhere);
    std::string package = Build("", "finish_text = 'Done.'\n");
    driver::StubProcess stub(package, "", "/D=" + Quoted(elsewhere));
    HWND frame = stub.waitForFrame();
    HWND page = driver::waitForPage(frame, IDC_FOLDER_EDIT);
    EXPECT_EQ(driver::itemText(page, IDC_FOLDER_EDIT), elsewhere);
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    std::string made = UniqueFolderIn(elsewhere);
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(Listing(made), (std::vector<std::string>{"data", "data/more.bin", "setup.txt"}));
    EXPECT_TRUE(fs::is_empty(into_));
    driver::clickButton(frame, IDC_NEXT);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

// /S with /D: the same, silently.
TEST_F(Switches, SilentRunWithAFolderExtractsBelowIt)
{
    std::string elsewhere = dir_.path() + "\\elsewhere";
    fs::create_directories(elsewhere);
    std::string package = Build("");
    EXPECT_EQ(RunSilently(package, "/S /D=" + elsewhere + " /LOG=" + Quoted(log_)), 3010u);
    EXPECT_NE(ReadText(log_).find(" folder " + elsewhere + "\\_X"), std::string::npos) << ReadText(log_);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_TRUE(Ran("two"));
}

// /X /D: exactly the package's files in the named folder, new or empty;
// nothing runs and nothing goes. A folder with something in it is refused
// and left as it was.
TEST_F(Switches, ExtractOnlyIntoAFolderLeavesExactlyThePackagesFilesAndRunsNothing)
{
    std::string package = Build("");
    const std::vector<std::string> files = {"data", "data/more.bin", "setup.txt"};
    std::string fresh = dir_.path() + "\\fresh\\unpacked";
    EXPECT_EQ(RunSilently(package, "/S /X /D=" + fresh), 0u);
    EXPECT_EQ(Listing(fresh), files);
    std::string empty = dir_.path() + "\\empty";
    fs::create_directories(empty);
    EXPECT_EQ(RunSilently(package, "/X /S /D=" + empty), 0u);
    EXPECT_EQ(Listing(empty), files);
    EXPECT_FALSE(Ran("one"));
    EXPECT_FALSE(Ran("two"));
    EXPECT_TRUE(fs::is_empty(into_));

    std::string taken = dir_.path() + "\\taken";
    fs::create_directories(taken);
    std::ofstream(taken + "\\mine.txt") << "the user's";
    EXPECT_EQ(RunSilently(package, "/S /X /D=" + taken + " /LOG=" + Quoted(log_)),
              kExitCodeBase + IDS_ERR_CREATE_FOLDER);
    EXPECT_EQ(Listing(taken), (std::vector<std::string>{"mine.txt"}));
    EXPECT_NE(ReadText(log_).find(taken), std::string::npos) << ReadText(log_);
}

// /X without /D: the unique folder below the template, kept.
TEST_F(Switches, ExtractOnlyWithoutAFolderKeepsTheUniqueFolder)
{
    std::string package = Build("");
    EXPECT_EQ(RunSilently(package, "/S /X"), 0u);
    std::string made = UniqueFolderIn(into_);
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(Listing(made), (std::vector<std::string>{"data", "data/more.bin", "setup.txt"}));
    EXPECT_FALSE(Ran("one"));
}

TEST_F(Switches, PasswordSwitchOpensAnEncryptedPackageOnlyWhenRight)
{
    SetEnvironmentVariableA("SFX_E2E_PASSWORD", "Kennwort");
    std::string package = Build("", "", {"--password-env", "SFX_E2E_PASSWORD"});
    const struct {
        const char* arguments;
        DWORD code;
    } cases[] = {
        {"/S /P=wrong", kExitCodeBase + IDS_PASSWORD_WRONG},
        {"/S", kExitCodeBase + IDS_PASSWORD_WRONG},
        {"/S /P=kennwort", kExitCodeBase + IDS_PASSWORD_WRONG},
        {"/S /P=Kennwort", 3010},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(RunSilently(package, c.arguments), c.code);
        EXPECT_EQ(Ran("two"), c.code == 3010);
        EXPECT_TRUE(fs::is_empty(into_));
    }
}

// /? lists the switches in the wizard's language; a switch not known shows
// the same list and fails, and only fails under /S.
TEST_F(Switches, HelpListsTheSwitchesAndAnUnknownSwitchFails)
{
    std::string package = Build("");
    const struct {
        const char* arguments;
        DWORD code;
    } cases[] = {{"/?", 0}, {"-HELP", 0}, {"/Q", kExitCodeBase + IDS_SWITCH_HELP}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        driver::StubProcess stub(package, "", c.arguments);
        HWND box = stub.waitForMessageBox();
        std::string text = driver::itemText(box, driver::kMessageBoxTextId);
        EXPECT_EQ(MessageLine(text), ByLanguage("Schalter:", "Switches:"));
        EXPECT_NE(text.find(ByLanguage("/X\tnur auspacken", "/X\textract only")), std::string::npos) << text;
        EXPECT_NE(text.find("setup.exe /S /LOG=C:\\Temp\\setup.log"), std::string::npos) << text;
        EXPECT_NE(text.find("setup.exe /X /D=C:\\unpacked"), std::string::npos) << text;
        driver::clickButton(box, IDOK);
        EXPECT_EQ(stub.waitForExit(), c.code);
    }
    EXPECT_EQ(RunSilently(package, "/S /Q"), kExitCodeBase + IDS_SWITCH_HELP);
    EXPECT_FALSE(Ran("one"));
    EXPECT_TRUE(fs::is_empty(into_));
}

// allow_switches = false: any switch is refused and nothing else happens;
// under /S only the exit code and the log tell.
TEST_F(Switches, PackageThatForbidsSwitchesRefusesThem)
{
    std::string package = Build("allow_switches = false\n");
    EXPECT_EQ(RunSilently(package, "/S /LOG=" + Quoted(log_)), kExitCodeBase + IDS_SWITCHES_REFUSED);
    EXPECT_NE(ReadText(log_).find(ByLanguage("Dieses Paket nimmt keine Schalter an.",
                                             "This package takes no command-line switches.")),
              std::string::npos)
        << ReadText(log_);

    driver::StubProcess stub(package, "", "/D=C:\\elsewhere");
    HWND box = stub.waitForMessageBox();
    EXPECT_EQ(driver::itemText(box, driver::kMessageBoxTextId),
              ByLanguage("Dieses Paket nimmt keine Schalter an.", "This package takes no command-line switches."));
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), kExitCodeBase + IDS_SWITCHES_REFUSED);
    EXPECT_FALSE(Ran("one"));
    EXPECT_TRUE(fs::is_empty(into_));
}

}  // namespace
