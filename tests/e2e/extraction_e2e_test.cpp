// Extraction by the real stub under Wine: the files arrive in a fresh "_X"
// folder inside the template's folder and are gone when the program ends;
// damaged or hostile archives end with their message and leave nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "resource_ids.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "stub_driver.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

TEST(Extraction, FilesArriveInAFreshFolderAndLeaveWithTheProgram)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    Bytes archive = ZipWriter()
                        .add(ZipEntry::file("setup.ini", B("[setup]")))
                        .add(ZipEntry::file("bin/tool.dat", Bytes(200000, 0x5A)))
                        .build();
    driver::StubProcess stub(PackageInto(dir, into, archive));
    StartExtraction(stub);
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    std::vector<std::string> names = Listing(into);
    ASSERT_EQ(names.size(), 4u);
    const std::string unique = names[0];
    EXPECT_EQ(unique.size(), 8u);
    EXPECT_EQ(unique.substr(0, 2), "_X");
    EXPECT_EQ(names, (std::vector<std::string>{unique, unique + "/bin", unique + "/bin/tool.dat",
                                              unique + "/setup.ini"}));
    EXPECT_EQ(readFileBytes(into + "\\" + unique + "\\bin\\tool.dat"), Bytes(200000, 0x5A));
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(Listing(into).empty());
}

struct BadArchiveCase {
    const char* name;
    Bytes (*make)();
    const char* german;
    const char* english;
    const char* named = "";   // in the line after the message, before the reason; "": no such line
};

class BadArchive : public ::testing::TestWithParam<BadArchiveCase> {};

