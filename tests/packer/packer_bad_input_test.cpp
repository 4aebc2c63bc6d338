// What the packer refuses, and what it leaves behind when it does: bad
// stubs, files it cannot read or name, config faults, damaged packages, and
// names that would lead out of the extraction folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "packer_support.h"
#include "support/temp_path.h"

#ifdef _WIN32
#include <windows.h>

#include "support/wine_host.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using packaging::Bytes;

namespace {

class BadInputTest : public PackerFolderTest {
  protected:
    BadInputTest()
    {
        WriteBytes(path("stub.exe"), FakeStub());
        WriteTree(path("in"), {{"a.txt", TextBytes(100)}, {"sub/b.txt", TextBytes(200000)}});
    }
};

TEST_F(BadInputTest, StubsThatCannotStartAPackage)
{
    WriteBytes(path("text.exe"), TextBytes(2000));
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    // Signed before a package was made from it: the trailer would have to
    // end where the certificate table starts, inside the program.
    Bytes signedStub = FakeStub();
    const std::size_t optional = 0x80 + 24, security = optional + 96 + 4 * 8;
    signedStub[0x80 + 20] = 224;   // SizeOfOptionalHeader of a 32-bit program
    signedStub[optional] = 0x0B;
    signedStub[optional + 1] = 0x01;
    signedStub[optional + 92] = 16;   // data directories
    const std::uint32_t tableOffset = static_cast<std::uint32_t>(signedStub.size()), tableSize = 64;
    std::memcpy(&signedStub[security], &tableOffset, 4);
    std::memcpy(&signedStub[security + 4], &tableSize, 4);
    signedStub.insert(signedStub.end(), 64, 0x30);
    WriteBytes(path("signed.exe"), signedStub);
    const struct {
        std::string stub;
        std::string message;
    } cases[] = {
        {"missing.exe", "missing.exe"},
        {"text.exe", "is not a Windows program"},
        {"package.exe", "already carries a trailer"},
        {"signed.exe", "is signed; a package made from it would not start"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stub);
        ExpectRefused(RunPacker({"build", arg("in"), "-o", arg("out.exe"), "--stub", arg(c.stub)}), {c.message});
        EXPECT_FALSE(fs::exists(path("out.exe")));
    }
}

#ifndef _WIN32
// Names that are no UTF-8 at all: only Linux lets a test make them.
TEST_F(BadInputTest, UnrepresentableNamesAreListedAndNothingIsWritten)
{
    WriteTree(path("in"), {{"caf\xE9.txt", TextBytes(10)}, {"docs/\x80.txt", TextBytes(10)},
                           {"ok/\xC3\xA4.txt", TextBytes(10)}});
    std::vector<std::string> before = listing();
    RunResult run = build("in", "out.exe");
    ExpectRefused(run, {"caf\\xE9.txt: the name is not valid UTF-8", "docs/\\x80.txt: the name is not valid UTF-8"});
    EXPECT_EQ(run.err.find("\xC3\xA4.txt"), std::string::npos) << "a name that can be written is not listed";
    EXPECT_EQ(listing(), before);
}
#endif

TEST_F(BadInputTest, UnreadableFileStopsTheBuildBeforeWriting)
{
#ifdef _WIN32
    // A file another program holds open without sharing cannot be read.
    HANDLE held = CreateFileW(path("in/sub/b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
#else
    // Root reads any file; a link to nothing cannot be read by anyone.
    if (geteuid() == 0) {
        fs::remove(path("in/sub/b.txt"));
        fs::create_symlink(path("nowhere.txt"), path("in/sub/b.txt"));
    } else {
        chmod(path("in/sub/b.txt").c_str(), 0);
    }
#endif
    RunResult run = build("in", "out.exe");
#ifdef _WIN32
    CloseHandle(held);
#endif
    ExpectRefused(run, {"b.txt"});
    EXPECT_FALSE(fs::exists(path("out.exe")));
}

TEST_F(BadInputTest, ConfigFaultNamesItsLine)
{
    const struct {
        std::string config;
        std::vector<std::string> fragments;
    } cases[] = {
        {"[neutral]\ntitle = \"Setup\"\nintro = \"Hello\"\n", {"cfg.toml:3: unknown key intro"}},
        // A Windows path in double quotes: TOML reads its backslashes as escapes.
        {"[neutral]\nfolder_template = \"C:\\Program Files\\Demo\"\n",
         {"cfg.toml:2: ", "escape sequence '\\P'", "write paths in single quotes, 'C:\\Program Files\\Demo', or "
                                                   "double each backslash, \"C:\\\\Program Files\\\\Demo\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        WriteBytes(path("cfg.toml"), Bytes(c.config.begin(), c.config.end()));
        RunResult run = build("in", "out.exe", {"-c", arg("cfg.toml")});
        for (const std::string& fragment : c.fragments)
            ExpectRefused(run, {fragment});
        EXPECT_FALSE(fs::exists(path("out.exe")));
    }
    // The hint's way works.
    std::string fixed = "[neutral]\nfolder_template = 'C:\\Program Files\\Demo'\n";
    WriteBytes(path("cfg.toml"), Bytes(fixed.begin(), fixed.end()));
    EXPECT_EQ(build("in", "out.exe", {"-c", arg("cfg.toml")}).exitCode, 0);
}

TEST_F(BadInputTest, FailedBuildKeepsTheOldPackageAndLeavesNoTemporaryFile)
{
    ASSERT_EQ(build("in", "out.exe").exitCode, 0);
    Bytes old = ReadBytes(path("out.exe"));
    std::vector<std::string> before = listing();
    // Fails late: on the password, after the walk and all checks.
    ExpectRefused(build("in", "out.exe", {"--password-env", "SFXPACK_TEST_UNSET_VARIABLE"}),
                  {"SFXPACK_TEST_UNSET_VARIABLE is not set"});
    EXPECT_TRUE(ReadBytes(path("out.exe")) == old);
    EXPECT_EQ(listing(), before);
}

#ifdef _WIN32
// The path with a prefix that hands it to the file system as it stands.
std::string Prefixed(const std::string& prefix, const fs::path& path)
{
    return prefix + U8(fs::absolute(path).make_preferred());
}

// The 8.3 name of a path, when the file system has one other than the long
// name; empty otherwise.
std::string ShortName(const fs::path& path)
{
    wchar_t buffer[MAX_PATH];
    DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || fs::path(buffer).filename() == path.filename())
        return "";
    return U8(fs::path(buffer));
}
#endif

// Whether the output lies in the folder being packed is asked of the file
// system, not of the names: any spelling of the same folder is refused,
// and an output elsewhere is written whatever the source's spelling.
TEST_F(BadInputTest, OutputInsideTheSourceFolderIsRefusedHoweverEitherIsWritten)
{
    fs::create_directories(path("other"));
    fs::create_directories(path("in2"));
    bool linked = MakeFolderLink(path("link to in"), path("in")) && MakeFolderLink(path("in/out link"), path("other"));
    const std::string inside = "lies inside the folder being packed";
    struct Case {
        std::string source;
        std::string output;
        bool refused;
    };
    std::vector<Case> cases = {
        {arg("in"), arg("in/sub/out.exe"), true},
        {arg("in"), arg("in") + "/../in/sub/out.exe", true},
        {arg("in/sub") + "/..", arg("in/out.exe"), true},
        {arg("in"), arg("other/out.exe"), false},
        {arg("in"), arg("in2/out.exe"), false},   // "in" begins its name, but it is another folder
    };
    if (linked) {
        cases.push_back({arg("in"), arg("link to in/sub/out.exe"), true});
        cases.push_back({arg("link to in"), arg("in/out.exe"), true});
        // A link in the source leads out of it; the walk does not follow it.
        cases.push_back({arg("in"), arg("in/out link/out.exe"), false});
    }
#ifdef _WIN32
    // Windows compares names without regard to case, takes paths that
    // begin \\?\ and \\.\ as they stand, and knows folders by their 8.3
    // names too.
    cases.push_back({arg("in"), arg("IN/Sub/out.exe"), true});
    cases.push_back({arg("in"), U8(path("in/sub/out.exe").make_preferred()), true});
    cases.push_back({Prefixed("\\\\?\\", path("in")), arg("other/out.exe"), false});
    cases.push_back({Prefixed("\\\\?\\", path("in")), arg("in/sub/out.exe"), true});
    cases.push_back({Prefixed("\\\\.\\", path("in")), arg("in/out.exe"), true});
    cases.push_back({arg("in"), Prefixed("\\\\?\\", path("IN/out.exe")), true});
    fs::create_directories(path("A long folder name"));
    WriteBytes(path("A long folder name/a.txt"), TextBytes(10));
    std::string shortName = ShortName(path("A long folder name"));
    if (!shortName.empty()) {
        cases.push_back({shortName, arg("A long folder name/out.exe"), true});
        cases.push_back({arg("A long folder name"), shortName + "\\out.exe", true});
    }
    // Under Wine the same folder is also reached through the drive Z:,
    // which maps the whole Linux file system: another drive letter, the same
    // folder; and a folder of that drive is another drive for the source.
    if (winehost::Available()) {
        std::string unixPath = winehost::UnixPath(path("in").wstring());
        ASSERT_FALSE(unixPath.empty());
        fs::path onZ = fs::path("Z:" + unixPath).make_preferred();
        cases.push_back({"\\\\?\\" + U8(onZ), arg("other/out.exe"), false});
        cases.push_back({"\\\\?\\" + U8(onZ), arg("in/sub/out.exe"), true});
        cases.push_back({arg("in"), U8(onZ / "out.exe"), true});
    }
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.output);
        fs::path output = U8(c.output);
        RunResult run = RunPacker({"build", c.source, "-o", c.output, "--stub", arg("stub.exe")});
        if (c.refused) {
            ExpectRefused(run, {inside});
            EXPECT_FALSE(fs::exists(output));
        } else {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_TRUE(fs::is_regular_file(output));
            fs::remove(output);
        }
    }
    if (linked) {
        RemoveFolderLink(path("in/out link"));
        RemoveFolderLink(path("link to in"));
    }
}

// One way to damage a package, and what the packer says about it.
struct Damage {
    const char* what;
    void (*damage)(Bytes& package);
    const char* inspectMessage;   // empty: inspect succeeds
    const char* message;          // what test and extract report
};

std::size_t Find(const Bytes& bytes, const Bytes& pattern)
{
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end()) -
                                    bytes.begin());
}

