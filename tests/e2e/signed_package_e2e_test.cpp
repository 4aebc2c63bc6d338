// A package signed with a real code-signing tool runs as itself: the
// certificate table behind its trailer must not make it take the trailer of
// a package stored inside it, nor one hidden in or after the table, where
// the signature does not reach. The signature is made by the Linux signing
// tool under a self-made certificate, reached through Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e_support.h"
#include "packer_support.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "resource_ids.h"
#include "stub_driver.h"
#include "support/wine_host.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

namespace {

// A package that reports through the probe under its own title.
TrailerBuilder Reporting(const std::string& title, const std::string& report, const std::string& into)
{
    TrailerBuilder trailer;
    trailer.text(kTitle, kNeutral, title)
        .text(kFolderTemplate, kNeutral, into)
        .text(kCommand1, kNeutral, "\"" + ProbePath() + "\" report=" + report)
        .text(kExitText, kNeutral, title + " done.")
        .flags(0x1, 0);
    return trailer;
}

// Runs the package through the folder page, the commands and the exit page;
// returns the title the frame showed. A run that goes another way is a
// failure of this package only, so the next one still runs.
std::string RunThrough(const std::string& package)
{
    driver::StubProcess stub(package);
    std::string title;
    try {
        HWND frame = stub.waitForFrame();
        title = driver::windowText(frame);
        driver::waitForPage(frame, IDC_FOLDER_EDIT);
        driver::clickButton(frame, IDC_NEXT);
        driver::waitForPage(frame, IDC_EXIT_TEXT);
        driver::clickButton(frame, IDC_NEXT);
        EXPECT_EQ(stub.waitForExit(), 0u);
    } catch (const std::exception& error) {
        ADD_FAILURE() << "the run of " << title << " went another way: " << error.what();
    }
    return title;
}

// The files a probe's report lists below its working folder, sorted.
std::vector<std::string> ReportedFiles(const std::string& report)
{
    std::ifstream in(report);
    std::vector<std::string> files;
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, 5, "file=") == 0)
            files.push_back(line.substr(5));
    std::sort(files.begin(), files.end());
    return files;
}

// Hides an archive, records and a footer in a signed package's certificate
// table, as an attacker can without breaking the signature: the table's
// size in the security directory and the certificate's length grow by as
// much, both left out of the signed hash. Zeros between archive and records
// keep the table's length a multiple of 8, as verifiers demand; the footer
// ends the file.
Bytes WithHiddenTrailer(Bytes package, const Bytes& archive, TrailerBuilder trailer)
{
    std::uint32_t peOffset = 0;
    std::memcpy(&peOffset, &package[0x3C], 4);
    bool pe32Plus = package[peOffset + 24] == 0x0B && package[peOffset + 25] == 0x02;
    std::size_t security = peOffset + 24 + (pe32Plus ? 112 : 96) + 4 * 8;
    std::uint32_t tableOffset = 0, tableSize = 0, certificateLength = 0;
    std::memcpy(&tableOffset, &package[security], 4);
    std::memcpy(&tableSize, &package[security + 4], 4);
    std::memcpy(&certificateLength, &package[tableOffset], 4);

    trailer.archive(static_cast<std::uint32_t>(package.size()), static_cast<std::uint32_t>(archive.size()));
    Bytes records = trailer.build();
    Bytes hidden = archive;
    hidden.resize((archive.size() + records.size() + 7) / 8 * 8 - records.size(), 0);
    hidden.insert(hidden.end(), records.begin(), records.end());
    package.insert(package.end(), hidden.begin(), hidden.end());
    tableSize += static_cast<std::uint32_t>(hidden.size());
    certificateLength += static_cast<std::uint32_t>(hidden.size());
    std::memcpy(&package[security + 4], &tableSize, 4);
    std::memcpy(&package[tableOffset], &certificateLength, 4);
    return package;
}

}  // namespace

