// What the packer must never destroy or print raw: an output that is no
// regular file or is one of the build's own inputs, a folder that extract
// fails in or that holds links, and names that carry terminal controls;
// and its warning about command programs that may come from outside the
// package.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "packer_support.h"
#include "support/temp_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

using packaging::Bytes;

namespace {

class SafetyTest : public PackerFolderTest {
  protected:
    SafetyTest()
    {
        WriteBytes(path("stub.exe"), FakeStub());
        WriteTree(path("in"), {{"a.txt", TextBytes(100)}, {"sub/b.txt", TextBytes(2000)}});
    }
};

// ---- -o replaces regular files only -------------------------------------

#ifndef _WIN32
bool IsFifo(const fs::path& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}

bool IsCharacterDevice(const fs::path& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}
#endif

TEST_F(SafetyTest, OutputThatIsNoRegularFileIsRefusedAndStays)
{
    fs::create_directory(path("folder"));
    fs::create_directory(path("elsewhere"));
    ASSERT_TRUE(MakeFolderLink(path("folder link"), path("elsewhere")));
    struct Case {
        std::string output;
        std::string message;
    };
    std::vector<Case> cases = {
        {"folder", "is a folder; the packer replaces regular files only"},
        {"folder link", "is a link to a folder; the packer replaces regular files only"},
    };
#ifdef _WIN32
    // NUL looks like a plain file to GetFileAttributesW; only its handle
    // says it is a device.
    cases.push_back({"NUL", "is a device; the packer replaces regular files only"});
#else
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_symlink("fifo", path("fifo link"));
    fs::create_symlink("nothing", path("dangling link"));
    cases.push_back({"fifo", "is a FIFO (named pipe); the packer replaces regular files only"});
    cases.push_back({"fifo link", "is a link to a FIFO (named pipe); the packer replaces regular files only"});
    cases.push_back({"dangling link", "is a link that leads nowhere; the packer writes through a link only to a "
                                      "file that exists"});
    // The device /dev/full, made anew here: a test must never aim at the
    // real one. Making devices takes root and a system that allows it.
    bool device = mknod(path("full").c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0;
    if (device)
        cases.push_back({"full", "is a device; the packer replaces regular files only"});
    else
        std::printf("no device node could be made here; that case is left out\n");
#endif
    std::vector<std::string> before = listing();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        // NUL is reached by its bare name in the current folder.
        std::string output = c.output == "NUL" ? "NUL" : arg(c.output);
        RunResult run = RunPacker({"build", arg("in"), "-o", output, "--stub", arg("stub.exe")});
        ExpectRefused(run, {c.message});
    }
    EXPECT_EQ(listing(), before) << "a refused build left a file behind or took one away";
    EXPECT_TRUE(fs::is_empty(path("elsewhere")));
#ifndef _WIN32
    EXPECT_TRUE(IsFifo(path("fifo")));
    if (device) {
        EXPECT_TRUE(IsCharacterDevice(path("full")));
    }
#endif
    RemoveFolderLink(path("folder link"));
}

#ifndef _WIN32
// Wine shows no link to a file as a reparse point, so this runs on Linux.
TEST_F(SafetyTest, OutputThatIsALinkToAFileGetsThePackageInThatFile)
{
    fs::create_directory(path("releases"));
    WriteBytes(path("releases/setup-1.exe"), {'o', 'l', 'd'});
    fs::create_symlink("releases/setup-1.exe", path("latest.exe"));
    RunResult run = build("in", "latest.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(path("latest.exe"))) << "the link was replaced by a file";
    Bytes package = ReadBytes(path("releases/setup-1.exe"));
    ASSERT_GT(package.size(), FakeStub().size());
    EXPECT_TRUE(Bytes(package.begin(), package.begin() + 512) == FakeStub());
    EXPECT_EQ(listing("releases"), std::vector<std::string>{"setup-1.exe"}) << "a temporary file was left";
}
#endif

TEST_F(SafetyTest, OutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::file("z.txt", TextBytes(50)));
    WriteBytes(path("in.zip"), zip.build());
    std::string config = "[neutral]\ntitle = \"Setup\"\n";
    WriteBytes(path("cfg.toml"), Bytes(config.begin(), config.end()));
    WriteBytes(path("password.txt"), {'s', 'e', 'c', 'r', 'e', 't', '\n'});
    fs::create_directory(path("other"));
    // The same files under other names: hard links are one file.
    fs::create_hard_link(path("in/sub/b.txt"), path("other/b-again.txt"));
    fs::create_hard_link(path("stub.exe"), path("other/stub-again.exe"));
    const struct {
        std::string source;
        std::string output;
        std::vector<std::string> extra;
        std::string message;
    } cases[] = {
        {"in", "stub.exe", {}, "is the stub"},
        {"in", "other/stub-again.exe", {}, "is the stub"},
        {"in", "other/../stub.exe", {}, "is the stub"},
        {"in.zip", "in.zip", {}, "is the ZIP file being packed"},
        {"in", "other/b-again.txt", {}, "is the file sub/b.txt of the folder being packed"},
        {"in", "cfg.toml", {"-c", arg("cfg.toml")}, "is the config file"},
        {"in", "password.txt", {"--password-file", arg("password.txt")}, "is the password file"},
    };
    std::vector<std::string> before = listing();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        Bytes old = ReadBytes(path(c.output));
        ExpectRefused(build(c.source, c.output, c.extra), {c.message, "the package would replace it"});
        EXPECT_TRUE(ReadBytes(path(c.output)) == old);
    }
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(listing("other"), (std::vector<std::string>{"b-again.txt", "stub-again.exe"}));
}