TEST_P(BadArchive, EndsWithItsMessageAndLeavesNothing)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    driver::StubProcess stub(PackageInto(dir, into, GetParam().make()));
    StartExtraction(stub);
    HWND box = stub.waitForMessageBox();
    std::string text = driver::itemText(box, driver::kMessageBoxTextId);
    EXPECT_EQ(MessageLine(text), MessageLine(ByLanguage(GetParam().german, GetParam().english))) << text;
    std::string details = MessageDetails(text);
    std::string named = GetParam().named;
    if (named.empty()) {
        EXPECT_EQ(details, "") << text;
    } else {
        std::size_t at = details.find(named + ": ");
        EXPECT_NE(at, std::string::npos) << text;
        EXPECT_EQ(details.find('\n'), std::string::npos) << "one line: " << text;
        EXPECT_GT(details.size(), at + named.size() + 2) << "no reason: " << text;
    }
    // The cleanup ran before the message: nothing is left while it shows.
    EXPECT_TRUE(Listing(into).empty());
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"into", "package.exe"}));
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadArchive,
    ::testing::Values(
        BadArchiveCase{"CorruptDeflateData",
                       [] {
                           ZipLayout layout;
                           Bytes zip = ZipWriter()
                                           .add(ZipEntry::file("good.txt", B("fine")))
                                           .add(ZipEntry::file("bad.txt", Bytes(5000, 'q')))
                                           .build(&layout);
                           zip[layout.dataStarts[1]] ^= 0xFF;
                           zip[layout.dataStarts[1] + 1] ^= 0xFF;
                           return zip;
                       },
                       "Fehler beim Lesen des Archivs", "Error reading archive"},
        BadArchiveCase{"CrcMismatch",
                       [] {
                           ZipLayout layout;
                           Bytes zip = ZipWriter()
                                           .add(ZipEntry::file("good.txt", B("fine"), ZipMethod::kStored))
                                           .add(ZipEntry::file("flipped.txt", B("abcdef"), ZipMethod::kStored))
                                           .build(&layout);
                           zip[layout.dataStarts[1] + 2] ^= 0x01;
                           return zip;
                       },
                       "Fehler beim Lesen des Archivs", "Error reading archive"},
        BadArchiveCase{"ParentFolderInName",
                       [] {
                           return ZipWriter()
                               .add(ZipEntry::file("first.txt", B("1")))
                               .add(ZipEntry::file("sub/../../escaped.txt", B("evil")))
                               .build();
                       },
                       "Fehler beim Anlegen einer Datei", "Could not create file", "escaped.txt"},
        BadArchiveCase{"DriveInName",
                       [] { return ZipWriter().add(ZipEntry::file("C:evil.txt", B("evil"))).build(); },
                       "Fehler beim Anlegen einer Datei", "Could not create file", "C:evil.txt"},
        BadArchiveCase{"FileWhereAFolderMustGo",
                       [] {
                           return ZipWriter()
                               .add(ZipEntry::file("a", B("a file")))
                               .add(ZipEntry::file("a/b.txt", B("under it")))
                               .build();
                       },
                       "Fehler beim Anlegen eines Ordners\n", "Could not create directory", "\\a"},
        BadArchiveCase{"NameTooLongForItsBuffer",
                       [] {
                           return ZipWriter()
                               .add(ZipEntry::file("ok.txt", B("1")))
                               .add(ZipEntry::file(std::string(200, 'd') + "/" + std::string(200, 'f'), B("x")))
                               .build();
                       },
                       "Fehler beim Anlegen einer Datei", "Could not create file"},
        // Windows resolves these names to devices or drops the dot: the
        // file would not be the one named.
        BadArchiveCase{"DeviceNameInAFolder",
                       [] {
                           return ZipWriter()
                               .add(ZipEntry::file("first.txt", B("1")))
                               .add(ZipEntry::file("docs/Con.txt", B("to the console")))
                               .build();
                       },
                       "Fehler beim Anlegen einer Datei", "Could not create file", "Con.txt"},
        BadArchiveCase{"DeviceName", [] { return ZipWriter().add(ZipEntry::file("nul", B("gone"))).build(); },
                       "Fehler beim Anlegen einer Datei", "Could not create file", "nul"},
        BadArchiveCase{"TrailingDot", [] { return ZipWriter().add(ZipEntry::file("readme.", B("x"))).build(); },
                       "Fehler beim Anlegen einer Datei", "Could not create file", "readme."},
        // A deflate stream that ends early would leave a short file behind a
        // run that reports success.
        BadArchiveCase{"DeflateEndsBeforeItsUncompressedSize",
                       [] {
                           Bytes data(3000, 'q');
                           return ZipWriter()
                               .add(ZipEntry::file("first.txt", B("1")))
                               .add(ZipEntry::prepared("short.txt", ZipMethod::kDeflated, deflateRaw(data),
                                                       crc32Of(data), 5000))
                               .build();
                       },
                       "Fehler beim Lesen des Archivs", "Error reading archive"},
        BadArchiveCase{"DeflateEndsBeforeItsCompressedSize",
                       [] {
                           Bytes data(3000, 'q');
                           Bytes packed = deflateRaw(data);
                           packed.insert(packed.end(), 64, 0);
                           return ZipWriter()
                               .add(ZipEntry::prepared("short.txt", ZipMethod::kDeflated, packed, crc32Of(data),
                                                       3000))
                               .build();
                       },
                       "Fehler beim Lesen des Archivs", "Error reading archive"},
        // More data than the directory says, the CRC over the declared part
        // only: the file would come out cut after a run that reports success.
        BadArchiveCase{"DeflateGivesMoreThanItsUncompressedSize",
                       [] {
                           Bytes data(100, 'q');
                           data[70] = 'r';
                           Bytes declared(data.begin(), data.begin() + 50);
                           return ZipWriter()
                               .add(ZipEntry::file("first.txt", B("1")))
                               .add(ZipEntry::prepared("long.txt", ZipMethod::kDeflated, deflateRaw(data),
                                                       crc32Of(declared), 50))
                               .build();
                       },
                       "Fehler beim Lesen des Archivs", "Error reading archive"},
        BadArchiveCase{"StoredLongerThanItsUncompressedSize",
                       [] {
                           Bytes data(100, 's');
                           Bytes declared(data.begin(), data.begin() + 50);
                           return ZipWriter()
                               .add(ZipEntry::file("first.txt", B("1")))
                               .add(ZipEntry::prepared("long.txt", ZipMethod::kStored, data, crc32Of(declared), 50))
                               .build();
                       },
                       "Fehler beim Lesen des Archivs", "Error reading archive"},
        BadArchiveCase{"NoArchive", [] { return B("this is no zip archive at all"); },
                       "Die Archiv-Datei ist fehlerhaft", "The archive file is corrupted"}),
    [](const auto& info) { return std::string(info.param.name); });

