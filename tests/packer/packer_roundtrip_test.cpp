// The packer as its users run it: a folder or a ZIP file packed, inspected,
// tested and extracted again, with and without a password; and the texts of
// the config file as the stub will choose them.
#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <tuple>

#include "support/zip_builder.h"
#include "package_reader.h"
#include "packer_support.h"
#include "startup/trailer.h"
#include "support/reader_memory.h"
#include "support/temp_path.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

using packaging::Bytes;

namespace {

class PackerTest : public PackerFolderTest {
  protected:
    PackerTest() { WriteBytes(stub(), FakeStub()); }
    fs::path stub() const { return path("stub.exe"); }
    // Extracts the package twice, as it is and waiting for the disk
    // (--sync); both times the tree in "in" comes back.
    void expectExtractsTheSource(const std::string& package) const;
};

const std::vector<TreeItem>& SampleTree()
{
    static const std::vector<TreeItem> items = {
        {"readme.txt", TextBytes(1000)},
        {"empty.txt", {}},
        {"docs/\xC3\x9C" "bersicht.txt", TextBytes(5000)},
        {"docs/sub/deeper/noise.bin", NoiseBytes(300000, 1)},
        {"docs/Gr\xC3\xB6\xC3\x9F" "e/\xC3\x84\xC3\x96\xC3\x9C \xC3\xA4\xC3\xB6\xC3\xBC \xC3\x9F.txt", TextBytes(77)},
        {"large/text.log", TextBytes(6 << 20)},
        {"large/noise.bin", NoiseBytes(3 << 20, 2)},
        {"empty folder/", {}},
        {"nested/empty/", {}},
    };
    return items;
}

// The extracted tree holds every input file with its bytes and time, every
// empty input folder with its time, and nothing else.
void ExpectSameTree(const fs::path& input, const fs::path& output)
{
    std::map<std::string, TreeNode> in = ReadTree(input);
    std::map<std::string, TreeNode> out = ReadTree(output);
    for (const auto& [name, node] : in) {
        auto found = out.find(name);
        ASSERT_NE(found, out.end()) << name << " missing";
        EXPECT_EQ(found->second.folder, node.folder) << name;
        bool emptyFolder = node.folder && fs::is_empty(input / U8(name));
        if (!node.folder) {
            EXPECT_TRUE(found->second.content == node.content) << name << " differs";
        }
        if (!node.folder || emptyFolder) {
            EXPECT_EQ(found->second.time, node.time) << name << " has another time";
        }
    }
    for (const auto& [name, node] : out)
        EXPECT_TRUE(in.count(name)) << name << " was not in the input";
}

void PackerTest::expectExtractsTheSource(const std::string& package) const
{
    for (const char* folder : {"out", "synced"}) {
        SCOPED_TRACE(folder);
        std::vector<std::string> arguments = {"extract", arg(package), "-d", arg(folder)};
        if (std::string(folder) == "synced")
            arguments.push_back("--sync");
        RunResult extracted = RunPacker(arguments);
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        ExpectSameTree(path("in"), path(folder));
    }
}

TEST_F(PackerTest, FolderTreeComesBackByteForByteWithItsTimes)
{
    WriteTree(path("in"), SampleTree());
    RunResult built = build("in", "setup.exe");
    ASSERT_EQ(built.exitCode, 0) << built.err;

    RunResult listing = RunPacker({"inspect", arg("setup.exe")});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("encrypted: no"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("9 entries"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("docs/\xC3\x9C" "bersicht.txt"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("nested/empty/"), std::string::npos) << listing.out;

    RunResult tested = RunPacker({"test", arg("setup.exe")});
    EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
    EXPECT_NE(tested.out.find("OK, 7 files, 2 folder entries"), std::string::npos) << tested.out;

    expectExtractsTheSource("setup.exe");

    // The same input always gives the same package.
    ASSERT_EQ(build("in", "again.exe").exitCode, 0);
    EXPECT_TRUE(ReadBytes(path("setup.exe")) == ReadBytes(path("again.exe")));
}

// extract NAME...: only the entries named, and those in a folder named,
// come out, the names compared as Windows compares them; a name that
// matches nothing stops the run before anything is written.
TEST_F(PackerTest, ExtractTakesOnlyTheNamedEntriesAndFolders)
{
    WriteTree(path("in"), SampleTree());
    ASSERT_EQ(build("in", "setup.exe").exitCode, 0);
    std::map<std::string, Bytes> input = FilesBelow(path("in"));
    const std::string umlauts = "docs/Gr\xC3\xB6\xC3\x9F" "e/\xC3\x84\xC3\x96\xC3\x9C \xC3\xA4\xC3\xB6\xC3\xBC \xC3\x9F.txt";
    const struct {
        std::vector<std::string> names;
        std::vector<std::string> files;
        std::string folder;   // an empty folder that must come out
    } cases[] = {
        {{"docs"}, {"docs/\xC3\x9C" "bersicht.txt", "docs/sub/deeper/noise.bin", umlauts}, ""},
        {{"README.TXT", "large\\noise.bin"}, {"readme.txt", "large/noise.bin"}, ""},
        {{"./docs/sub/", "docs/sub/deeper/noise.bin"}, {"docs/sub/deeper/noise.bin"}, ""},
        {{"docs/gr\xC3\xB6\xC3\x9F" "e"}, {umlauts}, ""},
        {{"empty folder", "empty.txt"}, {"empty.txt"}, "empty folder"},
    };
    int run = 0;
    for (const auto& c : cases) {
        std::string out = "part" + std::to_string(run++);
        SCOPED_TRACE(out);
        std::vector<std::string> arguments = {"extract", arg("setup.exe")};
        arguments.insert(arguments.end(), c.names.begin(), c.names.end());
        arguments.insert(arguments.end(), {"-d", arg(out)});
        RunResult extracted = RunPacker(arguments);
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        EXPECT_NE(extracted.out.find(std::to_string(c.files.size()) + " files extracted"), std::string::npos)
            << extracted.out;
        std::map<std::string, Bytes> expected;
        for (const std::string& file : c.files)
            expected[file] = input.at(file);
        EXPECT_TRUE(FilesBelow(path(out)) == expected);
        if (!c.folder.empty()) {
            EXPECT_TRUE(fs::is_directory(path(out + "/" + c.folder)));
        }
    }

    const struct {
        std::vector<std::string> names;
        std::string message;
    } refused[] = {
        {{"readme.txt", "nope"}, "nope: no such entry or folder"},
        {{"doc"}, "doc: no such entry or folder"},
        {{"docs/sub/deeper/noise.bin/more"}, "noise.bin/more: no such entry or folder"},
        {{"."}, ".: names no entry or folder"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> arguments = {"extract", arg("setup.exe")};
        arguments.insert(arguments.end(), c.names.begin(), c.names.end());
        arguments.insert(arguments.end(), {"-d", arg("refused")});
        ExpectRefused(RunPacker(arguments), {"nothing extracted", c.message});
        EXPECT_FALSE(fs::exists(path("refused"))) << "a name that matches nothing let extract write";
    }
}

#ifndef _WIN32
// extract holds each folder it writes into open until it ends; a package
// of more folders than the usual limit of open descriptors still comes back.
TEST_F(PackerTest, MoreFoldersThanTheDescriptorLimitComeBack)
{
    std::vector<TreeItem> items;
    for (int i = 0; i < 300; i++)
        items.push_back({"f" + std::to_string(i) + "/x.txt", TextBytes(10)});
    WriteTree(path("in"), items);
    ASSERT_EQ(build("in", "many.exe").exitCode, 0);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 1024)
        GTEST_SKIP() << "the hard limit of open descriptors is below 1024 here";
    struct rlimit low = saved;
    low.rlim_cur = 100;   // the packer, started as a child, inherits it
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    RunResult extracted = RunPacker({"extract", arg("many.exe"), "-d", arg("out")});
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
    ExpectSameTree(path("in"), path("out"));
}
#endif

TEST_F(PackerTest, PasswordEncryptsEveryEntryAndAWrongOneIsRefused)
{
    WriteTree(path("in"), SampleTree());
    WriteBytes(path("password.txt"), {'g', 'e', 'h', 'e', 'i', 'm', 0xC3, 0x9F, '\n'});
    WriteBytes(path("wrong.txt"), {'g', 'e', 'h', 'e', 'i', 'm', '\n'});
    RunResult built = build("in", "secret.exe", {"--password-file", arg("password.txt")});
    ASSERT_EQ(built.exitCode, 0) << built.err;

    // No line of the text files shows through.
    Bytes package = ReadBytes(path("secret.exe"));
    std::string marker = "the quick brown fox";
    EXPECT_EQ(std::search(package.begin(), package.end(), marker.begin(), marker.end()), package.end());

    RunResult listing = RunPacker({"inspect", "--json", arg("secret.exe")});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("\"encrypted\" : true"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("\"name\" : \"cipher_header\""), std::string::npos) << listing.out;

    EXPECT_EQ(RunPacker({"test", arg("secret.exe"), "--password-file", arg("password.txt")}).exitCode, 0);
    RunResult testRefused = RunPacker({"test", arg("secret.exe"), "--password-file", arg("wrong.txt")});
    RunResult extractRefused =
        RunPacker({"extract", arg("secret.exe"), "-d", arg("refused"), "--password-file", arg("wrong.txt")});
    for (const RunResult* refused : {&testRefused, &extractRefused}) {
        EXPECT_EQ(refused->exitCode, 1);
        EXPECT_NE(refused->err.find("wrong password"), std::string::npos) << refused->err;
    }
    EXPECT_FALSE(fs::exists(path("refused")));
    // Without a terminal and without a password source nothing waits.
    RunResult unasked = RunPacker({"test", arg("secret.exe")});
    EXPECT_EQ(unasked.exitCode, 1);
    EXPECT_NE(unasked.err.find("--password-file"), std::string::npos) << unasked.err;

    RunResult extracted =
        RunPacker({"extract", arg("secret.exe"), "-d", arg("out"), "--password-file", arg("password.txt")});
    ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
    ExpectSameTree(path("in"), path("out"));
}

// Password files as editors on Windows save them: UTF-8 with a byte order
// mark opens the package like the same password without it; "ANSI" and
// UTF-16 ("Unicode") are named for what they are, with the fix.
TEST_F(PackerTest, PasswordFilesAsWindowsEditorsSaveThem)
{
    WriteTree(path("in"), {{"a.txt", TextBytes(100)}});
    WriteBytes(path("plain.txt"), {'g', 'e', 'h', 'e', 'i', 'm', 0xC3, 0x9F, '\n'});
    const struct {
        const char* what;
        Bytes file;
        const char* message;   // empty: the package opens with plain.txt
    } cases[] = {
        {"UTF-8 with a byte order mark", {0xEF, 0xBB, 0xBF, 'g', 'e', 'h', 'e', 'i', 'm', 0xC3, 0x9F, '\r', '\n'}, ""},
        {"ANSI", {'g', 'e', 'h', 'e', 'i', 'm', 0xDF, '\r', '\n'}, "is not UTF-8 text (saved as \"ANSI\"?); save it as UTF-8"},
        {"UTF-16", {0xFF, 0xFE, 'g', 0, 'e', 0, 'h', 0, '\r', 0, '\n', 0}, "is UTF-16 text (\"Unicode\" in Windows "
                                                                           "editors); save it as UTF-8"},
        {"a byte order mark alone", {0xEF, 0xBB, 0xBF, '\r', '\n'}, "the password is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path("password.txt"), c.file);
        RunResult built = build("in", "secret.exe", {"--password-file", arg("password.txt")});
        if (*c.message != '\0') {
            ExpectRefused(built, {c.message});
            EXPECT_FALSE(fs::exists(path("secret.exe")));
            // The same for test and extract, before anything is written.
            ASSERT_EQ(build("in", "other.exe", {"--password-file", arg("plain.txt")}).exitCode, 0);
            ExpectRefused(RunPacker({"test", arg("other.exe"), "--password-file", arg("password.txt")}), {c.message});
            ExpectRefused(RunPacker({"extract", arg("other.exe"), "-d", arg("out"), "--password-file",
                                     arg("password.txt")}),
                          {c.message});
            EXPECT_FALSE(fs::exists(path("out")));
            continue;
        }
        ASSERT_EQ(built.exitCode, 0) << built.err;
        RunResult tested = RunPacker({"test", arg("secret.exe"), "--password-file", arg("plain.txt")});
        EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
        fs::remove(path("secret.exe"));
    }
}

struct StubView {
    int code;
    SfxSettingsRecord settings;
    TrailerBlock block;   // what the settings' texts point into
};

// list: the names, sizes and times inspect shows, and no more; as JSON for
// scripts; no password needed, as the names are not encrypted.
TEST_F(PackerTest, ListShowsNamesSizesAndTimesAsInspectDoes)
{
    const std::string umlauts = "docs/Gr\xC3\xBC\xC3\x9F" "e.txt";
    WriteTree(path("in"), {{"a.txt", TextBytes(100)}, {umlauts, TextBytes(2000)}, {"empty/", {}}});
    WriteBytes(path("password.txt"), {'p', 'w', '\n'});
    ASSERT_EQ(build("in", "p.exe", {"--password-file", arg("password.txt")}).exitCode, 0);

    RunResult list = RunPacker({"list", arg("p.exe")});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_TRUE(list.err.empty()) << list.err;
    // "       100  2024-01-31 13:45:08  a.txt"
    static const std::regex kLine(R"(^ *(\d+)  (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)  (.*?)\r?$)");
    std::map<std::string, std::string> times;
    std::map<std::string, std::string> sizes;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, kLine)) {
            sizes[match[3]] = match[1];
            times[match[3]] = match[2];
        }
    }
    EXPECT_EQ(sizes, (std::map<std::string, std::string>{{"a.txt", "100"}, {umlauts, "2000"}, {"empty/", "0"}}));
    EXPECT_EQ(times, listed("p.exe"));
    EXPECT_NE(list.out.find("p.exe: 2 files, 1 folder entries, 2100 bytes"), std::string::npos) << list.out;

    RunResult quiet = RunPacker({"list", arg("p.exe"), "-q"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_NE(quiet.out.find(umlauts), std::string::npos) << quiet.out;
    EXPECT_EQ(quiet.out.find("2100 bytes"), std::string::npos) << quiet.out;

    RunResult json = RunPacker({"list", "--json", arg("p.exe")});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    for (const std::string& fragment : {"\"name\" : \"" + umlauts + "\"", std::string("\"size\" : 2000"),
                                        "\"time\" : \"" + times["a.txt"] + "\"", std::string("\"directory\" : true")})
        EXPECT_NE(json.out.find(fragment), std::string::npos) << fragment << " not in " << json.out;

    WriteBytes(path("not-a-package.exe"), TextBytes(20000));
    RunResult damaged = RunPacker({"list", arg("not-a-package.exe")});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_TRUE(damaged.out.empty()) << damaged.out;
    EXPECT_NE(damaged.err.find("sfxpack: error: "), std::string::npos) << damaged.err;
}

// The settings as the stub reads them for its interface language.
StubView ReadAsStub(const fs::path& package, uint32_t language)
{
    StubView view;
    ResetSettings(&view.settings);
    SysFile file = SysFileOpenRead(package.string().c_str());
    const uint8_t* block = nullptr;
    uint32_t length = 0;
    view.code = ReadTrailer(file, language, &view.settings, &block, &length);
    view.block = OwnTrailerBlock(block);
    SysFileClose(file);
    return view;
}

std::string Text(const LocalizedText& text)
{
    return text.text ? text.text : "(none)";
}

TEST_F(PackerTest, ConfigAndOptionsGiveTheTextsTheStubChooses)
{
    WriteTree(path("in"), {{"setup.cmd", TextBytes(10)}});
    std::string config = R"(finish_no_wait = true
[neutral]
title = "Setup"
intro_text = "Hello"
command1 = "setup.cmd"
delete_list = "l\u00f6schliste.txt"
[german]
title = "Einrichtung f\u00fcr \u201eDemo\u201c"
exit_text = "Fertig."
[english]
exit_text = "Done."
)";
    WriteBytes(path("cfg.toml"), Bytes(config.begin(), config.end()));
    RunResult built = build("in", "texts.exe",
                            {"-c", arg("cfg.toml"), "--intro-text", "Hallo zusammen", "--text",
                             "english.finish_button=&Go", "--no-hide-frame"});
    ASSERT_EQ(built.exitCode, 0) << built.err;

    StubView german = ReadAsStub(path("texts.exe"), LANGUAGE_GERMAN);
    ASSERT_EQ(german.code, TRAILER_OK);
    EXPECT_EQ(Text(german.settings.title), "Einrichtung f\xFCr \x84" "Demo\x93");
    EXPECT_EQ(Text(german.settings.introText), "Hallo zusammen");   // the option won
    EXPECT_EQ(Text(german.settings.exitText), "Fertig.");
    EXPECT_EQ(Text(german.settings.command1), "setup.cmd");
    EXPECT_EQ(Text(german.settings.deleteListFile), "l\x94schliste.txt");
    EXPECT_EQ(Text(german.settings.finishButtonText), "&Go");   // the only one there is
    EXPECT_EQ(german.settings.flags, FLAG_FINISH_NO_WAIT);

    StubView english = ReadAsStub(path("texts.exe"), LANGUAGE_ENGLISH);
    ASSERT_EQ(english.code, TRAILER_OK);
    EXPECT_EQ(Text(english.settings.title), "Setup");
    EXPECT_EQ(Text(english.settings.exitText), "Done.");
    EXPECT_EQ(Text(english.settings.folderTemplate), "(none)");   // the stub's default applies
    EXPECT_FALSE(english.settings.cipherHeaderPresent);
}

TEST_F(PackerTest, ZipFileEntriesKeepTheirNamesAndTimes)
{
    packaging::ZipWriter zip;
    packaging::ZipEntry oem = packaging::ZipEntry::file("Gr\x94\xE1" "e.txt", TextBytes(3000));
    oem.dosDate = (30 << 9) | (6 << 5) | 15;   // 2010-06-15
    oem.dosTime = (13 << 11) | (45 << 5) | 4;   // 13:45:08
    zip.add(oem);
    packaging::ZipEntry utf8 = packaging::ZipEntry::file("\xC3\x9C" "bung/\xC3\xA4.txt", TextBytes(10),
                                                         packaging::ZipMethod::kStored);
    zip.add(utf8);
    packaging::ZipEntry streamed = packaging::ZipEntry::file("win\\style.bin", NoiseBytes(40000, 3));
    streamed.dataDescriptor = true;
    zip.add(streamed);
    zip.add(packaging::ZipEntry::directory("leer/"));
    packaging::ZipLayout layout;
    Bytes archive = zip.build(&layout);
    // Mark the second name as UTF-8 (general purpose bit 11) in both headers.
    archive[layout.localHeaders[1] + 7] |= 0x08;
    archive[layout.centralHeaders[1] + 9] |= 0x08;
    WriteBytes(path("in.zip"), archive);

    RunResult built = build("in.zip", "fromzip.exe");
    ASSERT_EQ(built.exitCode, 0) << built.err;
    RunResult extracted = RunPacker({"extract", arg("fromzip.exe"), "-d", arg("out")});
    ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
    std::map<std::string, TreeNode> tree = ReadTree(path("out"));
    std::vector<std::string> names;
    for (const auto& [name, node] : tree)
        names.push_back(name + (node.folder ? "/" : ""));
    EXPECT_EQ(names, (std::vector<std::string>{"Gr\xC3\xB6\xC3\x9F" "e.txt", "leer/", "win/", "win/style.bin",
                                               "\xC3\x9C" "bung/", "\xC3\x9C" "bung/\xC3\xA4.txt"}));
    EXPECT_TRUE(tree["win/style.bin"].content == NoiseBytes(40000, 3));
    RunResult listing = RunPacker({"inspect", arg("fromzip.exe")});
    EXPECT_NE(listing.out.find("2010-06-15 13:45:08  Gr\xC3\xB6\xC3\x9F" "e.txt"), std::string::npos) << listing.out;
}

TEST_F(PackerTest, The64BitStubIsChosenAndChecked)
{
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}});
    WriteBytes(path("stub64.exe"), FakeStub(0x8664));
    RunResult built = RunPacker({"build", arg("in"), "-o", arg("64.exe"), "--64", "--stub", arg("stub64.exe")});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    Bytes package = ReadBytes(path("64.exe"));
    EXPECT_TRUE(Bytes(package.begin(), package.begin() + 512) == FakeStub(0x8664));

    RunResult wrong = RunPacker({"build", arg("in"), "-o", arg("32.exe"), "--64", "--stub", U8(stub())});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("not a 64-bit Windows program"), std::string::npos) << wrong.err;
}

}  // namespace

