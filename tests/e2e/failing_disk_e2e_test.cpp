// A disk that fails under the extraction: the stub with one of its file
// calls failing at the first, a middle or the last entry; and memory that
// runs out at the password check. Each failure ends with its message and
// exit code 1, and nothing of the run is left.
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

struct DiskFault {
    const char* call;
    int n;                  // the failing use of the call
    const char* where;      // for the test's name
    const char* german;
    const char* english;
    const char* concerned;   // the path named, below the extraction folder
};

void PrintTo(const DiskFault& f, std::ostream* os)
{
    *os << f.call << " " << f.n;
}

const char* const kFolderDe = "Fehler beim Anlegen eines Ordners\n";
const char* const kFolderEn = "Could not create directory";
const char* const kFileDe = "Fehler beim Anlegen einer Datei";
const char* const kFileEn = "Could not create file";
const char* const kWriteDe = "Fehler beim Schreiben einer Datei (Platte voll?)";
const char* const kWriteEn = "Disk write error";

// Three entries, each in a folder of its own and small enough for one
// write. Folders: the extraction folder is made first, then a, b, c. Files:
// each entry's first create finds its folder missing, the second makes it.
const DiskFault kFaults[] = {
    {"createDirectory", 1, "ExtractionFolder", kFolderDe, kFolderEn, ""},
    {"createDirectory", 2, "FirstEntry", kFolderDe, kFolderEn, "\\a"},
    {"createDirectory", 3, "MiddleEntry", kFolderDe, kFolderEn, "\\b"},
    {"createDirectory", 4, "LastEntry", kFolderDe, kFolderEn, "\\c"},
    {"createFile", 1, "FirstEntry", kFileDe, kFileEn, "\\a\\1.bin"},
    {"createFile", 3, "MiddleEntry", kFileDe, kFileEn, "\\b\\2.bin"},
    {"createFile", 6, "LastEntry", kFileDe, kFileEn, "\\c\\3.bin"},
    {"writeFile", 1, "FirstEntry", kWriteDe, kWriteEn, "\\a\\1.bin"},
    {"writeFile", 2, "MiddleEntry", kWriteDe, kWriteEn, "\\b\\2.bin"},
    {"writeFile", 3, "LastEntry", kWriteDe, kWriteEn, "\\c\\3.bin"},
    // A write error reported only when the file is closed.
    {"closeHandle", 1, "FirstEntry", kWriteDe, kWriteEn, "\\a\\1.bin"},
    {"closeHandle", 2, "MiddleEntry", kWriteDe, kWriteEn, "\\b\\2.bin"},
    {"closeHandle", 3, "LastEntry", kWriteDe, kWriteEn, "\\c\\3.bin"},
};

// The message's own line, then the path concerned below the unique folder
// (whose six characters vary) and the system's reason after a colon.
void ExpectMessageNaming(const std::string& text, std::string message, const std::string& into,
                         const std::string& concerned)
{
    if (!message.empty() && message.back() == '\n')
        message.pop_back();
    std::string head = message + "\n" + into + "\\_X";
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    std::string rest = text.substr(std::min(text.size(), head.size() + 6));
    std::string tail = concerned + ": ";
    EXPECT_EQ(rest.substr(0, tail.size()), tail) << text;
    EXPECT_GT(rest.size(), tail.size()) << "no reason: " << text;
}

class FailingDisk : public ::testing::TestWithParam<DiskFault> {};

}  // namespace

TEST_P(FailingDisk, EndsWithItsMessageAndLeavesNothing)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    Bytes archive = ZipWriter()
                        .add(ZipEntry::file("a/1.bin", Bytes(1000, 1)))
                        .add(ZipEntry::file("b/2.bin", Bytes(1000, 2)))
                        .add(ZipEntry::file("c/3.bin", Bytes(1000, 3)))
                        .build();
    TrailerBuilder trailer;
    trailer.text(kFolderTemplate, kNeutral, into).text(kFinishText, kNeutral, "Done.");
    std::string package =
        dir.write("package.exe", assemblePackage(readFileBytes(SFX_FAILING_DISK_STUB_PATH), archive, trailer));

    SetEnvironmentVariableA("SFX_FAULT", (std::string(GetParam().call) + " " + std::to_string(GetParam().n)).c_str());
    driver::StubProcess stub(package);
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_NEXT);
    HWND box = stub.waitForMessageBox();
    ExpectMessageNaming(driver::itemText(box, driver::kMessageBoxTextId),
                        ByLanguage(GetParam().german, GetParam().english), into, GetParam().concerned);
    EXPECT_TRUE(fs::is_empty(into)) << "cleaned up before the message";
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Faults, FailingDisk, ::testing::ValuesIn(kFaults), [](const auto& info) {
    return std::string(info.param.call) + "_" + info.param.where;
});

// Without memory for the cipher no password can be checked at all: the
// stub says so and ends, rather than calling the right password wrong.
TEST(FailingMemory, PasswordCheckWithoutMemoryEndsWithItsMessage)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    ArchiveSecrets secrets = drawArchiveSecrets();
    EntryEncryptor encryptor(secrets);
    Bytes archive = ZipWriter().add(encryptedZipEntry(encryptor, "a.txt", Bytes(100, 'a'))).build();
    TrailerBuilder trailer;
    trailer.text(kFolderTemplate, kNeutral, into).cipherHeader(makeCipherHeader("secret", secrets));
    std::string package =
        dir.write("package.exe", assemblePackage(readFileBytes(SFX_FAILING_DISK_STUB_PATH), archive, trailer));

    SetEnvironmentVariableA("SFX_FAULT", "cipherState 1");
    driver::StubProcess stub(package);
    HWND frame = stub.waitForFrame();
    HWND page = driver::waitForPage(frame, IDC_PASSWORD_EDIT);
    driver::typeText(page, IDC_PASSWORD_EDIT, "secret");
    driver::clickButton(frame, IDC_NEXT);
    HWND box = stub.waitForMessageBox();
    EXPECT_EQ(driver::itemText(box, driver::kMessageBoxTextId), ByLanguage("Nicht genug Speicher", "Out of memory"));
    EXPECT_TRUE(fs::is_empty(into));
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}
