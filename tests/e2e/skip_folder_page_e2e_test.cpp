// Packages that ask no questions (flag bit 2): the folder page never shows,
// extraction into the template's folder starts on its own or right after
// the intro, and the rest of the run (Cancel, finish, commands, cleanup)
// is as without the flag.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "e2e_support.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "resource_ids.h"
#include "stub_driver.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kSkipFolderPage = 0x4;

class SkipFolderPage : public ::testing::Test {
  protected:
    SkipFolderPage() : into_(dir_.path() + "\\into") { fs::create_directory(into_); }

    std::string Package(const char* introText, std::vector<ZipEntry> entries, const std::string& command = "")
    {
        TrailerBuilder trailer;
        trailer.text(kFolderTemplate, kNeutral, into_).text(kFinishText, kNeutral, "Done.").flags(kSkipFolderPage,
                                                                                                    kSkipFolderPage);
        if (introText != nullptr)
            trailer.text(kIntroText, kNeutral, introText);
        if (!command.empty())
            trailer.text(kCommand1, kNeutral, command);
        ZipWriter zip;
        for (ZipEntry& entry : entries)
            zip.add(std::move(entry));
        return WritePackage(dir_, trailer, zip.build());
    }

    TempDir dir_;
    std::string into_;
};

}  // namespace

TEST_F(SkipFolderPage, OpensOnTheProgressPageAndExtractsIntoTheTemplateFolder)
{
    std::string report = dir_.path() + "\\report.txt";
    std::vector<ZipEntry> entries = SlowEntries();
    entries.push_back(ZipEntry::file("setup.ini", B("[setup]")));
    driver::StubProcess stub(Package(nullptr, std::move(entries), "\"" + ProbePath() + "\" report=" + report));
    HWND frame = stub.waitForFrame();
    // The first page the user sees, before anyone pressed anything.
    EXPECT_TRUE(driver::pageShows(frame, IDC_PROGRESS_BAR));
    HWND finish = driver::waitForPage(frame, IDC_FINISH_TEXT, 120000);
    EXPECT_EQ(driver::itemText(finish, IDC_FINISH_TEXT), "Done.");
    std::string unique = UniqueFolderIn(into_);
    ASSERT_FALSE(unique.empty()) << "extracted into the template's folder";
    EXPECT_EQ(readFileBytes(unique + "\\setup.ini"), B("[setup]"));
    driver::clickButton(frame, IDC_NEXT);
    EXPECT_EQ(stub.waitForExit(60000), 0u);
    EXPECT_TRUE(fs::exists(report)) << "the command ran";
    EXPECT_TRUE(fs::is_empty(into_));
}

TEST_F(SkipFolderPage, NextOnTheIntroGoesToTheProgressPage)
{
    driver::StubProcess stub(Package("Welcome.", SlowEntries()));
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_INTRO_TEXT);
    driver::clickButton(frame, IDC_NEXT);
    driver::settle(frame);
    EXPECT_TRUE(driver::pageShows(frame, IDC_PROGRESS_BAR));
    driver::waitForPage(frame, IDC_FINISH_TEXT, 120000);
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(fs::is_empty(into_));
}

TEST_F(SkipFolderPage, CancelDuringThatExtractionRemovesEverything)
{
    driver::StubProcess stub(Package(nullptr, SlowEntries()));
    HWND frame = stub.waitForFrame();
    ASSERT_TRUE(driver::waitUntil([&] { return !fs::is_empty(into_) && !Listing(into_).empty(); }));
    ASSERT_TRUE(driver::pageShows(frame, IDC_PROGRESS_BAR));
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(60000), 0u);
    EXPECT_TRUE(fs::is_empty(into_));
}
