// The input people have, given to the packer as they would give it: folders
// with files to leave out and links, ZIP files from other tools (ZIP64,
// links, empty ones) and the reasons the packer gives for those it refuses,
// every problem with names in one run, and warnings for likely mistakes.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "packer_support.h"
#include "startup/trailer.h"
#include "support/reader_memory.h"
#include "support/temp_path.h"

using packaging::Bytes;

namespace {

class InputTest : public PackerFolderTest {
  protected:
    InputTest() { WriteBytes(path("stub.exe"), FakeStub()); }
    // The names of the package's entries, as inspect lists them.
    std::vector<std::string> names(const std::string& package) const
    {
        std::vector<std::string> result;
        for (const auto& [name, time] : listed(package))
            result.push_back(name);
        return result;
    }
    void writeText(const std::string& name, const std::string& text) const { WriteBytes(path(name), B(text)); }
};

bool Holds(const std::string& text, const std::string& fragment)
{
    return text.find(fragment) != std::string::npos;
}

#ifdef SFX_PACKER_INPUTS
fs::path Input(const std::string& name)
{
    return fs::path(SFX_PACKER_INPUTS) / name;
}
#endif

// --- leaving files out ---

const std::vector<TreeItem>& ExcludeTree()
{
    static const std::vector<TreeItem> items = {
        {"readme.txt", TextBytes(10)},
        {"notes.bak", TextBytes(10)},
        {"docs/readme.txt", TextBytes(10)},
        {"docs/old.BAK", TextBytes(10)},
        {"docs/build/x.o", TextBytes(10)},
        {"build/main.o", TextBytes(10)},
        {"build/sub/keep.txt", TextBytes(10)},
        {"src/build.txt", TextBytes(10)},
        // Refused if it were packed: left out by every case below.
        {"temp/caf\xC3\xA9.tmp", TextBytes(10)},
    };
    return items;
}

TEST_F(InputTest, ExcludePatternsLeaveOutWhatTheyMatch)
{
    WriteTree(path("in"), ExcludeTree());
    writeText("bak.toml", "exclude = [\"*.bak\"]\n");
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        std::vector<std::string> expected;
    } cases[] = {
        {"a name in any folder, case ignored", {"--exclude", "*.BAK"},
         {"build/main.o", "build/sub/keep.txt", "docs/build/x.o", "docs/readme.txt", "readme.txt", "src/build.txt",
          "temp/"}},
        {"a path from the top", {"--exclude", "/readme.txt", "--exclude", "docs/build"},
         {"build/main.o", "build/sub/keep.txt", "docs/old.BAK", "docs/readme.txt", "notes.bak", "src/build.txt",
          "temp/"}},
        {"folders only, at any depth", {"--exclude", "build/"},
         {"docs/old.BAK", "docs/readme.txt", "notes.bak", "readme.txt", "src/build.txt", "temp/"}},
        {"** across folders; emptied folders stay", {"--exclude", "**/*.o"},
         {"build/sub/keep.txt", "docs/build/", "docs/old.BAK", "docs/readme.txt", "notes.bak", "readme.txt",
          "src/build.txt", "temp/"}},
        {"a/**/b also for no folder between", {"--exclude", "docs/**/readme.txt", "--exclude", "build\\**"},
         {"build/", "docs/build/x.o", "docs/old.BAK", "notes.bak", "readme.txt", "src/build.txt", "temp/"}},
        {"? and sets", {"--exclude", "[a-m]*.txt", "--exclude", "?otes.*"},
         {"build/main.o", "build/sub/", "docs/build/x.o", "docs/old.BAK", "docs/readme.txt", "readme.txt", "src/",
          "temp/"}},
        {"the config's list and the option's together", {"-c", arg("bak.toml"), "--exclude", "build"},
         {"docs/readme.txt", "readme.txt", "src/build.txt", "temp/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--exclude", "*.tmp"});
        RunResult built = build("in", "out.exe", arguments);
        ASSERT_EQ(built.exitCode, 0) << built.err;
        EXPECT_EQ(built.err, "");
        EXPECT_EQ(names("out.exe"), c.expected);
    }
}

