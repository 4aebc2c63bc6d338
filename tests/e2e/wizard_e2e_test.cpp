// The wizard under Wine as a user meets it: which page a package opens on,
// Back and Next along the way, the password step, the folder field, Cancel,
// Escape and closing on every page, and the finish and exit pages with the
// texts and captions of the trailer or the built-in ones.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "packaging/entry_encryption.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "resource_ids.h"
#include "stub_driver.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

namespace {

const char kPassword[] = "Gr\xfc\xdf" "e aus Berlin";

bool FolderIsEmpty(const std::string& folder)
{
    return fs::is_empty(folder);
}

// What a package is made of; every text optional.
struct WizardSetup {
    std::string into;   // literal folder template
    bool encrypted = false;
    const char* introText = nullptr;
    const char* introLink = nullptr;
    const char* finishText = nullptr;
    const char* finishButton = nullptr;
    const char* exitText = nullptr;
    const char* exitButton = nullptr;
    std::uint32_t flags = 0;
    std::vector<ZipEntry> entries;
};

std::string WriteWizardPackage(const TempDir& dir, const WizardSetup& setup)
{
    TrailerBuilder trailer;
    trailer.text(kFolderTemplate, kNeutral, setup.into);
    auto optional = [&](RecordType type, const char* text) {
        if (text != nullptr)
            trailer.text(type, kNeutral, text);
    };
    optional(kIntroText, setup.introText);
    optional(kIntroLink, setup.introLink);
    optional(kFinishText, setup.finishText);
    optional(kFinishButton, setup.finishButton);
    optional(kExitText, setup.exitText);
    optional(kExitButton, setup.exitButton);
    trailer.flags(0x3, setup.flags);
    std::vector<ZipEntry> entries = setup.entries;
    if (entries.empty())
        entries.push_back(ZipEntry::file("readme.txt", B("hello")));
    ZipWriter zip;
    if (setup.encrypted) {
        ArchiveSecrets secrets = drawArchiveSecrets();
        EntryEncryptor encryptor(secrets);
        for (const ZipEntry& entry : entries)
            zip.add(encryptedZipEntry(encryptor, entry.name, entry.data));
        trailer.cipherHeader(makeCipherHeader(kPassword, secrets));
    } else {
        for (const ZipEntry& entry : entries)
            zip.add(entry);
    }
    return WritePackage(dir, trailer, zip.build());
}

// Every control of the page the user sees ends inside the frame's client
// area, so that no text wraps out of sight.
void ExpectPageInsideFrame(HWND frame)
{
    RECT client;
    GetClientRect(frame, &client);
    MapWindowPoints(frame, nullptr, reinterpret_cast<POINT*>(&client), 2);
    HWND page = driver::currentPage(frame);
    for (HWND item = GetWindow(page, GW_CHILD); item != nullptr; item = GetWindow(item, GW_HWNDNEXT)) {
        RECT rect = driver::windowRect(item);
        EXPECT_LE(rect.right, client.right) << "control " << GetDlgCtrlID(item);
    }
}

class Wizard : public ::testing::Test {
  protected:
    Wizard() : into_(dir_.path() + "\\into") { fs::create_directory(into_); }
    WizardSetup Setup() const
    {
        WizardSetup setup;
        setup.into = into_;
        return setup;
    }
    TempDir dir_;
    std::string into_;
};

}  // namespace

struct StartCase {
    bool intro;
    bool encrypted;
    int firstPageControl;
};

class WizardStart : public Wizard, public ::testing::WithParamInterface<StartCase> {};

TEST_P(WizardStart, OpensOnTheFirstPageWithSomethingToShow)
{
    WizardSetup setup = Setup();
    setup.encrypted = GetParam().encrypted;
    if (GetParam().intro)
        setup.introText = "Welcome.";
    driver::StubProcess stub(WriteWizardPackage(dir_, setup));
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, GetParam().firstPageControl);
    // The first page shown never has an earlier one, yet only the intro
    // page disables Back.
    EXPECT_EQ(driver::itemEnabled(frame, IDC_BACK), !GetParam().intro);
    EXPECT_TRUE(driver::itemEnabled(frame, IDC_NEXT));
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, WizardStart,
                         ::testing::Values(StartCase{true, true, IDC_INTRO_TEXT},
                                           StartCase{true, false, IDC_INTRO_TEXT},
                                           StartCase{false, true, IDC_PASSWORD_EDIT},
                                           StartCase{false, false, IDC_FOLDER_EDIT}));