// A signature's certificate table follows the trailer; inspect says so and
// where the trailer ends, and test still finds the package's own trailer.
TEST_F(PackerTest, SignedPackageIsInspectedAsSigned)
{
    WriteTree(path("src"), {{"a.txt", TextBytes(100)}});
    ASSERT_EQ(build("src", "setup.exe", {"--title", "Signed"}).exitCode, 0);
    packaging::Bytes package = ReadBytes(path("setup.exe"));
    std::size_t trailerEnd = package.size();
    // What a signing tool does to the stand-in stub's header and end: a
    // 32-bit optional header with 16 directories, zeros to a multiple of 8,
    // the table, and the security directory pointing at it.
    const std::size_t optional = 0x80 + 24, security = optional + 96 + 4 * 8;
    package[0x80 + 20] = 224;
    package[optional] = 0x0B;
    package[optional + 1] = 0x01;
    package[optional + 92] = 16;
    while (package.size() % 8 != 0)
        package.push_back(0);
    std::uint32_t offset = static_cast<std::uint32_t>(package.size()), size = 1000;
    std::memcpy(&package[security], &offset, 4);
    std::memcpy(&package[security + 4], &size, 4);
    package.insert(package.end(), size, 0x30);
    WriteBytes(path("signed.exe"), package);

    RunResult listing = RunPacker({"inspect", arg("signed.exe")});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("ending at " + std::to_string(trailerEnd)), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("signed:    yes, a certificate table of 1000 bytes at offset " + std::to_string(offset)),
              std::string::npos)
        << listing.out;
    RunResult json = RunPacker({"inspect", "--json", arg("signed.exe")});
    EXPECT_NE(json.out.find("\"signed\" : true"), std::string::npos) << json.out;
    EXPECT_EQ(RunPacker({"test", arg("signed.exe")}).exitCode, 0);
    RunResult plain = RunPacker({"inspect", arg("setup.exe")});
    EXPECT_NE(plain.out.find("signed:    no"), std::string::npos) << plain.out;
}