// ---- extract leaves the folder as it was ----------------------------------

TEST_F(SafetyTest, FailedOverwriteLeavesTheFolderAsItWas)
{
    // The last entry is damaged; the ones before it replace files.
    std::string marker = "the last entry, which is damaged";
    WriteBytes(path("in/z.txt"), Bytes(marker.begin(), marker.end()));
    ASSERT_EQ(build("in", "package.exe", {"--level", "0"}).exitCode, 0);
    Bytes package = ReadBytes(path("package.exe"));
    auto at = std::search(package.begin(), package.end(), marker.begin(), marker.end());
    ASSERT_NE(at, package.end());
    *at ^= 1;
    WriteBytes(path("damaged.exe"), package);

    WriteTree(path("out"), {{"a.txt", {'o', 'l', 'd', ' ', 'a'}},
                            {"sub/b.txt", {'o', 'l', 'd', ' ', 'b'}},
                            {"sub/mine.txt", {'m', 'i', 'n', 'e'}},
                            {"z.txt", {'o', 'l', 'd', ' ', 'z'}}});
    std::map<std::string, TreeNode> before = ReadTree(path("out"));
    for (bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "--sync" : "");
        std::vector<std::string> arguments = {"extract", arg("damaged.exe"), "-d", arg("out"), "--overwrite"};
        if (sync)
            arguments.push_back("--sync");
        ExpectRefused(RunPacker(arguments), {"z.txt", "CRC-32"});
        std::map<std::string, TreeNode> after = ReadTree(path("out"));
        ASSERT_EQ(after.size(), before.size()) << "names were added or removed";
        for (const auto& [name, node] : before) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(after.count(name));
            EXPECT_TRUE(after[name].content == node.content);
            if (!node.folder) {
                EXPECT_EQ(after[name].time, node.time);
            }
        }
    }

    // A folder the run made for -d goes again, with those made above it.
    ExpectRefused(RunPacker({"extract", arg("damaged.exe"), "-d", arg("fresh/deeper/out")}), {"CRC-32"});
    EXPECT_FALSE(fs::exists(path("fresh")));

    // Intact, the same package replaces them and leaves nothing aside.
    RunResult replaced = RunPacker({"extract", arg("package.exe"), "-d", arg("out"), "--overwrite", "--sync"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    std::map<std::string, Bytes> files = FilesBelow(path("out"));
    EXPECT_EQ(files.size(), 4u) << "a file moved aside was left behind";
    EXPECT_TRUE(files["sub/b.txt"] == TextBytes(2000));
    EXPECT_TRUE(files["sub/mine.txt"] == (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_TRUE(files["z.txt"] == Bytes(marker.begin(), marker.end()));
}

TEST_F(SafetyTest, FilesInTheWayAreListedBeforeAnythingIsWritten)
{
    WriteTree(path("in"), {{"c.txt", TextBytes(10)}, {"d.txt", TextBytes(10)}});
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    fs::create_directories(path("out/c.txt"));
    WriteBytes(path("out/d.txt"), {'o', 'l', 'd'});
    std::vector<std::string> before = listing("out");
    RunResult run = RunPacker({"extract", arg("package.exe"), "-d", arg("out"), "--overwrite"});
    ExpectRefused(run, {"c.txt exists and is a folder"});
    EXPECT_EQ(listing("out"), before);
    EXPECT_TRUE(ReadBytes(path("out/d.txt")) == (Bytes{'o', 'l', 'd'}));
    // The package itself is never the file an entry replaces.
    WriteTree(path("self"), {{"package.exe", TextBytes(10)}});
    ASSERT_EQ(build("self", "self/../package.exe").exitCode, 0);
    Bytes package = ReadBytes(path("package.exe"));
    ExpectRefused(RunPacker({"extract", arg("package.exe"), "-d", U8(root_), "--overwrite"}),
                  {"package.exe is the package being extracted"});
    EXPECT_TRUE(ReadBytes(path("package.exe")) == package);
}

#ifdef _WIN32
void SetAttributes(const fs::path& file, DWORD attributes)
{
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), attributes)) << U8(file);
}