// The whole course of an encrypted package with every page, the password
// tried wrong and right, Back from the folder page, and the built-in texts.
TEST_F(Wizard, WalksEveryPageForwardAndBack)
{
    WizardSetup setup = Setup();
    setup.encrypted = true;
    setup.introText = "Welcome to the demo.";
    setup.introLink = "https://example.invalid/readme";
    setup.finishText = "All files are there.";
    setup.exitText = "Thank you.";
    setup.entries = {ZipEntry::file("data/a.txt", B("alpha")), ZipEntry::file("b.bin", Bytes(70000, 7))};
    driver::StubProcess stub(WriteWizardPackage(dir_, setup));
    HWND frame = stub.waitForFrame();

    HWND intro = driver::waitForPage(frame, IDC_INTRO_TEXT);
    EXPECT_EQ(driver::itemText(intro, IDC_INTRO_TEXT), "Welcome to the demo.");
    EXPECT_EQ(driver::itemText(intro, IDC_INTRO_LINK), "https://example.invalid/readme");
    ExpectPageInsideFrame(frame);
    EXPECT_FALSE(driver::itemEnabled(frame, IDC_BACK));
    driver::clickButton(frame, IDC_NEXT);

    HWND password = driver::waitForPage(frame, IDC_PASSWORD_EDIT);
    EXPECT_EQ(driver::itemText(password, IDC_PASSWORD_PROMPT),
              ByLanguage("Das Archiv ist verschl\xfcsselt - geben Sie bitte das Passwort ein!",
                         "The archive is crypted - enter the password please!"));
    driver::clickButton(frame, IDC_BACK);
    driver::waitForPage(frame, IDC_INTRO_TEXT);
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_PASSWORD_EDIT);

    for (const char* wrong : {"wrong", ""}) {
        driver::typeText(password, IDC_PASSWORD_EDIT, wrong);
        driver::clickButton(frame, IDC_NEXT);
        driver::settle(frame);
        ASSERT_TRUE(driver::pageShows(frame, IDC_PASSWORD_EDIT));
        EXPECT_EQ(driver::itemText(password, IDC_PASSWORD_PROMPT),
                  ByLanguage("Das eingegebene Passwort ist nicht korrekt!\n\nGeben Sie bitte das korrekte Passwort ein!",
                             "The given password is invalid!\n\nPlease enter the correct password!"));
        EXPECT_EQ(driver::itemText(password, IDC_PASSWORD_EDIT), "");
    }
    driver::typeText(password, IDC_PASSWORD_EDIT, kPassword);
    driver::clickButton(frame, IDC_NEXT);

    HWND folder = driver::waitForPage(frame, IDC_FOLDER_EDIT);
    EXPECT_EQ(driver::itemText(folder, IDC_FOLDER_EDIT), into_);
    ExpectPageInsideFrame(frame);
    EXPECT_EQ(driver::itemText(folder, IDC_FOLDER_BROWSE), ByLanguage("Durchsuchen ...", "Browse ..."));
    EXPECT_EQ(driver::itemText(folder, IDC_FOLDER_TEXT).substr(0, 6), ByLanguage("W\xe4hlen", "Select"));
    std::string other = dir_.path() + "\\other";
    fs::create_directory(other);
    driver::typeText(folder, IDC_FOLDER_EDIT, other);

    // Back shows the accepted password as it was; Next does not check again.
    driver::clickButton(frame, IDC_BACK);
    driver::waitForPage(frame, IDC_PASSWORD_EDIT);
    EXPECT_EQ(driver::itemText(password, IDC_PASSWORD_EDIT), kPassword);
    driver::typeText(password, IDC_PASSWORD_EDIT, "no longer checked");
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    EXPECT_EQ(driver::itemText(folder, IDC_FOLDER_EDIT), other);   // stored on Back
    driver::clickButton(frame, IDC_NEXT);

    HWND finish = driver::waitForPage(frame, IDC_FINISH_TEXT);
    EXPECT_EQ(driver::itemText(finish, IDC_FINISH_TEXT), "All files are there.");
    ExpectPageInsideFrame(frame);
    EXPECT_EQ(driver::itemText(frame, IDC_NEXT), ByLanguage("&Beenden", "&Finish"));
    EXPECT_FALSE(driver::itemEnabled(frame, IDC_BACK));
    std::string unique = UniqueFolderIn(other);
    ASSERT_FALSE(unique.empty());
    EXPECT_EQ(readFileBytes(unique + "\\data\\a.txt"), B("alpha"));
    EXPECT_EQ(readFileBytes(unique + "\\b.bin"), Bytes(70000, 7));
    EXPECT_TRUE(FolderIsEmpty(into_));
    driver::clickButton(frame, IDC_NEXT);

    HWND exitPage = driver::waitForPage(frame, IDC_EXIT_TEXT);
    EXPECT_EQ(driver::itemText(exitPage, IDC_EXIT_TEXT), "Thank you.");
    EXPECT_EQ(driver::itemText(frame, IDC_NEXT), ByLanguage("&Beenden", "E&xit"));
    EXPECT_TRUE(fs::exists(unique + "\\b.bin"));
    driver::clickButton(frame, IDC_NEXT);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(FolderIsEmpty(other));
}