TEST_F(BadInputTest, DamagedPackagesAreReportedAndExtractLeavesNothing)
{
    ASSERT_EQ(build("in", "good.exe", {"--level", "0"}).exitCode, 0);
    const Bytes good = ReadBytes(path("good.exe"));
    const Damage cases[] = {
        {"footer cut off", [](Bytes& p) { p.resize(p.size() - 6); }, "no trailer found",
         "no trailer found"},
        {"record size past the footer",
         [](Bytes& p) {
             std::size_t archiveRecord = Find(p, {12, 0, 1, 0});
             p[archiveRecord] = 0xF0;
         },
         "the trailer is damaged", "the trailer is damaged"},
        {"central directory signature",
         [](Bytes& p) { p[Find(p, {'P', 'K', 1, 2})] = 'X'; }, "archive directory is damaged",
         "archive directory is damaged"},
        {"end record signature",
         [](Bytes& p) { p[Find(p, {'P', 'K', 5, 6})] = 'X'; }, "archive is damaged",
         "archive is damaged"},
        {"a byte of stored data",
         [](Bytes& p) {
             std::string line = "line 4000: the quick";
             p[Find(p, Bytes(line.begin(), line.end()))] ^= 1;
         },
         "", "CRC-32"},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes damaged = good;
        c.damage(damaged);
        WriteBytes(path("bad.exe"), damaged);
        RunResult inspected = RunPacker({"inspect", arg("bad.exe")});
        if (*c.inspectMessage)
            ExpectRefused(inspected, {c.inspectMessage});
        else
            EXPECT_EQ(inspected.exitCode, 0) << inspected.err;
        RunResult tested = RunPacker({"test", arg("bad.exe")});
        EXPECT_EQ(tested.exitCode, 1);
        EXPECT_NE((tested.out + tested.err).find(c.message), std::string::npos) << tested.out << tested.err;
        ExpectRefused(RunPacker({"extract", arg("bad.exe"), "-d", arg("out")}), {c.message});
        EXPECT_FALSE(fs::exists(path("out"))) << "extract left files behind";
    }
}