TEST_F(InputTest, ExcludePatternsThatCannotBeUsedAreNamed)
{
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}});
    writeText("list.toml", "exclude = [\"*.bak\",\n  \"x[\"]\n");
    writeText("number.toml", "exclude = [5]\n");
    writeText("table.toml", "exclude = {a = 1}\n");
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"--exclude", "[ab"}, "exclude pattern \"[ab\": a '[' without its ']'"},
        {{"--exclude", "/"}, "exclude pattern \"/\": matches no name"},
        {{"-c", arg("list.toml")}, "list.toml:2: exclude pattern \"x[\""},
        {{"-c", arg("number.toml")}, "number.toml:1: exclude must hold patterns in quotes"},
        {{"-c", arg("table.toml")}, "table.toml:1: exclude must be a list of patterns"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        RunResult run = build("in", "out.exe", c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Holds(run.err, c.message)) << run.err;
        EXPECT_FALSE(fs::exists(path("out.exe")));
    }
}

// --- links ---

TEST_F(InputTest, LinksToFoldersAreSkippedWithANoteOrFollowed)
{
#ifndef SFX_PACKER_INPUTS
    GTEST_SKIP() << "the folder with links is made on the build machine";
#else
    // folder-links: top.txt, real/file.txt, alias -> real, real/loop -> ..
    std::string source = U8(Input("folder-links"));
    RunResult skipped = RunPacker({"build", source, "-o", arg("skipped.exe"), "--stub", arg("stub.exe")});
    ASSERT_EQ(skipped.exitCode, 0) << skipped.err;
    EXPECT_TRUE(Holds(skipped.err, "note: alias: a link to a folder; skipped (--follow-links")) << skipped.err;
    EXPECT_TRUE(Holds(skipped.err, "note: real/loop: a link to a folder; skipped")) << skipped.err;
    EXPECT_EQ(names("skipped.exe"), (std::vector<std::string>{"real/file.txt", "top.txt"}));

    // Followed, the link back to the top would go round for ever: it alone
    // is skipped, wherever the walk meets it.
    RunResult followed =
        RunPacker({"build", source, "-o", arg("followed.exe"), "--stub", arg("stub.exe"), "--follow-links"});
    ASSERT_EQ(followed.exitCode, 0) << followed.err;
    EXPECT_TRUE(Holds(followed.err, "note: alias/loop: a link to a folder it lies in; skipped")) << followed.err;
    EXPECT_TRUE(Holds(followed.err, "note: real/loop: a link to a folder it lies in; skipped")) << followed.err;
    EXPECT_EQ(names("followed.exe"), (std::vector<std::string>{"alias/file.txt", "real/file.txt", "top.txt"}));
    RunResult extracted = RunPacker({"extract", arg("followed.exe"), "-d", arg("out")});
    ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_TRUE(ReadBytes(path("out/alias/file.txt")) == ReadBytes(Input("folder-links/real/file.txt")));
#endif
}

// --- ZIP files ---

void PutLe(Bytes& out, std::uint64_t value, int width)
{
    for (int i = 0; i < width; i++)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void SetLe(Bytes& bytes, std::size_t at, std::uint64_t value, int width)
{
    for (int i = 0; i < width; i++)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A ZIP64 archive as tools write it for files past 4 GiB: sizes and
// offsets all ones in both headers and carried in the ZIP64 field, all ones
// in the end record too, which leads to a ZIP64 end record through its
// locator. leading: a program in front of it, as in a self-extracting ZIP.
Bytes Zip64Archive(const std::vector<std::pair<std::string, Bytes>>& files, const Bytes& leading)
{
    const std::uint16_t date = (30 << 9) | (6 << 5) | 15;
    Bytes out = leading;
    Bytes directory;
    for (const auto& [name, data] : files) {
        Bytes stored = packaging::deflateRaw(data);
        std::uint64_t offset = out.size() - leading.size();
        PutLe(out, 0x04034B50, 4);
        PutLe(out, 45, 2);
        PutLe(out, 0, 2);
        PutLe(out, 8, 2);
        PutLe(out, 0, 2);
        PutLe(out, date, 2);
        PutLe(out, packaging::crc32Of(data), 4);
        PutLe(out, 0xFFFFFFFF, 4);
        PutLe(out, 0xFFFFFFFF, 4);
        PutLe(out, name.size(), 2);
        PutLe(out, 20, 2);
        out.insert(out.end(), name.begin(), name.end());
        PutLe(out, 1, 2);
        PutLe(out, 16, 2);
        PutLe(out, data.size(), 8);
        PutLe(out, stored.size(), 8);
        out.insert(out.end(), stored.begin(), stored.end());

        PutLe(directory, 0x02014B50, 4);
        PutLe(directory, 0x031E, 2);   // made on Unix
        PutLe(directory, 45, 2);
        PutLe(directory, 0, 2);
        PutLe(directory, 8, 2);
        PutLe(directory, 0, 2);
        PutLe(directory, date, 2);
        PutLe(directory, packaging::crc32Of(data), 4);
        PutLe(directory, 0xFFFFFFFF, 4);
        PutLe(directory, 0xFFFFFFFF, 4);
        PutLe(directory, name.size(), 2);
        PutLe(directory, 4 + 4 + 28, 2);
        PutLe(directory, 0, 2);
        PutLe(directory, 0xFFFF, 2);   // disk, in the ZIP64 field as well
        PutLe(directory, 0, 2);
        PutLe(directory, 0100644u << 16, 4);
        PutLe(directory, 0xFFFFFFFF, 4);
        directory.insert(directory.end(), name.begin(), name.end());
        // A field of another kind first, as tools add times and owners.
        PutLe(directory, 0x5455, 2);
        PutLe(directory, 0, 2);
        PutLe(directory, 1, 2);
        PutLe(directory, 28, 2);
        PutLe(directory, data.size(), 8);
        PutLe(directory, stored.size(), 8);
        PutLe(directory, offset, 8);
        PutLe(directory, 0, 4);
    }
    std::uint64_t directoryOffset = out.size() - leading.size();
    out.insert(out.end(), directory.begin(), directory.end());
    std::uint64_t zip64End = out.size() - leading.size();
    PutLe(out, 0x06064B50, 4);
    PutLe(out, 44, 8);
    PutLe(out, 0x031E, 2);
    PutLe(out, 45, 2);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, files.size(), 8);
    PutLe(out, files.size(), 8);
    PutLe(out, directory.size(), 8);
    PutLe(out, directoryOffset, 8);
    PutLe(out, 0x07064B50, 4);
    PutLe(out, 0, 4);
    PutLe(out, zip64End, 8);
    PutLe(out, 1, 4);
    PutLe(out, 0x06054B50, 4);
    PutLe(out, 0, 2);
    PutLe(out, 0, 2);
    PutLe(out, 0xFFFF, 2);
    PutLe(out, 0xFFFF, 2);
    PutLe(out, 0xFFFFFFFF, 4);
    PutLe(out, 0xFFFFFFFF, 4);
    PutLe(out, 0, 2);
    return out;
}

TEST_F(InputTest, ZipFilesOfOtherToolsComeBackWhole)
{
    std::vector<std::pair<std::string, Bytes>> handMade = {
        {"readme.txt", TextBytes(3000)}, {"data/noise.bin", NoiseBytes(70000, 5)}, {"data/empty.bin", {}}};
    WriteBytes(path("zip64.zip"), Zip64Archive(handMade, {}));
    WriteBytes(path("zip64-behind-a-program.zip"), Zip64Archive(handMade, FakeStub()));
    for (const auto& [name, data] : handMade) {
        fs::create_directories(path("handmade/" + name).parent_path());
        WriteBytes(path("handmade/" + name), data);
    }
    struct Case {
        std::string what;
        fs::path zip;
        fs::path tree;
    };
    std::vector<Case> cases = {
        {"ZIP64 with every size in its field", path("zip64.zip"), path("handmade")},
        {"ZIP64 behind a program", path("zip64-behind-a-program.zip"), path("handmade")},
    };
#ifdef SFX_PACKER_INPUTS
    cases.push_back({"zip -fz", Input("infozip-zip64.zip"), Input("tree")});
    cases.push_back({"Python, ZIP64 local headers", Input("python-zip64-local.zip"), Input("tree")});
    cases.push_back({"7-Zip, LZMA with end markers", Input("7z-lzma.zip"), Input("tree")});
    cases.push_back({"7-Zip, LZMA without end markers", Input("7z-lzma-noeos.zip"), Input("tree")});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(path("out"));
        RunResult built = RunPacker({"build", U8(c.zip), "-o", arg("out.exe"), "--stub", arg("stub.exe")});
        ASSERT_EQ(built.exitCode, 0) << built.err;
        RunResult tested = RunPacker({"test", arg("out.exe")});
        EXPECT_EQ(tested.exitCode, 0) << tested.out;
        RunResult extracted = RunPacker({"extract", arg("out.exe"), "-d", arg("out")});
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        std::map<std::string, Bytes> out = FilesBelow(path("out"));
        std::map<std::string, Bytes> in = FilesBelow(c.tree);
        EXPECT_EQ(out.size(), in.size());
        for (const auto& [name, content] : in)
            EXPECT_TRUE(out.count(name) && out[name] == content) << name << " missing or different";
    }
}