namespace {

// Grows the certificate table of a package signed by SignWithPkcsTable by
// `more` bytes (already appended to the file): the directory's size and the
// certificate's length, the two places no signature covers.
void GrowCertificateTable(Bytes& package, std::uint32_t more)
{
    const std::size_t security = 0x80 + 24 + 96 + 4 * 8;
    std::uint32_t offset = 0, size = 0, length = 0;
    std::memcpy(&offset, &package[security], 4);
    std::memcpy(&size, &package[security + 4], 4);
    size += more;
    std::memcpy(&package[security + 4], &size, 4);
    std::memcpy(&length, &package[offset], 4);
    length += more;
    std::memcpy(&package[offset], &length, 4);
}

// What a signing tool leaves behind on the stand-in stub: a 32-bit optional
// header with 16 directories, zeros to a multiple of 8, a certificate table
// holding one PKCS#7 structure of 260 bytes (272 with its header and
// alignment), the security directory pointing at it. Returns the table's
// offset.
std::uint32_t SignWithPkcsTable(Bytes& package)
{
    const std::size_t optional = 0x80 + 24;
    package[0x80 + 20] = 224;
    package[optional] = 0x0B;
    package[optional + 1] = 0x01;
    package[optional + 92] = 16;
    while (package.size() % 8 != 0)
        package.push_back(0);
    const std::uint32_t offset = static_cast<std::uint32_t>(package.size());
    const std::uint32_t size = 272;
    Bytes table = {0x10, 0x01, 0, 0, 0x00, 0x02, 0x02, 0x00, 0x30, 0x82, 0x01, 0x00};
    table.resize(size, 0x5A);
    package.insert(package.end(), table.begin(), table.end());
    const std::size_t security = optional + 96 + 4 * 8;
    std::memcpy(&package[security], &offset, 4);
    std::memcpy(&package[security + 4], &size, 4);
    return offset;
}

}  // namespace

// The signature covers neither the table's size nor the certificate's own
// length, so bytes hidden behind the signature leave it valid. The packer
// reads such a package up to its signature only, as the stub does, and says
// what it ignored.
TEST_F(PackerTest, SignedPackageIsReadOnlyUpToItsSignature)
{
    WriteTree(path("src"), {{"a.txt", TextBytes(100)}});
    ASSERT_EQ(build("src", "setup.exe", {"--title", "Signed"}).exitCode, 0);
    Bytes package = ReadBytes(path("setup.exe"));
    const std::size_t trailerEnd = package.size();
    const std::uint32_t tableOffset = SignWithPkcsTable(package);
    const std::uint64_t signatureEnd = tableOffset + 272;

    // An archive and a trailer of someone else's in the table, the table's
    // sizes grown to hold them; and a single byte after the table.
    Bytes padded = package;
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::file("a.txt", TextBytes(7)));
    Bytes archive = zip.build();
    packaging::TrailerBuilder trailer;
    trailer.archive(static_cast<std::uint32_t>(padded.size()), static_cast<std::uint32_t>(archive.size()))
        .text(packaging::kTitle, packaging::kNeutral, "Attacker");
    Bytes hidden = archive;
    Bytes records = trailer.build();
    hidden.insert(hidden.end(), records.begin(), records.end());
    padded.insert(padded.end(), hidden.begin(), hidden.end());
    GrowCertificateTable(padded, static_cast<std::uint32_t>(hidden.size()));
    Bytes appended = package;
    appended.push_back(0);

    for (const auto& [name, bytes, ignored] : {std::tuple{"padded.exe", padded, hidden.size()},
                                                std::tuple{"appended.exe", appended, std::size_t{1}}}) {
        SCOPED_TRACE(name);
        WriteBytes(path(name), bytes);
        RunResult listing = RunPacker({"inspect", arg(name)});
        ASSERT_EQ(listing.exitCode, 0) << listing.err;
        EXPECT_NE(listing.out.find("ending at " + std::to_string(trailerEnd)), std::string::npos) << listing.out;
        EXPECT_NE(listing.out.find("\"Signed\""), std::string::npos) << listing.out;
        EXPECT_EQ(listing.out.find("Attacker"), std::string::npos) << listing.out;
        EXPECT_NE(listing.out.find("ignored:   " + std::to_string(ignored) + " bytes at offset " +
                                   std::to_string(signatureEnd) + " after the signature"),
                  std::string::npos)
            << listing.out;
        RunResult json = RunPacker({"inspect", "--json", arg(name)});
        EXPECT_NE(json.out.find("\"ignored_after\" : " + std::to_string(ignored)), std::string::npos) << json.out;
        EXPECT_NE(json.out.find("\"end\" : " + std::to_string(signatureEnd)), std::string::npos) << json.out;
        RunResult tested = RunPacker({"test", arg(name)});
        EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
        fs::remove_all(path("out"));
        RunResult extracted = RunPacker({"extract", arg(name), "-d", arg("out")});
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        EXPECT_TRUE(ReadBytes(path("out/a.txt")) == TextBytes(100)) << "the signed package's own file";
    }

    // Nothing hidden: nothing said.
    WriteBytes(path("signed.exe"), package);
    RunResult clean = RunPacker({"inspect", arg("signed.exe")});
    ASSERT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out.find("ignored:"), std::string::npos) << clean.out;
    RunResult json = RunPacker({"inspect", "--json", arg("signed.exe")});
    EXPECT_NE(json.out.find("\"ignored_after\" : 0"), std::string::npos) << json.out;

    // Something between the trailer and the signature: the signature does
    // not hold the package's trailer, so there is none.
    Bytes late = ReadBytes(path("setup.exe"));
    late.insert(late.end(), 100, 0x77);
    SignWithPkcsTable(late);
    WriteBytes(path("late.exe"), late);
    ExpectRefused(RunPacker({"test", arg("late.exe")}), {"no trailer right before its signature"});
}

// Names beyond the German letters go in as UTF-8 with general purpose bit
// 11; names the OEM bytes carry stay as they were, so every stub reads them.
TEST_F(PackerTest, WesternNamesAreStoredInUtf8AndComeBack)
{
    const std::string resume = "R\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt", naive = "na\xC3\xAFve/\xC3\xA7" "a.txt",
                      umlauts = "Gr\xC3\xBC\xC3\x9F" "e.txt", cyrillic = "\xD0\x96.txt";
    WriteTree(path("in"), {{resume, TextBytes(10)}, {naive, TextBytes(20)}, {umlauts, TextBytes(30)},
                           {cyrillic, TextBytes(40)}});
    RunResult built = build("in", "setup.exe");
    ASSERT_EQ(built.exitCode, 0) << built.err;
    // Only the name outside Windows-1252 is worth a word.
    EXPECT_NE(built.err.find(cyrillic + ": holds U+0416"), std::string::npos) << built.err;
    EXPECT_EQ(built.err.find("R\xC3\xA9sum"), std::string::npos) << built.err;

    packer::OpenedPackage package(path("setup.exe"));
    package.openArchive();
    std::map<std::string, bool> marked;
    for (const packer::PackageEntry& entry : package.entries())
        marked[entry.utf8Name] = (entry.info.flagBits & 0x0800) != 0;
    EXPECT_EQ(marked, (std::map<std::string, bool>{
                          {resume, true}, {naive, true}, {umlauts, false}, {cyrillic, true}}));

    RunResult listing = RunPacker({"inspect", arg("setup.exe")});
    for (const std::string& name : {resume, naive, umlauts, cyrillic})
        EXPECT_NE(listing.out.find(name), std::string::npos) << listing.out;
    EXPECT_EQ(RunPacker({"test", arg("setup.exe")}).exitCode, 0);
    expectExtractsTheSource("setup.exe");
}

// The folder page switch: an option, a config key, or neither; inspect
// shows it, and without it the flags record is as it always was.
TEST_F(PackerTest, SkipFolderPageFromOptionOrConfig)
{
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}});
    std::ofstream(path("skip.toml")) << "skip_folder_page = true\n";
    std::ofstream(path("ask.toml")) << "skip_folder_page = false\n";
    const struct {
        std::vector<std::string> extra;
        bool skip;
    } cases[] = {
        {{}, false},
        {{"--skip-folder-page"}, true},
        {{"-c", arg("skip.toml")}, true},
        {{"-c", arg("skip.toml"), "--folder-page"}, false},
        {{"-c", arg("ask.toml")}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra.empty() ? std::string("none") : c.extra.back());
        ASSERT_EQ(build("in", "setup.exe", c.extra).exitCode, 0);
        RunResult listing = RunPacker({"inspect", arg("setup.exe")});
        EXPECT_EQ(listing.out.find("skip_folder_page") != std::string::npos, c.skip) << listing.out;
        RunResult json = RunPacker({"inspect", "--json", arg("setup.exe")});
        EXPECT_NE(json.out.find(std::string("\"skip_folder_page\" : ") + (c.skip ? "true" : "false")),
                  std::string::npos)
            << json.out;
        if (c.extra.empty()) {
            EXPECT_EQ(json.out.find("\"name\" : \"flags\""), std::string::npos) << "no flags record without a switch";
        }
    }
}

// allow_switches = false is the one switch whose bit says false: bit 3 set
// forbids the stub's command-line switches. Inspect shows it in words and
// as the flags' value; a package that does not say stays without the bit.
TEST_F(PackerTest, AllowSwitchesFalseSetsFlagBit3)
{
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}});
    std::ofstream(path("refuse.toml")) << "allow_switches = false\n";
    std::ofstream(path("allow.toml")) << "allow_switches = true\n";
    const struct {
        std::vector<std::string> extra;
        bool refused;
    } cases[] = {
        {{}, false},
        {{"--no-switches"}, true},
        {{"--allow-switches"}, false},
        {{"-c", arg("refuse.toml")}, true},
        {{"-c", arg("refuse.toml"), "--allow-switches"}, false},
        {{"-c", arg("allow.toml")}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra.empty() ? std::string("none") : c.extra.back());
        ASSERT_EQ(build("in", "setup.exe", c.extra).exitCode, 0);
        RunResult listing = RunPacker({"inspect", arg("setup.exe")});
        EXPECT_EQ(listing.out.find("allow_switches = false") != std::string::npos, c.refused) << listing.out;
        RunResult json = RunPacker({"inspect", "--json", arg("setup.exe")});
        EXPECT_NE(json.out.find(std::string("\"allow_switches\" : ") + (c.refused ? "false" : "true")),
                  std::string::npos)
            << json.out;
        // The default hide_frame bit, and bit 3 only when refused.
        EXPECT_NE(json.out.find(std::string("\"value\" : ") + (c.refused ? "9" : "1")), std::string::npos)
            << json.out;
    }
}