// Entry data that do not end exactly at the directory's sizes: the CRC-32
// covers only the declared part, so only the sizes tell the damage.
TEST_F(BadInputTest, EntriesNotEndingAtTheirSizesAreDamaged)
{
    using packaging::ZipEntry;
    using packaging::ZipMethod;
    const Bytes data = TextBytes(100);
    const Bytes half(data.begin(), data.begin() + 50);
    const struct {
        const char* what;
        ZipEntry entry;
    } cases[] = {
        {"a deflate stream longer than its size",
         ZipEntry::prepared("long.txt", ZipMethod::kDeflated, packaging::deflateRaw(data), packaging::crc32Of(half),
                            50)},
        {"stored data longer than their size",
         ZipEntry::prepared("long.txt", ZipMethod::kStored, data, packaging::crc32Of(half), 50)},
        {"a deflate stream for an empty file",
         ZipEntry::prepared("long.txt", ZipMethod::kDeflated, packaging::deflateRaw(data), 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        packaging::ZipWriter zip;
        zip.add(ZipEntry::file("first.txt", TextBytes(10)));
        zip.add(c.entry);
        WriteBytes(path("long.exe"), packaging::assemblePackage(FakeStub(), zip.build(), packaging::TrailerBuilder()));
        RunResult tested = RunPacker({"test", arg("long.exe")});
        EXPECT_EQ(tested.exitCode, 1);
        EXPECT_NE(tested.out.find("FAILED long.txt: its data do not end where the directory's sizes say"),
                  std::string::npos)
            << tested.out << tested.err;
        ExpectRefused(RunPacker({"extract", arg("long.exe"), "-d", arg("out")}),
                      {"long.txt: its data do not end where the directory's sizes say"});
        EXPECT_FALSE(fs::exists(path("out"))) << "extract left files behind";
    }
}

TEST_F(BadInputTest, NamesLeavingTheFolderAreRefusedBeforeAnythingIsWritten)
{
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::file("fine.txt", TextBytes(10)));
    zip.add(packaging::ZipEntry::file("../evil.txt", TextBytes(10)));
    zip.add(packaging::ZipEntry::file("C:evil.txt", TextBytes(10)));
    WriteBytes(path("evil.exe"), packaging::assemblePackage(FakeStub(), zip.build(), packaging::TrailerBuilder()));
    fs::create_directory(path("out"));

    ExpectRefused(RunPacker({"extract", arg("evil.exe"), "-d", arg("out")}),
                  {"../evil.txt: its name would lead out", "C:evil.txt: its name would lead out"});
    EXPECT_TRUE(fs::is_empty(path("out")));
    EXPECT_FALSE(fs::exists(path("evil.txt")));
    RunResult tested = RunPacker({"test", arg("evil.exe")});
    EXPECT_EQ(tested.exitCode, 1);
    EXPECT_NE(tested.out.find("FAILED ../evil.txt"), std::string::npos) << tested.out;
}

// A stub writes the second of two such entries over the first (or cannot
// make the folder the second needs); extract, with or without
// --overwrite, refuses the package before it writes anything.
TEST_F(BadInputTest, EntriesThatWouldBeOneFileOnWindowsAreReportedAndNeverReplaceEachOther)
{
    auto file = [](std::string name, bool utf8 = false) {
        packaging::ZipEntry entry = packaging::ZipEntry::file(std::move(name), TextBytes(10));
        entry.utf8Name = utf8;
        return entry;
    };
    const struct {
        const char* what;
        std::vector<packaging::ZipEntry> entries;
        std::string report;   // empty: the package is fine
    } cases[] = {
        {"the same name twice", {file("a.txt"), file("a.txt")}, "a.txt: the same name on Windows as a.txt"},
        {"names that differ in case", {file("Readme.TXT"), file("sub/x.txt"), file("README.txt")},
         "README.txt: the same name on Windows as Readme.TXT"},
        {"an OEM and a UTF-8 name of one letter", {file("\x8E.txt"), file("\xC3\xA4.txt", true)},
         "\xC3\xA4.txt: the same name on Windows as \xC3\x84.txt"},
        {"the same folders spelt apart", {file("Sub/a.txt"), file("sub\\.\\A.TXT")},
         "sub\\.\\A.TXT: the same name on Windows as Sub/a.txt"},
        {"a file where a folder is needed", {file("docs"), file("Docs/a.txt")},
         "Docs/a.txt: needs a folder where the file docs is"},
        {"two folder entries of one name", {packaging::ZipEntry::directory("d/"), packaging::ZipEntry::directory("D/"),
                                            file("d/x.txt")}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        packaging::ZipWriter zip;
        for (const packaging::ZipEntry& entry : c.entries)
            zip.add(entry);
        WriteBytes(path("twice.exe"), packaging::assemblePackage(FakeStub(), zip.build(), packaging::TrailerBuilder()));
        fs::remove_all(path("out"));
        WriteTree(path("out"), {{"mine.txt", {'m', 'i', 'n', 'e'}}});

        RunResult inspected = RunPacker({"inspect", arg("twice.exe")});
        EXPECT_EQ(inspected.exitCode, 0) << inspected.err;
        RunResult tested = RunPacker({"test", arg("twice.exe")});
        for (bool overwrite : {false, true}) {
            std::vector<std::string> arguments = {"extract", arg("twice.exe"), "-d", arg("out")};
            if (overwrite)
                arguments.push_back("--overwrite");
            RunResult extracted = RunPacker(arguments);
            if (c.report.empty()) {
                EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
                continue;
            }
            ExpectRefused(extracted, {c.report});
            EXPECT_EQ(listing("out"), std::vector<std::string>{"mine.txt"}) << "written before the refusal";
        }
        if (c.report.empty()) {
            EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
            EXPECT_EQ(inspected.out.find("the same name"), std::string::npos) << inspected.out;
            continue;
        }
        EXPECT_NE(inspected.out.find("(" + c.report.substr(c.report.find(": ") + 2)), std::string::npos)
            << inspected.out;
        EXPECT_EQ(tested.exitCode, 1);
        EXPECT_NE(tested.out.find("FAILED " + c.report), std::string::npos) << tested.out;
    }
}

// Extracting again into the same folder meets every file: the refusal
// says so once with their count, and --overwrite says how many it replaced.
TEST_F(BadInputTest, ExtractingAgainCountsTheFilesInTheWayOnce)
{
    std::vector<TreeItem> many;
    for (int i = 0; i < 40; i++)
        many.push_back({"many/f" + std::to_string(i) + ".txt", TextBytes(10 + i)});
    WriteTree(path("in"), many);
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    ASSERT_EQ(RunPacker({"extract", arg("package.exe"), "-d", arg("out")}).exitCode, 0);
    WriteBytes(path("out/many/f7.txt"), {'m', 'i', 'n', 'e'});

    RunResult again = RunPacker({"extract", arg("package.exe"), "-d", arg("out")});
    ExpectRefused(again, {"42 files of the package exist there already", "--overwrite replaces them"});
    EXPECT_EQ(std::count(again.err.begin(), again.err.end(), '\n'), 2) << again.err;
    EXPECT_TRUE(ReadBytes(path("out/many/f7.txt")) == (Bytes{'m', 'i', 'n', 'e'}));

    RunResult replaced = RunPacker({"extract", arg("package.exe"), "-d", arg("out"), "--overwrite"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_NE(replaced.out.find("42 files extracted into"), std::string::npos) << replaced.out;
    EXPECT_NE(replaced.out.find("42 of them over files that were there"), std::string::npos) << replaced.out;
    EXPECT_EQ(replaced.err, "");
    EXPECT_TRUE(ReadBytes(path("out/many/f7.txt")) == TextBytes(17));
}

TEST_F(BadInputTest, ExtractReplacesFilesOnlyWhenAsked)
{
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    fs::create_directories(path("out/sub"));
    WriteBytes(path("out/sub/b.txt"), {'o', 'l', 'd'});
    ExpectRefused(RunPacker({"extract", arg("package.exe"), "-d", arg("out")}), {"b.txt exists", "--overwrite"});
    EXPECT_TRUE(ReadBytes(path("out/sub/b.txt")) == (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(fs::exists(path("out/a.txt"))) << "a failed extraction takes back what it wrote";

    RunResult replaced = RunPacker({"extract", arg("package.exe"), "-d", arg("out"), "--overwrite"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_TRUE(ReadBytes(path("out/sub/b.txt")) == TextBytes(200000));
}

}  // namespace