TEST_F(Wizard, BackOnTheFirstPageKeepsTheFolderPageAndStoresItsField)
{
    WizardSetup setup = Setup();
    setup.finishText = "Done.";
    driver::StubProcess stub(WriteWizardPackage(dir_, setup));
    HWND frame = stub.waitForFrame();
    HWND folder = driver::waitForPage(frame, IDC_FOLDER_EDIT);
    std::string other = dir_.path() + "\\other";
    fs::create_directory(other);
    driver::typeText(folder, IDC_FOLDER_EDIT, other);
    driver::clickButton(frame, IDC_BACK);
    driver::settle(frame);
    EXPECT_TRUE(driver::pageShows(frame, IDC_FOLDER_EDIT));
    EXPECT_TRUE(driver::itemEnabled(frame, IDC_BACK));
    // The field is stored by Back and put back by nothing else: retyping
    // the old folder and going on proves that only a leave stores it.
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    EXPECT_FALSE(UniqueFolderIn(other).empty());
    EXPECT_TRUE(FolderIsEmpty(into_));
    driver::clickButton(frame, IDC_NEXT);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(FolderIsEmpty(other));
}

TEST_F(Wizard, PasswordLongerThanTheFieldTakesIsCutBeforeTheCheck)
{
    // The package's password is 126 characters; the user types 130 whose
    // first 126 are right, and a second time 125 of them.
    std::string longPassword(126, 'k');
    for (std::size_t i = 0; i < longPassword.size(); i += 7)
        longPassword[i] = static_cast<char>('a' + i % 26);
    WizardSetup setup = Setup();
    setup.finishText = "Done.";
    TrailerBuilder trailer;
    ArchiveSecrets secrets = drawArchiveSecrets();
    EntryEncryptor encryptor(secrets);
    Bytes zip = ZipWriter().add(encryptedZipEntry(encryptor, "x.txt", B("x"))).build();
    trailer.text(kFolderTemplate, kNeutral, into_)
        .text(kFinishText, kNeutral, "Done.")
        .cipherHeader(makeCipherHeader(longPassword, secrets));
    driver::StubProcess stub(WritePackage(dir_, trailer, zip));
    HWND frame = stub.waitForFrame();
    HWND password = driver::waitForPage(frame, IDC_PASSWORD_EDIT);
    driver::typeText(password, IDC_PASSWORD_EDIT, longPassword.substr(0, 125));
    driver::clickButton(frame, IDC_NEXT);
    driver::settle(frame);
    ASSERT_TRUE(driver::pageShows(frame, IDC_PASSWORD_EDIT));
    driver::typeText(password, IDC_PASSWORD_EDIT, longPassword + "XYZW");
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
}

// How the user leaves: the Cancel button, or closing the window.
enum class Leave { kCancel, kClose };

struct CancelCase {
    const char* name;
    int pageControl;   // the page to leave from
    Leave leave;
};

class WizardCancel : public Wizard, public ::testing::WithParamInterface<CancelCase> {};