// A path longer than Windows allows: the message names the entry and says
// why, so that the user can choose a shorter folder.
TEST(Extraction, PathTooLongNamesTheEntry)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    std::string name = std::string(120, 'd') + "/" + std::string(120, 'f') + ".txt";
    Bytes archive = ZipWriter().add(ZipEntry::file("first.txt", B("1"))).add(ZipEntry::file(name, B("x"))).build();
    driver::StubProcess stub(PackageInto(dir, into, archive));
    StartExtraction(stub);
    HWND box = stub.waitForMessageBox();
    std::string text = driver::itemText(box, driver::kMessageBoxTextId);
    EXPECT_EQ(MessageLine(text), ByLanguage("Fehler beim Anlegen einer Datei", "Could not create file"));
    std::string details = MessageDetails(text);
    std::string named = std::string(120, 'f') + ".txt: ";
    ASSERT_NE(details.find(named), std::string::npos) << text;
    EXPECT_EQ(details.substr(0, 120), std::string(120, 'd')) << text;
    EXPECT_GT(details.size(), details.find(named) + named.size()) << "no reason: " << text;
    EXPECT_TRUE(Listing(into).empty());
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}

// Under a code page without the umlaut pairs (Windows-1251 here) an OEM
// umlaut in a name cannot be mapped: the entry is refused, nothing stays.
TEST(Extraction, UnmappableNameUnderAForeignCodePage)
{
    if (GetACP() != 1251)
        GTEST_SKIP() << "needs the Windows-1251 code page (run under LC_ALL=ru_RU.UTF-8)";
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    Bytes archive = ZipWriter()
                        .add(ZipEntry::file("first.txt", B("1")))
                        .add(ZipEntry::file("Gr\x81\xe1" "e.txt", B("umlaut")))
                        .build();
    driver::StubProcess stub(PackageInto(dir, into, archive));
    StartExtraction(stub);
    HWND box = stub.waitForMessageBox();
    EXPECT_EQ(MessageLine(driver::itemText(box, driver::kMessageBoxTextId)), "Could not create file");
    EXPECT_TRUE(Listing(into).empty());
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}

// The delete list names files of the extraction folder only: a line that
// leads outside is skipped, and a list of that name in the folder the user
// chose is never read when the run ends before it made its own folder.
TEST(Extraction, DeleteListStaysInsideTheExtractionFolder)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    std::string victim = dir.write("victim.txt", B("keep"));
    std::string intoVictim = dir.write("into\\victim.txt", B("keep"));
    Bytes archive = ZipWriter()
                        .add(ZipEntry::file("list.txt", B("..\\victim.txt\n..\\..\\victim.txt\n" + victim + "\n")))
                        .build();
    TrailerBuilder trailer;
    trailer.text(kFolderTemplate, kNeutral, into).text(kDeleteList, kNeutral, "list.txt");
    driver::StubProcess stub(WritePackage(dir, trailer, archive));
    StartExtraction(stub);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_EQ(Listing(into), std::vector<std::string>{"victim.txt"});
    EXPECT_TRUE(fs::exists(victim));
}

TEST(Extraction, CancelBeforeExtractionReadsNoDeleteListOfTheChosenFolder)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    std::string victim = dir.write("into\\victim.txt", B("keep"));
    dir.write("into\\list.txt", B("victim.txt\n"));
    TrailerBuilder trailer;
    trailer.text(kFolderTemplate, kNeutral, into).text(kDeleteList, kNeutral, "list.txt");
    driver::StubProcess stub(WritePackage(dir, trailer, ZipWriter().add(ZipEntry::file("a.txt", B("a"))).build()));
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(fs::exists(victim));
}
