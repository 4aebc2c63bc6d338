// The command line as a new user meets it: the version, help for every
// command with examples that run as printed, the word it did not understand
// named with what it takes instead, -q on every command, and -o - refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "support/zip_builder.h"
#include "config_file.h"
#include "packer_support.h"
#include "setting_definitions.h"
#include "shell_syntax.h"
#include "stub_file.h"
#include "support/temp_path.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <sys/wait.h>
#endif

using packaging::Bytes;

namespace {

// The packer run with its line ends as on Linux: Windows writes text
// output with CR LF.
RunResult WithoutCarriageReturns(RunResult run)
{
    for (std::string* text : {&run.out, &run.err})
        text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
    return run;
}

RunResult RunSfxpack(const std::vector<std::string>& arguments)
{
    return WithoutCarriageReturns(RunPacker(arguments));
}

RunResult RunSfxpackAt(const fs::path& program, const std::vector<std::string>& arguments)
{
    return WithoutCarriageReturns(RunPackerAt(program, arguments));
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Holds(const std::string& text, const std::string& fragment)
{
    return text.find(fragment) != std::string::npos;
}

// The commands the program's help lists, read from it, so that a command
// added later is checked as well.
std::vector<std::string> ListedCommands()
{
    RunResult help = RunSfxpack({"--help"});
    std::vector<std::string> commands;
    bool inList = false;
    for (const std::string& line : Lines(help.out)) {
        if (line == "Commands:") {
            inList = true;
        } else if (inList && line.size() > 2 && line[0] == ' ' && line[2] != ' ') {
            commands.push_back(line.substr(2, line.find(' ', 2) - 2));
        } else if (inList) {
            break;
        }
    }
    return commands;
}

// The prompt the examples show: cmd.exe's on Windows, a POSIX shell's on
// Linux, as the packer's users type them there.
#ifdef _WIN32
const std::string kPrompt = "> ";
const std::string kSetVariable = "set ";
#else
const std::string kPrompt = "$ ";
const std::string kSetVariable = "export ";
#endif

// The example lines at the end of a help text, without their "  $ ": the
// commands, and the lines that set a variable for those after them.
std::vector<std::string> Examples(const std::string& help)
{
    std::vector<std::string> examples;
    for (const std::string& line : Lines(help)) {
        std::size_t prompt = line.find(kPrompt);
        if (prompt != 2 || line.find_first_not_of(' ') != prompt)
            continue;
        std::string example = line.substr(prompt + kPrompt.size());
        if (example.rfind("sfxpack ", 0) == 0 || example.rfind(kSetVariable, 0) == 0)
            examples.push_back(example);
    }
    return examples;
}

#ifdef _WIN32
// A command line split as a Windows program's C runtime splits it, by the
// system's own CommandLineToArgvW; cmd.exe leaves the double quotes to it.
std::vector<std::string> SplitLikeShell(const std::string& line)
{
    int count = 0;
    wchar_t** split = CommandLineToArgvW(U8(line).c_str(), &count);
    std::vector<std::string> words;
    for (int i = 0; i < count; i++)
        words.push_back(U8(fs::path(split[i])));
    LocalFree(split);
    return words;
}

// "set NAME=value": everything after '=' is the value, as cmd.exe takes it.
std::pair<std::string, std::string> SplitAssignment(const std::string& line)
{
    std::string assignment = line.substr(kSetVariable.size());
    std::size_t equals = assignment.find('=');
    return {assignment.substr(0, equals), assignment.substr(equals + 1)};
}
#else
// A command line split as a POSIX shell splits it: blanks between words,
// single quotes literal, double quotes with backslash before " \ $ `.
std::vector<std::string> SplitLikeShell(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); i++) {
        char c = line[i];
        if (c == ' ') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            std::size_t end = line.find('\'', i + 1);
            word += line.substr(i + 1, end - i - 1);
            i = end;
        } else if (c == '"') {
            for (i++; i < line.size() && line[i] != '"'; i++) {
                if (line[i] == '\\' && i + 1 < line.size() && std::string("\"\\$`").find(line[i + 1]) != std::string::npos)
                    i++;
                word += line[i];
            }
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// "export NAME=value", the value as the shell reads the word.
std::pair<std::string, std::string> SplitAssignment(const std::string& line)
{
    std::string assignment = SplitLikeShell(line.substr(kSetVariable.size())).front();
    std::size_t equals = assignment.find('=');
    return {assignment.substr(0, equals), assignment.substr(equals + 1)};
}
#endif

void SetEnvironment(const char* name, const char* value)
{
#ifdef _WIN32
    // CreateProcess hands on the system's copy of the environment.
    SetEnvironmentVariableA(name, value);
#else
    setenv(name, value, 1);
#endif
}

// Runs the packer in another current folder: the examples name their
// files relative to it.
class CurrentFolder {
  public:
    explicit CurrentFolder(const fs::path& folder) : before_(fs::current_path()) { fs::current_path(folder); }
    ~CurrentFolder() { fs::current_path(before_); }

  private:
    fs::path before_;
};

class CommandLineTest : public PackerFolderTest {
  protected:
    CommandLineTest()
    {
        WriteBytes(path("stub.exe"), FakeStub());
        WriteTree(path("in"), {{"a.txt", TextBytes(100)}});
    }
};

TEST(CommandLineVersion, NamesThePackerAndTheStubsItWouldTake)
{
    RunResult run = RunSfxpack({"--version"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], std::string("sfxpack ") + SFX_VERSION);
    EXPECT_EQ(lines[1].rfind("32-bit stub: ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("64-bit stub: ", 0), 0u) << lines[2];
#ifdef _WIN32
    // The packer of a Windows build finds the stub of the same build, which
    // carries the same version.
    const std::string& own = lines[sizeof(void*) == 8 ? 2 : 1];
    EXPECT_TRUE(Holds(own, std::string(": ") + SFX_VERSION + " (")) << own;
#endif
    for (std::size_t i = 1; i < lines.size(); i++)
        EXPECT_TRUE(Holds(lines[i], std::string(": ") + SFX_VERSION + " (") || Holds(lines[i], "none found"))
            << lines[i];
    // Each path as the system writes it, with one kind of separator.
#ifdef _WIN32
    const char foreign = '/';
#else
    const char foreign = '\\';
#endif
    for (std::size_t i = 1; i < lines.size(); i++)
        EXPECT_EQ(lines[i].find(foreign), std::string::npos) << lines[i];
}

// The version resource as the resource compiler lays it out: three words,
// the key in UTF-16 and the fixed part at the next multiple of four.
Bytes WithVersionResource(Bytes program, std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d,
                          std::size_t misalign)
{
    program.resize(program.size() + misalign, 0);
    Bytes block = {0x5C, 0x00, 0x34, 0x00, 0x00, 0x00};
    for (char ch : std::string("VS_VERSION_INFO"))
        block.insert(block.end(), {static_cast<std::uint8_t>(ch), 0});
    block.insert(block.end(), {0, 0, 0, 0});   // the key's terminating zero, then padding to 40
    auto put32 = [&block](std::uint32_t value) {
        for (int i = 0; i < 4; i++)
            block.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    put32(0xFEEF04BD);
    put32(0x00010000);
    put32(static_cast<std::uint32_t>(a) << 16 | b);
    put32(static_cast<std::uint32_t>(c) << 16 | d);
    program.insert(program.end(), block.begin(), block.end());
    return program;
}

TEST(CommandLineVersion, StubVersionIsReadFromItsResource)
{
    Bytes cut = WithVersionResource(FakeStub(), 1, 2, 3, 0, 0);
    cut.resize(cut.size() - 12);
    const struct {
        Bytes stub;
        std::optional<std::string> version;
    } cases[] = {
        {WithVersionResource(FakeStub(), 1, 2, 3, 0, 0), "1.2.3"},
        {WithVersionResource(FakeStub(), 10, 0, 7, 42, 2), "10.0.7.42"},
        {FakeStub(), std::nullopt},
        {cut, std::nullopt},   // the key without the whole fixed part behind it
    };
    for (const auto& c : cases)
        EXPECT_EQ(packer::StubVersion(c.stub), c.version) << (c.version ? *c.version : "none");
}

// The stub a --version line names, and the version it carries: "3.0.0".
struct NamedStub {
    std::string version;
    fs::path path;
};
std::optional<NamedStub> StubOfLine(const std::string& line)
{
    std::size_t open = line.find(" (");
    if (line.empty() || line.back() != ')' || open == std::string::npos)
        return std::nullopt;
    std::size_t colon = line.find(": ");
    return NamedStub{line.substr(colon + 2, open - colon - 2), U8(line.substr(open + 2, line.size() - open - 3))};
}

// A packer copied elsewhere, as a package installs it, finds its stubs
// relative to itself: beside it first, then in ../lib/sfxpack; never in
// the build tree it was made in.
TEST_F(CommandLineTest, StubsAreFoundBesideThePackerThenInItsLibraryFolder)
{
    fs::path built = U8(std::string(SFX_PACKER_PATH));
    fs::path packer = path("prefix/bin") / built.filename();
    fs::create_directories(packer.parent_path());
    fs::copy_file(built, packer);
    auto versionLines = [&] {
        RunResult run = RunSfxpackAt(packer, {"--version"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Lines(run.out);
    };
    auto expectStub = [](const std::string& line, const std::string& version, const fs::path& file) {
        std::optional<NamedStub> stub = StubOfLine(line);
        ASSERT_TRUE(stub) << line;
        EXPECT_EQ(stub->version, version) << line;
        EXPECT_TRUE(fs::equivalent(stub->path, file)) << line;
    };

    std::vector<std::string> none = versionLines();
    ASSERT_EQ(none.size(), 3u);
    EXPECT_TRUE(Holds(none[1], "none found")) << none[1];
    EXPECT_TRUE(Holds(none[2], "none found")) << none[2];
    RunResult refused = RunSfxpackAt(packer, {"build", arg("in"), "-o", arg("p.exe")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Holds(refused.err, "no 32-bit stub found")) << refused.err;
    EXPECT_FALSE(fs::exists(path("p.exe")));

    fs::create_directories(path("prefix/lib/sfxpack"));
    WriteBytes(path("prefix/lib/sfxpack/sfxstub32.exe"), WithVersionResource(FakeStub(), 2, 0, 0, 0, 0));
    WriteBytes(path("prefix/lib/sfxpack/sfxstub64.exe"), WithVersionResource(FakeStub(0x8664), 2, 0, 0, 0, 0));
    std::vector<std::string> installed = versionLines();
    ASSERT_EQ(installed.size(), 3u);
    expectStub(installed[1], "2.0.0", path("prefix/lib/sfxpack/sfxstub32.exe"));
    expectStub(installed[2], "2.0.0", path("prefix/lib/sfxpack/sfxstub64.exe"));

    Bytes beside = WithVersionResource(FakeStub(), 3, 0, 0, 0, 0);
    WriteBytes(path("prefix/bin/sfxstub32.exe"), beside);
    std::vector<std::string> both = versionLines();
    ASSERT_EQ(both.size(), 3u);
    expectStub(both[1], "3.0.0", path("prefix/bin/sfxstub32.exe"));
    expectStub(both[2], "2.0.0", path("prefix/lib/sfxpack/sfxstub64.exe"));
    RunResult packed = RunSfxpackAt(packer, {"build", arg("in"), "-o", arg("p.exe")});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    Bytes package = ReadBytes(path("p.exe"));
    EXPECT_TRUE(std::equal(beside.begin(), beside.end(), package.begin()));
}

TEST(CommandLineHelp, EveryCommandExplainsItselfTheSameWayTwiceAndEndsWithExamples)
{
    std::vector<std::string> commands = ListedCommands();
    for (const char* expected : {"build", "inspect", "test", "extract", "help"})
        EXPECT_NE(std::find(commands.begin(), commands.end(), expected), commands.end()) << expected;
    RunResult program = RunSfxpack({"--help"});
    RunResult helpAlone = RunSfxpack({"help"});
    EXPECT_EQ(helpAlone.exitCode, 0);
    EXPECT_EQ(helpAlone.out, program.out);
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        RunResult help = RunSfxpack({"help", command});
        RunResult dashed = RunSfxpack({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << help.err;
        EXPECT_EQ(help.out, dashed.out);
        EXPECT_TRUE(help.err.empty()) << help.err;
        EXPECT_TRUE(Holds(help.out, "Usage: sfxpack " + command)) << help.out;
        std::vector<std::string> lines = Lines(help.out);
        auto examples = std::find(lines.begin(), lines.end(), "Examples:");
        ASSERT_NE(examples, lines.end()) << help.out;
        std::vector<std::string> after(examples + 1, lines.end());
        std::size_t commandLines = 0;
        for (const std::string& example : after) {
            if (example.rfind("  " + kPrompt + kSetVariable, 0) == 0)
                continue;   // a variable the next line takes
            EXPECT_EQ(example.rfind("  " + kPrompt + "sfxpack " + command, 0), 0u) << example;
            commandLines++;
        }
        EXPECT_GE(commandLines, 2u);
        EXPECT_LE(commandLines, 3u);
        EXPECT_EQ(Examples(help.out).size(), after.size()) << help.out;
    }
}

// cmd.exe's users ask for help with /? and -?; a POSIX shell could turn
// either into a file name, so there they are no option.
TEST(CommandLineHelp, HelpAliasesOfTheShell)
{
    RunResult program = RunSfxpack({"--help"});
    RunResult build = RunSfxpack({"build", "--help"});
    for (const char* alias : {"/?", "-?"}) {
        SCOPED_TRACE(alias);
        RunResult asked = RunSfxpack({alias});
        RunResult buildAsked = RunSfxpack({"build", alias});
#ifdef _WIN32
        EXPECT_EQ(asked.exitCode, 0) << asked.err;
        EXPECT_EQ(asked.out, program.out);
        EXPECT_EQ(buildAsked.exitCode, 0) << buildAsked.err;
        EXPECT_EQ(buildAsked.out, build.out);
#else
        EXPECT_EQ(asked.exitCode, 2);
        EXPECT_EQ(buildAsked.exitCode, 2);
        EXPECT_TRUE(asked.out.empty()) << asked.out;
#endif
    }
#ifdef _WIN32
    EXPECT_TRUE(Holds(program.out, "print this help and exit (/? and -? too)")) << program.out;
#else
    EXPECT_FALSE(Holds(program.out, "/?")) << program.out;
#endif
}

// The examples' quoting, checked by what the shell itself makes of it: on
// Windows the C runtime's splitting (CommandLineToArgvW), on Linux sh.
TEST(CommandLineHelp, QuotedWordsReachTheProgramAsTheyAre)
{
    std::vector<std::string> words = {
        "plain.txt", "Demo setup", "\\\\!winprograms\\Demo", "C:\\Program Files\\", "a&b|c<d>e^f(g)", "it's",
        "caf\xC3\xA9 \xE2\x82\xAC", "tab\there", "",
    };
#ifdef _WIN32
    std::vector<std::string> split = SplitLikeShell("sfxpack " + packer::CommandLine(words, packer::ShellSyntax::kCmd));
    ASSERT_EQ(split.size(), words.size() + 1);
    for (std::size_t i = 0; i < words.size(); i++)
        EXPECT_EQ(split[i + 1], words[i]) << packer::QuoteWord(words[i], packer::ShellSyntax::kCmd);
#else
    words.push_back("$HOME `x` \"q\" !");   // cmd.exe would take the quotes for its own
    TempDir dir;
    fs::path out = fs::path(dir.path()) / "words.txt";
    std::string script = "printf '%s\\n' " + packer::CommandLine(words, packer::ShellSyntax::kPosix) + " > " +
                         packer::QuoteWord(out.string(), packer::ShellSyntax::kPosix);
    int status = std::system(("/bin/sh -c " + packer::QuoteWord(script, packer::ShellSyntax::kPosix)).c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << script;
    Bytes printed = ReadBytes(out);
    EXPECT_EQ(Lines(std::string(printed.begin(), printed.end())), words) << script;
#endif
}

TEST(CommandLineHelp, RequiredArgumentsShowInTheUsageAndTheList)
{
    RunResult help = RunSfxpack({"help", "build"});
    EXPECT_TRUE(Holds(help.out, "Usage: sfxpack build SOURCE -o FILE [OPTIONS]\n")) << help.out;
    EXPECT_TRUE(Holds(help.out, "  -o,--output FILE REQUIRED ")) << help.out;
    EXPECT_FALSE(Holds(help.out, "--stub FILE REQUIRED")) << help.out;
    EXPECT_TRUE(Holds(RunSfxpack({"help", "extract"}).out, "Usage: sfxpack extract PACKAGE [NAME...] [OPTIONS]\n"));
}

// Every example of every help text, run as printed in a folder holding the
// files they name; a build gets the test's stand-in for the stub.
TEST_F(CommandLineTest, EveryExampleRunsAsPrinted)
{
    WriteTree(path("payload"), {{"install.cmd", TextBytes(40)}, {"docs/readme.txt", TextBytes(3000)}});
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::file("install.cmd", TextBytes(40)));
    zip.add(packaging::ZipEntry::file("docs/readme.txt", TextBytes(2000)));
    WriteBytes(path("payload.zip"), zip.build(nullptr));
    std::string config = "[neutral]\ntitle = \"Demo\"\ncommand1 = \"install.cmd\"\n";
    WriteBytes(path("setup.toml"), Bytes(config.begin(), config.end()));
    // The password the examples set in SETUP_PASSWORD.
    std::string password = "only for the demo\n";
    WriteBytes(path("password.txt"), Bytes(password.begin(), password.end()));
    WriteBytes(path("stub64.exe"), FakeStub(0x8664));

    // The commands' examples first: build makes what the others read.
    std::vector<std::string> examples;
    for (const std::string& command : ListedCommands())
        for (const std::string& example : Examples(RunSfxpack({"help", command}).out))
            examples.push_back(example);
    for (const std::string& example : Examples(RunSfxpack({"--help"}).out))
        examples.push_back(example);
    ASSERT_GE(examples.size(), 10u);

    CurrentFolder here(root_);
    for (const std::string& example : examples) {
        SCOPED_TRACE(example);
        if (example.rfind(kSetVariable, 0) == 0) {
            auto [name, value] = SplitAssignment(example);
            SetEnvironment(name.c_str(), value.c_str());
            continue;
        }
        std::vector<std::string> words = SplitLikeShell(example);
        ASSERT_EQ(words.front(), "sfxpack");
        words.erase(words.begin());
        if (words.front() == "build") {
            bool want64 = std::find(words.begin(), words.end(), "--64") != words.end();
            words.insert(words.end(), {"--stub", arg(want64 ? "stub64.exe" : "stub.exe")});
        }
        RunResult run = RunSfxpack(words);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    }
    EXPECT_TRUE(fs::is_regular_file(path("unpacked/docs/readme.txt")));
}

TEST_F(CommandLineTest, UnknownWordIsNamedWithWhatIsAccepted)
{
    WriteBytes(path("p.exe"), {});
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> fragments;
    } cases[] = {
        {{"build", "--bogus", "x"}, {"unknown option --bogus for build", "-o/--output", "--level", "-q/--quiet"}},
        {{"build", "in", "-o", "out.exe", "--levle", "3"}, {"unknown option --levle for build; did you mean --level?"}},
        {{"biuld", "in"}, {"unknown command biuld; did you mean build?", "build, inspect, test, extract"}},
        {{"inspect", "p.exe", "q.exe"}, {"unexpected argument q.exe for inspect", "Usage: sfxpack inspect PACKAGE"}},
        {{"extract", "p.exe", "-x"}, {"unknown option -x for extract", "-d/--directory"}},
        {{"--bogus"}, {"unknown option --bogus", "--version", "build, inspect"}},
        {{}, {"no command given", "build, inspect, test, extract"}},
        {{"build", "in"}, {"--output is required", "Usage: sfxpack build SOURCE -o FILE [OPTIONS]"}},
        {{"help", "bogus"}, {"unknown command bogus", "build, inspect, test, extract"}},
        {{"help", "confg"}, {"unknown command confg; did you mean config?", "the topics config"}},
        {{"list", "p.exe", "--jsn"}, {"unknown option --jsn for list; did you mean --json?"}},
        {{"list"}, {"PACKAGE is required", "Usage: sfxpack list PACKAGE"}},
    };
    CurrentFolder here(root_);
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& word : c.arguments)
            shown += " " + word;
        SCOPED_TRACE("sfxpack" + shown);
        RunResult run = RunSfxpack(c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.empty()) << run.out;
        for (const std::string& fragment : c.fragments)
            EXPECT_TRUE(Holds(run.err, fragment)) << "no \"" << fragment << "\" in: " << run.err;
    }
    EXPECT_FALSE(fs::exists(path("out.exe")));
}

// Each command does its own work and no other's. Run where the user stands,
// in a folder that holds only a package, none writes anything there but
// extract into its -d folder: a command that fell through to another's code
// would unpack the package in place.
TEST_F(CommandLineTest, EveryCommandDoesItsOwnWorkOnly)
{
    fs::create_directories(path("here"));
    ASSERT_EQ(build("in", "here/p.exe").exitCode, 0);
    CurrentFolder here(path("here"));
    for (const std::string& command : ListedCommands()) {
        if (command == "build")
            continue;   // it needs a source and writes its output
        SCOPED_TRACE(command);
        std::vector<std::string> arguments = {command, command == "help" ? "config" : "p.exe"};
        if (command == "extract")
            arguments.insert(arguments.end(), {"-d", "unpacked"});
        RunResult run = RunSfxpack(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_FALSE(run.out.empty());
        EXPECT_FALSE(fs::exists(path("here/a.txt")));
    }
    EXPECT_TRUE(fs::is_regular_file(path("here/unpacked/a.txt")));
}

// `sfxpack help config`: every key with its syntax, from the same table the
// reader uses, and an example that the reader takes as it stands.
TEST(CommandLineHelp, ConfigTopicNamesEveryKeyAndItsExampleParses)
{
    RunResult run = RunSfxpack({"help", "config"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    for (const packer::SettingDefinition& setting : packer::kSettings)
        EXPECT_TRUE(Holds(run.out, std::string("\n    ") + setting.key + " = ")) << setting.key;
    for (const packer::LanguageName& language : packer::kLanguages)
        EXPECT_TRUE(Holds(run.out, std::string("[") + language.key + "]")) << language.key;

    std::vector<std::string> lines = Lines(run.out);
    auto example = std::find(lines.begin(), lines.end(), "  Example:");
    ASSERT_NE(example, lines.end()) << run.out;
    std::string config;
    for (auto line = example + 1; line != lines.end() && (line->empty() || line->rfind("      ", 0) == 0); ++line)
        config += (line->empty() ? "" : line->substr(6)) + "\n";
    packer::PackageSettings settings = packer::ParseConfigText(config, "example");
    EXPECT_TRUE(settings.text(packer::kTitleSetting, 1)) << config;
    EXPECT_FALSE(settings.patterns(packer::kExcludeSetting).empty()) << config;
}

// A value in single quotes, as copied from a POSIX example, keeps them in
// cmd.exe: said on Windows, where it is a likely mistake; on Linux the
// shell has taken such quotes away, and those left were meant.
TEST_F(CommandLineTest, SingleQuotedValuesAreWarnedAboutWhereTheShellKeepsThem)
{
    CurrentFolder here(root_);
    std::vector<std::string> arguments = {"build", "in", "-o", "p.exe", "--stub", "stub.exe", "--folder-template",
                                          "'\\\\!winpersonal\\Demo'", "--title", "Demo"};
    RunResult run = RunSfxpack(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
#ifdef _WIN32
    EXPECT_TRUE(Holds(run.err, "sfxpack: warning: --folder-template '\\\\!winpersonal\\Demo': the single quotes "
                               "are kept")) << run.err;
    EXPECT_TRUE(Holds(run.err, "\"\\\\!winpersonal\\Demo\"")) << run.err;
    EXPECT_FALSE(Holds(run.err, "--title")) << run.err;
#else
    EXPECT_FALSE(Holds(run.err, "single quotes")) << run.err;
#endif
    arguments.push_back("-q");
    RunResult quiet = RunSfxpack(arguments);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
}

TEST_F(CommandLineTest, StandardOutputIsRefusedAsTheOutput)
{
    CurrentFolder here(root_);
    RunResult run = RunSfxpack({"build", "in", "-o", "-", "--stub", "stub.exe"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Holds(run.err, "standard output")) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out.size() << " bytes on standard output";
    EXPECT_FALSE(fs::exists(path("-")));
}

TEST_F(CommandLineTest, QuietIsTakenByEveryCommandThatPrints)
{
    for (const std::string& command : ListedCommands()) {
        if (command == "help")
            continue;
        EXPECT_TRUE(Holds(RunSfxpack({"help", command}).out, "-q,--quiet")) << command;
    }
}

// A build with something to note: the note goes to standard error, the
// summary to standard output, and -q leaves out both; the other commands
// keep only what they were asked for.
TEST_F(CommandLineTest, QuietSilencesNotesAndSummaries)
{
    std::string config = "[neutral]\nintro_text = \"Hello\"\nintro_link = \"readme.txt\"\n";
    WriteBytes(path("setup.toml"), Bytes(config.begin(), config.end()));
    std::vector<std::string> build = {"build", arg("in"), "-o", arg("p.exe"), "--stub", arg("stub.exe"), "-c",
                                      arg("setup.toml")};
    RunResult loud = RunSfxpack(build);
    ASSERT_EQ(loud.exitCode, 0) << loud.err;
    EXPECT_TRUE(Holds(loud.err, "sfxpack: note: [neutral] intro_link \"readme.txt\" is no web address")) << loud.err;
    EXPECT_FALSE(Holds(loud.out, "note")) << loud.out;
    EXPECT_TRUE(Holds(loud.out, "1 files")) << loud.out;

    build.push_back("-q");
    const struct {
        std::vector<std::string> arguments;
        bool printsAnyway;   // the output is what the command is for
    } cases[] = {
        {build, false},
        {{"test", arg("p.exe"), "-q"}, false},
        {{"extract", arg("p.exe"), "-d", arg("out"), "-q"}, false},
        {{"inspect", arg("p.exe"), "--quiet"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        RunResult quiet = RunSfxpack(c.arguments);
        EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
        EXPECT_TRUE(quiet.err.empty()) << quiet.err;
        EXPECT_EQ(quiet.out.empty(), !c.printsAnyway) << quiet.out;
    }
    EXPECT_TRUE(fs::is_regular_file(path("out/a.txt")));
}

}  // namespace