// Each package must run with its own title, files and command: signed,
// with a trailer hidden in its certificate table, with a byte after the
// table, and unsigned with a tail of zeros. A package stored as the outer
// one's last file lends its trailer to none of them.
TEST(SignedPackage, RunsOnlyTheTrailerItsSignatureCovers)
{
    ASSERT_TRUE(winehost::Available());
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    std::string innerReport = dir.path() + "\\inner.txt", outerReport = dir.path() + "\\outer.txt",
                hiddenReport = dir.path() + "\\hidden.txt";

    // The stored package is the archive's last file, so its trailer lies a
    // few hundred bytes before the outer one.
    Bytes inner = assemblePackage(StubBytes(), ZipWriter().add(ZipEntry::file("i.txt", B("i"))).build(),
                                  Reporting("Inner", innerReport, into));
    Bytes archive = ZipWriter()
                        .add(ZipEntry::file("readme.txt", B("outer")))
                        .add(ZipEntry::file("nested/inner.exe", inner, ZipMethod::kStored))
                        .build();
    Bytes unsignedPackage = assemblePackage(StubBytes(), archive, Reporting("Outer", outerReport, into));
    std::string unsignedPath = dir.write("unsigned.exe", unsignedPackage);

    ASSERT_TRUE(SignWithTestCertificate(dir.path(), "unsigned.exe", "signed.exe"));
    std::string signedPath = dir.path() + "\\signed.exe";
    ASSERT_GT(fs::file_size(signedPath), fs::file_size(unsignedPath));
    Bytes signedPackage = readFileBytes(signedPath);

    Bytes hiddenArchive = ZipWriter().add(ZipEntry::file("hidden.txt", B("not signed"))).build();
    std::string hiddenPath = dir.write(
        "hidden.exe", WithHiddenTrailer(signedPackage, hiddenArchive, Reporting("Hidden", hiddenReport, into)));
    // The attack is real: the grown package still verifies.
    EXPECT_TRUE(SignatureVerifies(dir.path(), "hidden.exe"));
    Bytes withByte = signedPackage;
    withByte.push_back(0);
    std::string appendedPath = dir.write("appended.exe", withByte);
    Bytes withZeros = unsignedPackage;
    withZeros.insert(withZeros.end(), 16, 0);
    std::string tailPath = dir.write("tail.exe", withZeros);

    // The packer sees the signature and the trailer's end under it.
    RunResult listing = RunPacker({"inspect", signedPath});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("ending at " + std::to_string(fs::file_size(unsignedPath))), std::string::npos)
        << listing.out;
    EXPECT_NE(listing.out.find("signed:    yes"), std::string::npos) << listing.out;
    RunResult hiddenListing = RunPacker({"inspect", hiddenPath});
    ASSERT_EQ(hiddenListing.exitCode, 0) << hiddenListing.err;
    EXPECT_NE(hiddenListing.out.find("ignored:   "), std::string::npos) << hiddenListing.out;
    EXPECT_EQ(hiddenListing.out.find("Hidden"), std::string::npos) << hiddenListing.out;

    for (const std::string& package : {unsignedPath, signedPath, hiddenPath, appendedPath, tailPath}) {
        SCOPED_TRACE(package);
        EXPECT_EQ(RunThrough(package), "Outer");
        EXPECT_TRUE(fs::exists(outerReport)) << "the outer package's command ran";
        EXPECT_EQ(ReportedFiles(outerReport), (std::vector<std::string>{"nested", "nested/inner.exe", "readme.txt"}))
            << "the outer package's files";
        EXPECT_FALSE(fs::exists(innerReport)) << "the inner package's command never runs";
        EXPECT_FALSE(fs::exists(hiddenReport)) << "the hidden trailer's command never runs";
        EXPECT_TRUE(fs::is_empty(into));
        for (const std::string& report : {outerReport, innerReport, hiddenReport})
            fs::remove(report);
        for (const auto& left : fs::directory_iterator(into))
            fs::remove_all(left.path());
    }
}