#ifdef SFX_PACKER_INPUTS
// test and extract read 7-Zip's own LZMA streams, with and without end
// markers, in a package that holds its archive as it is.
TEST_F(InputTest, SevenZipLzmaStreamsAreTestedAndExtracted)
{
    for (const char* zip : {"7z-lzma.zip", "7z-lzma-noeos.zip"}) {
        SCOPED_TRACE(zip);
        fs::remove_all(path("out"));
        WriteBytes(path("package.exe"),
                   packaging::assemblePackage(FakeStub(), ReadBytes(Input(zip)), packaging::TrailerBuilder()));
        RunResult tested = RunPacker({"test", arg("package.exe")});
        EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
        RunResult extracted = RunPacker({"extract", arg("package.exe"), "-d", arg("out")});
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        std::map<std::string, Bytes> out = FilesBelow(path("out"));
        std::map<std::string, Bytes> in = FilesBelow(Input("tree"));
        EXPECT_EQ(out.size(), in.size());
        for (const auto& [name, content] : in)
            EXPECT_TRUE(out.count(name) && out[name] == content) << name << " missing or different";
    }
}
#endif

TEST_F(InputTest, AnEmptyZipFileMakesAnEmptyPackageWithANote)
{
    Bytes empty;
    PutLe(empty, 0x06054B50, 4);
    empty.resize(22, 0);
    WriteBytes(path("empty.zip"), empty);
    std::vector<fs::path> zips = {path("empty.zip")};
#ifdef SFX_PACKER_INPUTS
    zips.push_back(Input("python-empty.zip"));
#endif
    for (const fs::path& zip : zips) {
        SCOPED_TRACE(U8(zip));
        RunResult built = RunPacker({"build", U8(zip), "-o", arg("empty.exe"), "--stub", arg("stub.exe")});
        ASSERT_EQ(built.exitCode, 0) << built.err;
        EXPECT_TRUE(Holds(built.err, "note: " + U8(zip) + " is an empty ZIP file; the package holds no files"))
            << built.err;
        RunResult tested = RunPacker({"test", arg("empty.exe")});
        EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
        EXPECT_TRUE(Holds(tested.out, "OK, 0 files, 0 folder entries")) << tested.out;
    }
}

// A plain archive of two files, changed by damage before it is written.
Bytes DamagedZip(void (*damage)(Bytes& zip, const packaging::ZipLayout& layout))
{
    packaging::ZipWriter writer;
    writer.add(packaging::ZipEntry::file("a.txt", TextBytes(100)));
    writer.add(packaging::ZipEntry::file("b.txt", TextBytes(200)));
    packaging::ZipLayout layout;
    Bytes zip = writer.build(&layout);
    damage(zip, layout);
    return zip;
}

// A byte of an entry's data changed; the packer's own reader must notice.
Bytes DamagedZip64()
{
    Bytes noise = NoiseBytes(70000, 5);
    Bytes zip = Zip64Archive({{"readme.txt", TextBytes(3000)}, {"data/noise.bin", noise}}, {});
    // Noise does not deflate: zlib stores it, so its bytes stand in the file.
    auto at = std::search(zip.begin(), zip.end(), noise.begin() + 30000, noise.begin() + 30016);
    if (at != zip.end())
        *at ^= 0x55;
    return zip;
}

