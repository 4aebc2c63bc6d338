// A package signed with a real code-signing tool runs as itself: the
// certificate table behind its trailer must not make it take the trailer of
// a package stored inside it. The signature is made by the Linux signing
// tool under a self-made certificate, reached through Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
// returns the title the frame showed.
std::string RunThrough(const std::string& package)
{
    driver::StubProcess stub(package);
    HWND frame = stub.waitForFrame();
    std::string title = driver::windowText(frame);
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_EXIT_TEXT);
    driver::clickButton(frame, IDC_NEXT);
    EXPECT_EQ(stub.waitForExit(), 0u);
    return title;
}

}  // namespace

TEST(SignedPackage, RunsWithItsOwnTrailerBeforeAndAfterSigning)
{
    ASSERT_TRUE(winehost::Available());
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    std::string innerReport = dir.path() + "\\inner.txt", outerReport = dir.path() + "\\outer.txt";

    // The stored package is the archive's last file, so its trailer lies a
    // few hundred bytes before the outer one.
    Bytes inner = assemblePackage(StubBytes(), ZipWriter().add(ZipEntry::file("i.txt", B("i"))).build(),
                                  Reporting("Inner", innerReport, into));
    Bytes archive = ZipWriter()
                        .add(ZipEntry::file("readme.txt", B("outer")))
                        .add(ZipEntry::file("nested/inner.exe", inner, ZipMethod::kStored))
                        .build();
    std::string unsignedPath =
        dir.write("unsigned.exe", assemblePackage(StubBytes(), archive, Reporting("Outer", outerReport, into)));

    std::string folder = winehost::UnixPath(dir.path());
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(winehost::RunUnixCommand("/usr/bin/openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=sfxtest -days 2"
                                       " -keyout " + folder + "/key.pem -out " + folder + "/cert.pem 2>/dev/null"),
              0);
    ASSERT_EQ(winehost::RunUnixCommand("/usr/bin/osslsigncode sign -certs " + folder + "/cert.pem -key " + folder +
                                       "/key.pem -in " + folder + "/unsigned.exe -out " + folder +
                                       "/signed.exe >/dev/null"),
              0);
    std::string signedPath = dir.path() + "\\signed.exe";
    ASSERT_GT(fs::file_size(signedPath), fs::file_size(unsignedPath));

    // The packer sees the signature and the trailer's end under it.
    RunResult listing = RunPacker({"inspect", signedPath});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.out.find("ending at " + std::to_string(fs::file_size(unsignedPath))), std::string::npos)
        << listing.out;
    EXPECT_NE(listing.out.find("signed:    yes"), std::string::npos) << listing.out;

    for (const std::string& package : {unsignedPath, signedPath}) {
        SCOPED_TRACE(package);
        EXPECT_EQ(RunThrough(package), "Outer");
        EXPECT_TRUE(fs::exists(outerReport)) << "the outer package's command ran";
        EXPECT_FALSE(fs::exists(innerReport)) << "the inner package's command never runs";
        EXPECT_TRUE(fs::is_empty(into));
        fs::remove(outerReport);
    }
}