// A file another program holds open without letting it be deleted or
// renamed: none of its names can be replaced meanwhile.
class HeldFile {
  public:
    explicit HeldFile(const fs::path& file)
        : handle_(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << U8(file);
    }
    ~HeldFile() { CloseHandle(handle_); }

  private:
    HANDLE handle_;
};
#else
// chattr +i: a file not even root can rename or remove. False where the
// file system or the user cannot set it.
bool MakeImmutable(const fs::path& file, bool immutable)
{
    std::string command = std::string("chattr ") + (immutable ? "+i '" : "-i '") + file.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}
#endif

// --overwrite replaces a read-only file as it replaces any other (Windows
// deletes no read-only file by itself): the old copy goes whatever its
// attributes, and nothing is left beside the new one. A file that cannot
// be replaced fails the run with the folder as it was.
TEST_F(SafetyTest, OverwriteReplacesReadOnlyFilesAndLeavesNothingBehind)
{
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    WriteTree(path("out"), {{"a.txt", B("old a")}, {"sub/b.txt", B("old b")}});
#ifdef _WIN32
    SetAttributes(path("out/a.txt"), FILE_ATTRIBUTE_READONLY);
    SetAttributes(path("out/sub/b.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#else
    fs::permissions(path("out/a.txt"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(path("out/sub/b.txt"), fs::perms::none);
#endif
    std::vector<std::string> arguments = {"extract", arg("package.exe"), "-d", arg("out"), "--overwrite"};
    RunResult run = RunPacker(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_EQ(listing("out"), (std::vector<std::string>{"a.txt", "sub"}));
    EXPECT_EQ(listing("out/sub"), std::vector<std::string>{"b.txt"});
    EXPECT_TRUE(ReadBytes(path("out/a.txt")) == TextBytes(100));
    EXPECT_TRUE(ReadBytes(path("out/sub/b.txt")) == TextBytes(2000));

    // A file that cannot be moved aside: the run fails, and the file
    // replaced before it comes back.
    WriteTree(path("out"), {{"a.txt", B("old a")}, {"sub/b.txt", B("old b")}});
    std::map<std::string, TreeNode> before = ReadTree(path("out"));
    {
#ifdef _WIN32
        HeldFile held(path("out/sub/b.txt"));
#else
        if (!MakeImmutable(path("out/sub/b.txt"), true))
            GTEST_SKIP() << "chattr +i is not available here";
#endif
        run = RunPacker(arguments);
#ifndef _WIN32
        MakeImmutable(path("out/sub/b.txt"), false);
#endif
    }
    ExpectRefused(run, {"b.txt"});
    std::map<std::string, TreeNode> after = ReadTree(path("out"));
    ASSERT_EQ(after.size(), before.size()) << "names were added or removed";
    for (const auto& [name, node] : before) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(after[name].content == node.content);
    }
}

// ---- build leaves nothing behind, not even when it is killed --------------

// The names in the folder that start like a temporary file of output.
std::vector<std::string> TemporaryFiles(const fs::path& folder, const std::string& output)
{
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        std::string name = U8(entry.path().filename());
        if (name.rfind("." + output + ".", 0) == 0)
            found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A build killed while it writes leaves its temporary file (hidden on
// Windows). The next build of the same output removes it, and only it: not
// one a running build holds, not one of another output's name, not one in
// another folder.
TEST_F(SafetyTest, StaleTemporaryFileOfAKilledBuildIsRemovedByTheNextBuild)
{
    // Big enough that deflate takes a while, so that the kill falls within.
    WriteTree(path("big"), {{"noise.bin", NoiseBytes(48 << 20, 7)}});
    std::string killedName;
    {
        StartedPacker packer({"build", arg("big"), "-o", arg("out.exe"), "--stub", arg("stub.exe"), "--level", "9"});
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (TemporaryFiles(root_, "out.exe").empty() && packer.running() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        packer.kill();
    }
    ASSERT_FALSE(fs::exists(path("out.exe"))) << "the build ended before it could be killed";
    std::vector<std::string> left = TemporaryFiles(root_, "out.exe");
    ASSERT_EQ(left.size(), 1u);
    killedName = left.front();
#ifdef _WIN32
    EXPECT_TRUE(GetFileAttributesW(path(killedName).c_str()) & FILE_ATTRIBUTE_HIDDEN);
#endif

    // What must stay: a running build's (held here as that build holds it),
    // another output's, one in another folder, a name of another pattern.
    fs::create_directories(path("elsewhere"));
    for (const char* name : {".out.exe.777.tmp", ".other.exe.123.tmp", "elsewhere/.out.exe.123.tmp",
                             ".out.exe.abc.tmp"})
        WriteBytes(path(name), TextBytes(10));
#ifdef _WIN32
    HANDLE running = CreateFileW(path(".out.exe.777.tmp").c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(running, INVALID_HANDLE_VALUE);
#else
    int running = open(path(".out.exe.777.tmp").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(running, 0);
    ASSERT_EQ(flock(running, LOCK_EX), 0);
#endif
    RunResult next = build("in", "out.exe");
#ifdef _WIN32
    CloseHandle(running);
#else
    close(running);
#endif
    ASSERT_EQ(next.exitCode, 0) << next.err;
    EXPECT_NE(next.err.find("removed " + arg(killedName) + ", left by a build of this output that was stopped"),
              std::string::npos)
        << next.err;
    EXPECT_EQ(TemporaryFiles(root_, "out.exe"), (std::vector<std::string>{".out.exe.777.tmp", ".out.exe.abc.tmp"}));
    EXPECT_TRUE(fs::exists(path(".other.exe.123.tmp")));
    EXPECT_TRUE(fs::exists(path("elsewhere/.out.exe.123.tmp")));
    EXPECT_EQ(listed("out.exe").count("a.txt"), 1u);
#ifdef _WIN32
    // The package itself is not hidden, though it was written so.
    EXPECT_FALSE(GetFileAttributesW(path("out.exe").c_str()) & FILE_ATTRIBUTE_HIDDEN);
#endif
}

#ifdef _WIN32
// An output Windows will not let go of (a package running, or a file some
// program holds) is named as such before anything is written, and stays.
TEST_F(SafetyTest, OutputInUseIsSaidToBeInUse)
{
    ASSERT_EQ(build("in", "out.exe").exitCode, 0);
    Bytes old = ReadBytes(path("out.exe"));
    std::vector<std::string> before = listing();
    RunResult run;
    {
        HeldFile held(path("out.exe"));
        run = build("in", "out.exe", {"--level", "9"});
    }
    ExpectRefused(run, {"cannot replace " + arg("out.exe") + ": it is in use (is the package running?)"});
    EXPECT_EQ(run.err.find(".tmp"), std::string::npos) << run.err;
    EXPECT_TRUE(ReadBytes(path("out.exe")) == old);
    EXPECT_EQ(listing(), before);
}
#endif

// ---- extract never writes through a link ------------------------------------

TEST_F(SafetyTest, ExtractDoesNotWriteThroughALinkedFolder)
{
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    fs::create_directories(path("out"));
    fs::create_directories(path("elsewhere"));
    ASSERT_TRUE(MakeFolderLink(path("out/sub"), path("elsewhere")));
    for (bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "--overwrite" : "");
        std::vector<std::string> arguments = {"extract", arg("package.exe"), "-d", arg("out")};
        if (overwrite)
            arguments.push_back("--overwrite");
        ExpectRefused(RunPacker(arguments), {"sub is a link; the packer does not extract through links"});
        EXPECT_TRUE(fs::is_empty(path("elsewhere"))) << "written through the link";
        EXPECT_EQ(listing("out"), std::vector<std::string>{"sub"});
    }
    RemoveFolderLink(path("out/sub"));
}

#ifndef _WIN32
TEST_F(SafetyTest, OverwriteDoesNotReplaceALinkToAFile)
{
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    fs::create_directories(path("out"));
    WriteBytes(path("target.txt"), {'k', 'e', 'e', 'p'});
    fs::create_symlink(path("target.txt"), path("out/a.txt"));
    ExpectRefused(RunPacker({"extract", arg("package.exe"), "-d", arg("out"), "--overwrite"}),
                  {"a.txt is a link"});
    EXPECT_TRUE(fs::is_symlink(path("out/a.txt")));
    EXPECT_TRUE(ReadBytes(path("target.txt")) == (Bytes{'k', 'e', 'e', 'p'}));
}
#endif

// ---- nothing from a package reaches the terminal raw --------------------

// True when text[i] starts a bidirectional control in UTF-8: U+061C,
// U+200E, U+200F, U+202A..U+202E, U+2066..U+2069.
bool IsBidiControlAt(const std::string& text, std::size_t i)
{
    auto byte = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0; };
    if (byte(i) == 0xD8 && byte(i + 1) == 0x9C)
        return true;
    if (byte(i) != 0xE2)
        return false;
    unsigned char second = byte(i + 1);
    unsigned char third = byte(i + 2);
    return (second == 0x80 && (third == 0x8E || third == 0x8F || (third >= 0xAA && third <= 0xAE))) ||
           (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

// The first byte a terminal would act on, or that would turn a name
// around, as text; empty when there is none. The line end is allowed, and
// on Windows the CR before it.
std::string RawControl(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool lineEnd = c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if ((c < 0x20 && !lineEnd) || c == 0x7F || c1 || IsBidiControlAt(text, i))
            return "byte " + std::to_string(c) + " at " + std::to_string(i) + " in: " + text;
    }
    return {};
}

TEST_F(SafetyTest, NamesAndTextsFromAPackageArePrintedEscaped)
{
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::file("\x1B]0;owned\x07title.txt", TextBytes(10)));
    zip.add(packaging::ZipEntry::file("clear\x1B[2J.txt", TextBytes(10)));
    zip.add(packaging::ZipEntry::file("csi\x9B" "31m.txt", TextBytes(10)));   // CSI in an 8-bit terminal
    zip.add(packaging::ZipEntry::file("del\x7F.txt", TextBytes(10)));
    packaging::TrailerBuilder trailer;
    trailer.text(packaging::kTitle, 0, "Setup\x1B[2J\x7F");
    trailer.text(packaging::kIntroText, 0, "line one\r\nline\ttwo\x1B[1A");
    WriteBytes(path("hostile.exe"), packaging::assemblePackage(FakeStub(), zip.build(), trailer));

    RunResult text = RunPacker({"inspect", arg("hostile.exe")});
    EXPECT_EQ(RawControl(text.out + text.err), "");
    for (const char* shown : {"\\x1B]0;owned\\x07title.txt", "clear\\x1B[2J.txt", "csi\\x9B31m.txt", "del\\x7F.txt",
                              "\"Setup\\x1B[2J\\x7F\"", "\"line one\\r\\nline\\ttwo\\x1B[1A\""})
        EXPECT_NE(text.out.find(shown), std::string::npos) << shown << " not in:\n" << text.out;
    RunResult json = RunPacker({"inspect", "--json", arg("hostile.exe")});
    EXPECT_EQ(RawControl(json.out + json.err), "");
    EXPECT_NE(json.out.find("\\u001B]0;owned\\u0007title.txt"), std::string::npos) << json.out;
    for (const std::vector<std::string>& command : {std::vector<std::string>{"test", arg("hostile.exe")},
                                                    {"extract", arg("hostile.exe"), "-d", arg("out")}}) {
        SCOPED_TRACE(command[0]);
        RunResult run = RunPacker(command);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(RawControl(run.out + run.err), "");
        EXPECT_NE((run.out + run.err).find("clear\\x1B[2J.txt"), std::string::npos) << run.out << run.err;
    }
}

// Characters that turn a name around or that terminals take for
// controls, in names of UTF-8 entries: each shown as its code, in text and
// in JSON, and named as what it is. The Windows-1252 bytes 0x80..0x9F of a
// page text are letters, and stay.
TEST_F(SafetyTest, BidirectionalAndC1ControlsInNamesAreShownAndNamedAsSuch)
{
    const struct {
        std::string name;    // UTF-8
        std::string shown;   // as every output prints it
        std::string code;
    } cases[] = {
        {"invoice\xE2\x80\xAEtxt.exe", "invoice\\u202Etxt.exe", "U+202E"},
        {"\xE2\x80\xAB" "embedded.txt", "\\u202Bembedded.txt", "U+202B"},
        {"mark\xE2\x80\x8F.txt", "mark\\u200F.txt", "U+200F"},
        {"isolate\xE2\x81\xA6x\xE2\x81\xA9.txt", "isolate\\u2066x\\u2069.txt", "U+2066"},
        {"arabic\xD8\x9C.txt", "arabic\\u061C.txt", "U+061C"},
        {"line\xC2\x85next.txt", "line\\u0085next.txt", "U+0085"},
        {"esc\x1B.txt", "esc\\x1B.txt", "U+001B"},
    };
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::file("fine.txt", TextBytes(10)));
    for (const auto& c : cases) {
        packaging::ZipEntry entry = packaging::ZipEntry::file(c.name, TextBytes(10));
        entry.utf8Name = true;
        zip.add(entry);
    }
    packaging::TrailerBuilder trailer;
    trailer.text(packaging::kTitle, 0, "Price \x80 5 \x85 \x9B");   // Windows-1252: euro sign, ellipsis, angle quote
    WriteBytes(path("disguised.exe"), packaging::assemblePackage(FakeStub(), zip.build(), trailer));

    RunResult text = RunPacker({"inspect", arg("disguised.exe")});
    RunResult json = RunPacker({"inspect", "--json", arg("disguised.exe")});
    RunResult tested = RunPacker({"test", arg("disguised.exe")});
    RunResult extracted = RunPacker({"extract", arg("disguised.exe"), "-d", arg("out")});
    for (const RunResult* run : {&text, &json, &tested, &extracted})
        EXPECT_EQ(RawControl(run->out + run->err), "");
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("\"Price \xE2\x82\xAC 5 \xE2\x80\xA6 \xE2\x80\xBA\""), std::string::npos) << text.out;
    EXPECT_NE(json.out.find("\"Price \xE2\x82\xAC 5 \xE2\x80\xA6 \xE2\x80\xBA\""), std::string::npos) << json.out;
    EXPECT_EQ(tested.exitCode, 1);
    ExpectRefused(extracted, {});
    EXPECT_FALSE(fs::exists(path("out"))) << "extract wrote before it refused";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        std::string problem = c.shown + ": its name contains the control character " + c.code;
        EXPECT_NE(text.out.find(c.shown + "  (the stub refuses it: its name contains the control character " + c.code),
                  std::string::npos) << text.out;
        // A JSON reader gets the character back from its escape.
        EXPECT_NE(json.out.find("\"" + (c.code == "U+001B" ? std::string("esc\\u001B.txt") : c.shown) + "\""),
                  std::string::npos) << json.out;
        EXPECT_NE(tested.out.find("FAILED " + problem), std::string::npos) << tested.out;
        EXPECT_NE(extracted.err.find(problem), std::string::npos) << extracted.err;
        EXPECT_EQ(extracted.err.find("would lead out"), std::string::npos) << extracted.err;
    }

    // A source folder with such a name makes no package.
    WriteTree(path("bidi"), {{"invoice\xE2\x80\xAEtxt.exe", TextBytes(10)}});
    ExpectRefused(build("bidi", "out.exe"), {"invoice\\u202Etxt.exe: the stub refuses names with control characters; "
                                             "this one holds U+202E"});
}

#ifndef _WIN32
// Windows allows no control characters in file names; Linux does.
TEST_F(SafetyTest, NamesFromTheSourceFolderArePrintedEscaped)
{
    // Characters the stub cannot write are found while the folder is
    // walked; control characters when the names are checked after it.
    WriteTree(path("c1"), {{"csi\xC2\x9B" "2J.txt", TextBytes(10)}});
    RunResult c1 = build("c1", "out.exe");
    ExpectRefused(c1, {"csi\\u009B2J.txt: the stub refuses"});
    EXPECT_EQ(RawControl(c1.out + c1.err), "");
    WriteTree(path("c0"), {{"bell\x07\x1B[31m.txt", TextBytes(10)}, {"line\nbreak.txt", TextBytes(10)}});
    RunResult c0 = build("c0", "out.exe");
    ExpectRefused(c0, {"bell\\x07\\x1B[31m.txt: the stub refuses", "line\\nbreak.txt: the stub refuses"});
    EXPECT_EQ(RawControl(c0.out + c0.err), "");
}
#endif

// ---- commands whose program may come from outside the package -----------

TEST_F(SafetyTest, PlainCommandsWhoseProgramIsNotInThePackageAreWarnedAbout)
{
    WriteTree(path("in"), {{"setup.exe", TextBytes(10)}, {"bin/tool.exe", TextBytes(10)},
                           {"my tool.exe", TextBytes(10)}, {"Caf\xC3\xA9.exe", TextBytes(10)},
                           {"tool", TextBytes(10)}});
    const struct {
        std::string line;
        std::string warning;   // the program named in the warning; empty: none
        std::string says;      // what the warning says of it
    } cases[] = {
        {"setup.exe /quiet", "", ""},
        {"SETUP.EXE", "", ""},
        {"  setup.exe /quiet", "", ""},                // the stub takes leading blanks away
        {"\"my tool.exe\" /x", "", ""},
        {"CAF\xC3\x89.EXE", "", ""},                      // a name stored in UTF-8, case ignored
        {"bin\\tool.exe -y", "", ""},
        {".\\bin/tool.exe", "", ""},
        {"\"\\\\!extract\\missing.exe\" /q", "", ""},   // alias form
        {"  \"\\\\!extract\\missing.exe\" /q", "", ""},
        {"C:\\Windows\\System32\\cmd.exe /c exit", "", ""},
        {"\\\\server\\share\\setup.exe", "", ""},
        {"msiexec /i product.msi", "", ""},            // a program every Windows has
        {"CMD.EXE /c install.cmd", "", ""},
        {"setup /quiet", "", ""},                      // the stub adds ".exe" as Windows does
        {"Setup", "", ""},
        {"bin\\tool -y", "", ""},                       // behind a folder too
        {"my tool.exe", "my tool.exe", "has a blank and no quotes; the stub starts \"my.exe\" instead"},
        {"mytool /x", "mytool", "the system folder, the Windows folder and the folders of PATH"},
        {"tool /x", "tool", "is started as \"tool.exe\""},   // the package holds "tool" only
        {"bin\\cmd.exe", "bin\\cmd.exe", "folders of PATH"},
        {"setup.ex /q", "setup.ex", "folders of PATH"},
        {"bin\\missing.exe", "bin\\missing.exe", "folders of PATH"},
        {".\\cmd.exe", ".\\cmd.exe", "in the extraction folder only"},
        {"..\\setup.exe", "..\\setup.exe", "out of the extraction folder with \"..\"; the stub will not start it"},
        {"\"bin\\..\\..\\x.exe\"", "bin\\..\\..\\x.exe", "will not start it"},
        {"C:setup.exe", "C:setup.exe", "a drive without its root folder; the stub will not start it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        RunResult run = build("in", "out.exe", {"--command1", c.line});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        if (c.warning.empty()) {
            EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
            continue;
        }
        EXPECT_NE(run.err.find("warning: [neutral] command1: the program \"" + c.warning + "\""), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("started from"), std::string::npos) << "the stub never looks there: " << run.err;
        EXPECT_EQ(run.out.find("warning"), std::string::npos) << "warnings go to standard error";
    }
    // Each language's line is looked at.
    RunResult languages = build("in", "out.exe", {"--text", "german.command2=register x.dll", "--text",
                                                  "english.command2=setup.exe"});
    EXPECT_NE(languages.err.find("warning: [german] command2: the program \"register\""), std::string::npos)
        << languages.err;
    EXPECT_EQ(languages.err.find("[english]"), std::string::npos) << languages.err;
}

}  // namespace