TEST_F(InputTest, EachRefusedZipFileSaysWhy)
{
    const struct {
        const char* what;
        Bytes zip;
        const char* message;
    } cases[] = {
        {"text", TextBytes(5000), "not a ZIP file: it has no ZIP end record"},
        {"nothing", {}, "an empty file, not a ZIP file"},
        {"cut short", DamagedZip([](Bytes& z, const packaging::ZipLayout& l) { z.resize(l.endRecord + 10); }),
         "not a ZIP file: it has no ZIP end record (a ZIP file that was cut short"},
        {"split", DamagedZip([](Bytes& z, const packaging::ZipLayout& l) { SetLe(z, l.endRecord + 4, 2, 2); }),
         "one part of a ZIP file split into several (this is part 3); join the parts"},
        {"directory past the end",
         DamagedZip([](Bytes& z, const packaging::ZipLayout& l) { SetLe(z, l.endRecord + 16, 0x7FFFFF, 4); }),
         "its directory would reach past its end record"},
        {"ZIP64 record missing",
         DamagedZip([](Bytes& z, const packaging::ZipLayout& l) { SetLe(z, l.endRecord + 16, 0xFFFFFFFF, 4); }),
         "its end record asks for a ZIP64 end record, which is missing"},
        {"directory damaged",
         DamagedZip([](Bytes& z, const packaging::ZipLayout& l) { z[l.centralHeaders[1]] = 'X'; }),
         "the archive directory is damaged at entry 2"},
        {"ZIP64 entry data damaged", DamagedZip64(), "entry data/noise.bin: its data do not match their CRC-32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path("in.zip"), c.zip);
        RunResult run = build("in.zip", "out.exe");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Holds(run.err, "in.zip: " + std::string(c.message))) << run.err;
        EXPECT_FALSE(fs::exists(path("out.exe")));
    }
}

// --- every problem in one run ---

TEST_F(InputTest, EveryProblemOfAZipFileIsListedInOneRun)
{
    packaging::ZipWriter writer;
    for (const char* name : {"fine.txt", "bad\xFF.txt", "CON.txt", "a<b.txt", "Readme.txt", "README.TXT", "tool",
                             "tool/x.dll", "trail.", "current", "packed.bz2", "locked.txt", "list.txt"})
        writer.add(packaging::ZipEntry::file(name, std::string(name) == "list.txt" ? Bytes{'.', '.', '\\', 'x', '\n'}
                                                                                   : TextBytes(50)));
    packaging::ZipLayout layout;
    Bytes zip = writer.build(&layout);
    // current: a link made on Unix; packed.bz2: bzip2; locked.txt: encrypted.
    SetLe(zip, layout.centralHeaders[9] + 4, 0x031E, 2);
    SetLe(zip, layout.centralHeaders[9] + 38, 0120777u << 16, 4);
    SetLe(zip, layout.centralHeaders[10] + 10, 12, 2);
    SetLe(zip, layout.localHeaders[10] + 8, 12, 2);
    zip[layout.centralHeaders[11] + 8] |= 1;
    zip[layout.localHeaders[11] + 6] |= 1;
    WriteBytes(path("in.zip"), zip);
    writeText("cfg.toml", "[neutral]\ndelete_list = \"list.txt\"\n");

    RunResult run = build("in.zip", "out.exe", {"-c", arg("cfg.toml")});
    EXPECT_EQ(run.exitCode, 1);
    for (const char* fragment : {
             "bad\\xFF.txt: the name is neither a code page 437 name nor valid UTF-8",
             "CON.txt: \"CON.txt\" names a device on Windows",
             "a<b.txt: Windows forbids the characters",
             "README.TXT: the same name on Windows as Readme.txt",
             "tool/x.dll: needs a folder where the file tool is",
             "trail.: Windows drops a dot or space",
             "current: a symbolic link; the stub writes files and folders only",
             "packed.bz2: compression method 12 (bzip2)",
             "locked.txt: encrypted in the ZIP file",
             "list.txt:1: the delete list names a file outside the extraction folder",
         })
        EXPECT_TRUE(Holds(run.err, fragment)) << "no \"" << fragment << "\" in:\n" << run.err;
    EXPECT_FALSE(Holds(run.err, "fine.txt")) << run.err;
    EXPECT_FALSE(fs::exists(path("out.exe")));

#ifdef SFX_PACKER_INPUTS
    RunResult link = RunPacker({"build", U8(Input("infozip-symlink.zip")), "-o", arg("out.exe"), "--stub",
                                arg("stub.exe")});
    EXPECT_EQ(link.exitCode, 1);
    EXPECT_TRUE(Holds(link.err, "current: a symbolic link")) << link.err;
#endif
}

TEST_F(InputTest, EveryProblemOfAFolderIsListedInOneRun)
{
    std::vector<TreeItem> items = {{"fine.txt", TextBytes(10)},
                                   {"caf\xC3\xA9.txt", TextBytes(10)},
                                   {"docs/\xE2\x82\xAC.txt", TextBytes(10)},
                                   {"list.txt", {'C', ':', '\\', 'x', '\n', 'o', 'k', '\n'}}};
#ifndef _WIN32
    // Names Windows itself would not let the test create.
    items.push_back({"bad\xFF.txt", TextBytes(10)});
    items.push_back({"CON.txt", TextBytes(10)});
    items.push_back({"Readme.txt", TextBytes(10)});
    items.push_back({"README.TXT", TextBytes(10)});
#endif
    WriteTree(path("in"), items);
    writeText("cfg.toml", "[german]\ndelete_list = \"list.txt\"\n");
    RunResult run = build("in", "out.exe", {"-c", arg("cfg.toml")});
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> fragments = {"list.txt:1: the delete list names a file outside"};
#ifndef _WIN32
    fragments.push_back("bad\\xFF.txt: the name is not valid UTF-8");
    fragments.push_back("CON.txt: \"CON.txt\" names a device");
    fragments.push_back("the same name on Windows as");
#endif
    for (const std::string& fragment : fragments)
        EXPECT_TRUE(Holds(run.err, fragment)) << "no \"" << fragment << "\" in:\n" << run.err;
    EXPECT_FALSE(Holds(run.err, "caf")) << "a Western name goes in as UTF-8";
    EXPECT_FALSE(fs::exists(path("out.exe")));
}

// --- warnings ---

