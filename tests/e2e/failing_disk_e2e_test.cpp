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
    {"createDirectory", 1, "ExtractionFolder", kFolderDe, kFolderEn},
    {"createDirectory", 2, "FirstEntry", kFolderDe, kFolderEn},
    {"createDirectory", 3, "MiddleEntry", kFolderDe, kFolderEn},
    {"createDirectory", 4, "LastEntry", kFolderDe, kFolderEn},
    {"createFile", 1, "FirstEntry", kFileDe, kFileEn},
    {"createFile", 3, "MiddleEntry", kFileDe, kFileEn},
    {"createFile", 6, "LastEntry", kFileDe, kFileEn},
    {"writeFile", 1, "FirstEntry", kWriteDe, kWriteEn},
    {"writeFile", 2, "MiddleEntry", kWriteDe, kWriteEn},
    {"writeFile", 3, "LastEntry", kWriteDe, kWriteEn},
    // A write error reported only when the file is closed.
    {"closeHandle", 1, "FirstEntry", kWriteDe, kWriteEn},
    {"closeHandle", 2, "MiddleEntry", kWriteDe, kWriteEn},
    {"closeHandle", 3, "LastEntry", kWriteDe, kWriteEn},
};

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

    driver::StubProcess stub(package, "", std::string(GetParam().call) + " " + std::to_string(GetParam().n));
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_NEXT);
    HWND box = stub.waitForMessageBox();
    EXPECT_EQ(driver::itemText(box, driver::kMessageBoxTextId), ByLanguage(GetParam().german, GetParam().english));
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

    driver::StubProcess stub(package, "", "cipherState 1");
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
