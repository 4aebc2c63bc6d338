// Start-up of a real package under Wine: the interface language, the frame's
// texts, and the fatal message of a damaged trailer.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e_support.h"
#include "resource_ids.h"
#include "stub_driver.h"

using namespace packaging;
using namespace e2e;

TEST(StartupLanguage, WineGivesTheLanguageOfTheLocaleEnvironment)
{
    // CTest starts this program under a chosen locale and says which
    // language id that must give; the stubs started below inherit it.
    const char* expected = std::getenv("SFX_EXPECT_LANGID");
    ASSERT_NE(expected, nullptr) << "run through CTest, which sets the locale";
    EXPECT_EQ(GetUserDefaultLangID(), std::strtoul(expected, nullptr, 16));
}

TEST(StartupFrame, ShowsDefaultTitleAndButtonTexts)
{
    TempDir dir;
    driver::StubProcess stub(WritePackage(dir, TrailerBuilder()));
    HWND frame = stub.waitForFrame();
    EXPECT_EQ(driver::windowText(frame),
              ByLanguage("Brenlow - Selbstextrahierendes Archiv", "Brenlow Self Extractor"));
    EXPECT_EQ(driver::itemText(frame, IDC_CANCEL), ByLanguage("&Abbrechen", "&Cancel"));
    EXPECT_EQ(driver::itemText(frame, IDC_BACK), ByLanguage("< &Zur\xFC" "ck", "< &Previous"));
    EXPECT_EQ(driver::itemText(frame, IDC_NEXT), ByLanguage("&Weiter >", "&Next >"));
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
}

TEST(StartupFrame, TitleRecordInWindows1252)
{
    TempDir dir;
    TrailerBuilder trailer;
    trailer.text(kTitle, kNeutral, "Gr\xF6\xDF" "e \xC4nderung");
    driver::StubProcess stub(WritePackage(dir, trailer));
    HWND frame = stub.waitForFrame();
    EXPECT_EQ(driver::windowText(frame), "Gr\xF6\xDF" "e \xC4nderung");
    // Escape is the dialog manager's cancel command: it must not end the wizard.
    PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
    Sleep(300);
    EXPECT_FALSE(stub.hasExited());
    // Closing the window is Cancel.
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(stub.waitForExit(), 0u);
}

namespace {

struct DamagedCase {
    const char* name;
    Bytes (*make)(const Bytes& stub);
    const char* caption;   // null: the system's default caption
};

Bytes Concat(const Bytes& a, const Bytes& b)
{
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace

class DamagedTrailer : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedTrailer, EndsWithCorruptArchiveMessage)
{
    TempDir dir;
    std::string path = dir.write("damaged.exe", GetParam().make(StubBytes()));
    driver::StubProcess stub(path);
    HWND box = stub.waitForMessageBox();
    EXPECT_EQ(driver::itemText(box, driver::kMessageBoxTextId),
              ByLanguage("Die Archiv-Datei ist fehlerhaft", "The archive file is corrupted"));
    if (GetParam().caption != nullptr) {
        EXPECT_EQ(driver::windowText(box), GetParam().caption);
    } else {
        EXPECT_NE(driver::windowText(box), "");
    }
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedTrailer,
    ::testing::Values(
        DamagedCase{"NoTrailerAtAll", [](const Bytes& stub) { return stub; }, nullptr},
        DamagedCase{"RecordRunsPastFooter",
                    [](const Bytes& stub) {
                        TrailerBuilder t;
                        t.text(kTitle, kNeutral, "Kaputtes Paket");
                        t.raw({40, 0, 15, 0});
                        return Concat(stub, t.build());
                    },
                    "Kaputtes Paket"},
        DamagedCase{"ZeroSizeRecord",
                    [](const Bytes& stub) {
                        TrailerBuilder t;
                        t.raw({0, 0, 2, 0, 0, 0, 0, 0});
                        return Concat(stub, t.build());
                    },
                    nullptr},
        DamagedCase{"TrailerLengthBeyondFile",
                    [](const Bytes& stub) { return Concat(stub, makeFooter(0x7FFFFFF0u)); }, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