TEST_F(InputTest, LikelyMistakesDrawWarningsAndTheBuildGoesOn)
{
    WriteTree(path("in"), {{"Cleanup.TXT", {'a', '.', 't', 'x', 't'}}, {"setup.cmd", TextBytes(10)}});
    fs::create_directory(path("nothing"));
    writeText("missing.toml", "[german]\ndelete_list = \"cleanup.cmd\"\n");
    writeText("case.toml", "[neutral]\ndelete_list = \"cleanup.txt\"\n");
    const struct {
        const char* what;
        std::string source;
        std::vector<std::string> arguments;
        std::string warning;   // empty: none at all
    } cases[] = {
        {"nothing to warn of", "in", {}, ""},
        {"a delete list that is not there", "in", {"-c", arg("missing.toml")},
         "warning: [german] delete_list \"cleanup.cmd\" is not a file in the package"},
        {"a delete list spelled otherwise", "in", {"-c", arg("case.toml")},
         "warning: [neutral] delete_list \"cleanup.txt\" differs in case from Cleanup.TXT in the package; stored "
         "as the package spells it"},
        {"an empty folder", "nothing", {}, "warning: " + arg("nothing") + " is an empty folder"},
        {"everything left out", "in", {"--exclude", "*"},
         "warning: the exclude patterns leave nothing of " + arg("in") + " (2 left out)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunResult built = build(c.source, "out.exe", c.arguments);
        ASSERT_EQ(built.exitCode, 0) << built.err;
        if (c.warning.empty())
            EXPECT_EQ(built.err, "");
        else
            EXPECT_TRUE(Holds(built.err, c.warning)) << built.err;
    }

    // The list named by case was found: the record holds the package's
    // spelling, and its last line got the line end the stub needs.
    ASSERT_EQ(build("in", "case.exe", {"-c", arg("case.toml")}).exitCode, 0);
    SfxSettingsRecord settings;
    ResetSettings(&settings);
    SysFile file = SysFileOpenRead(U8(path("case.exe")).c_str());
    const uint8_t* block = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(ReadTrailer(file, LANGUAGE_ENGLISH, &settings, &block, &length), TRAILER_OK);
    TrailerBlock blockOwner = OwnTrailerBlock(block);
    SysFileClose(file);
    ASSERT_NE(settings.deleteListFile.text, nullptr);
    EXPECT_STREQ(settings.deleteListFile.text, "Cleanup.TXT");
    ASSERT_EQ(RunPacker({"extract", arg("case.exe"), "-d", arg("case")}).exitCode, 0);
    EXPECT_TRUE(ReadBytes(path("case/Cleanup.TXT")) == (Bytes{'a', '.', 't', 'x', 't', '\n'}));
}

// Below a typical extraction folder of 58 characters
// (C:\Users\, 20 characters, \AppData\Local\Temp\_X000000\), a path
// of 259 characters is the longest Windows creates.
TEST_F(InputTest, APathTooLongBelowATypicalExtractionFolderDrawsAWarning)
{
    const struct {
        const char* what;
        std::string name;   // '/' between folders
        bool warned;
    } cases[] = {
        {"the longest that fits", std::string(201, 'x'), false},
        {"one character more", std::string(202, 'y'), true},
        {"in a folder", std::string(100, 'a') + "/" + std::string(102, 'b'), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(path("in"));
        WriteTree(path("in"), {{c.name, TextBytes(10)}});
        RunResult built = build("in", "out.exe", {});
        ASSERT_EQ(built.exitCode, 0) << built.err;
        std::string shown = c.name.substr(c.name.rfind('/') + 1);
        std::string warning = "characters, more than the 259 Windows allows";
        EXPECT_EQ(Holds(built.err, warning), c.warned) << built.err;
        if (c.warned) {
            EXPECT_TRUE(Holds(built.err, shown + ": below a typical extraction folder")) << built.err;
            EXPECT_TRUE(Holds(built.err, "its path has " + std::to_string(58 + c.name.size()) + " characters"))
                << built.err;
        }
    }
}

TEST_F(InputTest, APasswordForAPlainPackageDrawsAWarning)
{
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}});
    ASSERT_EQ(build("in", "plain.exe").exitCode, 0);
    writeText("password.txt", "secret\n");
    ScopedEnvironment variable("SFXPACK_TEST_PASSWORD", std::string("secret"));
    const struct {
        std::vector<std::string> arguments;
        std::string warning;
    } cases[] = {
        {{"test", arg("plain.exe"), "--password-env", "SFXPACK_TEST_PASSWORD"},
         "warning: " + arg("plain.exe") + " is not encrypted; the password from --password-env "
         "SFXPACK_TEST_PASSWORD is not used"},
        {{"extract", arg("plain.exe"), "-d", arg("out"), "--password-file", arg("password.txt")},
         "the password from --password-file " + arg("password.txt") + " is not used"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0]);
        RunResult run = RunPacker(c.arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Holds(run.err, c.warning)) << run.err;
    }
    EXPECT_TRUE(ReadBytes(path("out/a.txt")) == TextBytes(10));
    EXPECT_EQ(RunPacker({"test", arg("plain.exe")}).err, "");
}

// --- names on the way out ---

TEST_F(InputTest, ExtractShowsNamesAsTheStubWritesThem)
{
    // Code page 850 bytes for ö and ß, as an old Windows tool stores them.
    packaging::ZipWriter writer;
    writer.add(packaging::ZipEntry::file("Gr\x94\xE1" "e/\x9A" "bersicht.txt", TextBytes(10)));
    WriteBytes(path("in.zip"), writer.build());
    ASSERT_EQ(build("in.zip", "names.exe").exitCode, 0);
    ASSERT_EQ(RunPacker({"extract", arg("names.exe"), "-d", arg("out")}).exitCode, 0);
    // On Linux in UTF-8, on Windows through the wide calls: the same letters.
    EXPECT_TRUE(fs::exists(path("out/Gr\xC3\xB6\xC3\x9F" "e/\xC3\x9C" "bersicht.txt")));
    RunResult again = RunPacker({"extract", arg("names.exe"), "-d", arg("out")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(Holds(again.err, "\xC3\x9C" "bersicht.txt exists")) << again.err;
}

}  // namespace
