// Entry names marked as UTF-8 (general purpose bit 11) under Wine: written
// with their exact letters where the ANSI code page holds them, refused with
// "Could not create file" and nothing left where it does not, and never
// turned into a separator or a dot by a look-alike character.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "resource_ids.h"
#include "stub_driver.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

namespace {

ZipEntry Utf8File(const std::string& name, const std::string& content)
{
    ZipEntry entry = ZipEntry::file(name, B(content));
    entry.utf8Name = true;
    return entry;
}

// Names in UTF-8, and the same in Windows-1252.
const char kResume[] = "R\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.txt";
const char kResume1252[] = "R\xE9sum\xE9 \x80.txt";
const char kNaive[] = "na\xC3\xAFve/\xC3\xA7" "a.txt";
const char kNaive1252[] = "na\xEFve\\\xE7" "a.txt";

Bytes WesternArchive()
{
    return ZipWriter()
        .add(Utf8File(kResume, "resume"))
        .add(Utf8File(kNaive, "naive"))
        .add(ZipEntry::file("Gr\x81\xE1" "e.txt", B("oem")))   // an OEM name beside them
        .build();
}

void ExpectRefusedAndNothingLeft(const Bytes& archive)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    driver::StubProcess stub(PackageInto(dir, into, archive));
    StartExtraction(stub);
    HWND box = stub.waitForMessageBox();
    EXPECT_EQ(MessageLine(driver::itemText(box, driver::kMessageBoxTextId)),
              ByLanguage("Fehler beim Anlegen einer Datei", "Could not create file"));
    EXPECT_TRUE(Listing(into).empty());
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"into", "package.exe"}));
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}

}  // namespace

TEST(Utf8Names, WesternNamesArriveWithTheirLetters)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs the Windows-1252 code page";
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    driver::StubProcess stub(PackageInto(dir, into, WesternArchive()));
    StartExtraction(stub);
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    std::string unique = UniqueFolderIn(into);
    ASSERT_FALSE(unique.empty());
    // Through the ANSI functions, as the stub wrote them.
    EXPECT_EQ(readFileBytes(unique + "\\" + kResume1252), B("resume"));
    EXPECT_EQ(readFileBytes(unique + "\\" + kNaive1252), B("naive"));
    EXPECT_EQ(readFileBytes(unique + "\\Gr\xFC\xDF" "e.txt"), B("oem"));
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(Listing(into).empty());
}

TEST(Utf8Names, CodePageWithoutTheLettersRefusesThem)
{
    if (GetACP() != 1251)
        GTEST_SKIP() << "needs the Windows-1251 code page (run under LC_ALL=ru_RU.UTF-8)";
    ExpectRefusedAndNothingLeft(WesternArchive());
}

struct BadName {
    const char* test;
    const char* name;
};

class Utf8BadNames : public ::testing::TestWithParam<BadName> {};

TEST_P(Utf8BadNames, AreRefusedBeforeAnythingIsCreated)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs the Windows-1252 code page";
    ExpectRefusedAndNothingLeft(
        ZipWriter().add(ZipEntry::file("first.txt", B("1"))).add(Utf8File(GetParam().name, "x")).build());
}

INSTANTIATE_TEST_SUITE_P(
    Names, Utf8BadNames,
    ::testing::Values(BadName{"InvalidUtf8", "bad\xC3(.txt"},
                      // An overlong encoding of "." twice: "..", if decoded loosely.
                      BadName{"OverlongDots", "\xC0\xAE\xC0\xAE/escaped.txt"},
                      // Look-alikes that a best-fit mapping would turn into "/" or "..".
                      BadName{"FullWidthSolidus", "sub\xEF\xBC\x8F" "escaped.txt"},
                      BadName{"OneDotLeaders", "\xE2\x80\xA4\xE2\x80\xA4/escaped.txt"},
                      BadName{"FullWidthStops", "\xEF\xBC\x8E\xEF\xBC\x8E/escaped.txt"},
                      // Not in Windows-1252 at all.
                      BadName{"Cyrillic", "\xD0\x96.txt"}),
    [](const auto& info) { return std::string(info.param.test); });