// Escape first, which must change nothing, then the way out: the program
// ends at once with 0, and whatever was extracted is gone.
TEST_P(WizardCancel, EscapeDoesNothingAndCancelEndsAtOnce)
{
    WizardSetup setup = Setup();
    setup.encrypted = true;
    setup.introText = "Welcome.";
    setup.finishText = "Done.";
    setup.exitText = "Bye.";
    driver::StubProcess stub(WriteWizardPackage(dir_, setup));
    HWND frame = stub.waitForFrame();
    const int course[] = {IDC_INTRO_TEXT, IDC_PASSWORD_EDIT, IDC_FOLDER_EDIT, IDC_FINISH_TEXT, IDC_EXIT_TEXT};
    for (int control : course) {
        HWND page = driver::waitForPage(frame, control);
        if (control == GetParam().pageControl)
            break;
        if (control == IDC_PASSWORD_EDIT)
            driver::typeText(page, IDC_PASSWORD_EDIT, kPassword);
        driver::clickButton(frame, IDC_NEXT);
    }
    driver::pressKey(frame, VK_ESCAPE);
    driver::settle(frame);
    EXPECT_FALSE(stub.hasExited());
    EXPECT_TRUE(driver::pageShows(frame, GetParam().pageControl));
    if (GetParam().leave == Leave::kCancel)
        driver::clickButton(frame, IDC_CANCEL);
    else
        PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(FolderIsEmpty(into_));
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardCancel,
                         ::testing::Values(CancelCase{"Intro", IDC_INTRO_TEXT, Leave::kCancel},
                                           CancelCase{"Password", IDC_PASSWORD_EDIT, Leave::kCancel},
                                           CancelCase{"Folder", IDC_FOLDER_EDIT, Leave::kClose},
                                           CancelCase{"Finish", IDC_FINISH_TEXT, Leave::kCancel},
                                           CancelCase{"FinishClosed", IDC_FINISH_TEXT, Leave::kClose},
                                           CancelCase{"Exit", IDC_EXIT_TEXT, Leave::kCancel}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Wizard, CancelDuringExtractionStopsAfterTheEntryInHandAndRemovesAll)
{
    WizardSetup setup = Setup();
    setup.finishText = "Done.";
    setup.entries = SlowEntries();
    driver::StubProcess stub(WriteWizardPackage(dir_, setup));
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_NEXT);
    HWND progress = driver::waitForPage(frame, IDC_PROGRESS_BAR);
    EXPECT_EQ(driver::itemText(progress, IDC_PROGRESS_HEADING),
              ByLanguage("Bitte warten Sie, bis alle Dateien aus dem Archiv extrahiert wurden",
                         "Please wait until all files are extracted from the archive"));
    ASSERT_TRUE(driver::waitUntil([&] { return !FolderIsEmpty(into_); }));
    EXPECT_FALSE(driver::itemEnabled(frame, IDC_BACK));
    EXPECT_FALSE(driver::itemEnabled(frame, IDC_NEXT));
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(60000), 0u);
    EXPECT_TRUE(FolderIsEmpty(into_));
}

struct ClosingCase {
    const char* name;
    const char* finishText;
    const char* finishButton;
    const char* exitText;
    const char* exitButton;
    std::uint32_t flags;
};

class WizardClosing : public Wizard, public ::testing::WithParamInterface<ClosingCase> {};

// Finish and exit pages with and without their texts and captions. A page
// without text is passed: no finish text starts the (absent) commands at
// once, no exit text ends the program with 0.
TEST_P(WizardClosing, FinishAndExitPagesFollowTheirTexts)
{
    const ClosingCase& c = GetParam();
    WizardSetup setup = Setup();
    setup.finishText = c.finishText;
    setup.finishButton = c.finishButton;
    setup.exitText = c.exitText;
    setup.exitButton = c.exitButton;
    setup.flags = c.flags;
    driver::StubProcess stub(WriteWizardPackage(dir_, setup));
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_NEXT);
    bool waitsOnFinish = c.finishText != nullptr && !(c.flags & 0x2);
    if (waitsOnFinish) {
        HWND finish = driver::waitForPage(frame, IDC_FINISH_TEXT);
        EXPECT_EQ(driver::itemText(finish, IDC_FINISH_TEXT), c.finishText);
        EXPECT_EQ(driver::itemText(frame, IDC_NEXT),
                  c.finishButton ? c.finishButton : ByLanguage("&Beenden", "&Finish"));
        EXPECT_FALSE(UniqueFolderIn(into_).empty());
        driver::clickButton(frame, IDC_NEXT);
    }
    if (c.exitText == nullptr) {
        EXPECT_EQ(stub.waitForExit(), 0u);
    } else {
        HWND exitPage = driver::waitForPage(frame, IDC_EXIT_TEXT);
        EXPECT_EQ(driver::itemText(exitPage, IDC_EXIT_TEXT), c.exitText);
        EXPECT_EQ(driver::itemText(frame, IDC_NEXT), c.exitButton ? c.exitButton : ByLanguage("&Beenden", "E&xit"));
        EXPECT_FALSE(driver::itemEnabled(frame, IDC_BACK));
        EXPECT_TRUE(driver::itemEnabled(frame, IDC_NEXT));
        EXPECT_FALSE(UniqueFolderIn(into_).empty());
        driver::clickButton(frame, IDC_NEXT);
        EXPECT_EQ(stub.waitForExit(), 0u);
    }
    EXPECT_TRUE(FolderIsEmpty(into_));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WizardClosing,
    ::testing::Values(ClosingCase{"BothWithBuiltInCaptions", "Finished.", nullptr, "Goodbye.", nullptr, 0},
                      ClosingCase{"BothWithOwnCaptions", "Finished.", "&Install", "Goodbye.", "&Close", 0},
                      ClosingCase{"NoFinishText", nullptr, "&Install", "Goodbye.", nullptr, 0},
                      ClosingCase{"FinishWithoutWaiting", "Finished.", nullptr, "Goodbye.", nullptr, 0x2},
                      ClosingCase{"NoExitText", "Finished.", nullptr, nullptr, nullptr, 0},
                      ClosingCase{"NeitherText", nullptr, nullptr, nullptr, nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });
