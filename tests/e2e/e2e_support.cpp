#include "e2e_support.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/package_assembly.h"
#include "support/wine_host.h"
#include "support/zip_builder.h"
#include "resource_ids.h"
#include "stub_driver.h"

namespace e2e {

const std::string& StubPath()
{
    static const std::string path = SFX_STUB_PATH;
    return path;
}

const packaging::Bytes& StubBytes()
{
    static const packaging::Bytes bytes = packaging::readFileBytes(StubPath());
    return bytes;
}

const packaging::Bytes& EmptyArchive()
{
    static const packaging::Bytes empty = packaging::ZipWriter().build();
    return empty;
}

const std::string& ProbePath()
{
    static const std::string path = [] {
        std::string windowsPath = SFX_PROBE_PATH;
        std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
        return windowsPath;
    }();
    return path;
}

std::vector<packaging::ZipEntry> SlowEntries()
{
    packaging::Bytes noise = NoiseBytes(1 << 20, 777);
    std::vector<packaging::ZipEntry> entries;
    for (int i = 0; i < 150; i++)
        entries.push_back(
            packaging::ZipEntry::file("part" + std::to_string(i) + ".bin", noise, packaging::ZipMethod::kStored));
    return entries;
}

bool GermanUi()
{
    return (GetUserDefaultLangID() & 0x3FF) == LANG_GERMAN;
}

std::string WritePackage(const TempDir& dir, const packaging::TrailerBuilder& trailer,
                         const packaging::Bytes& archive, const std::string& name)
{
    // A package always carries an archive; an empty one unless given.
    const packaging::Bytes& zip = archive.empty() ? EmptyArchive() : archive;
    return dir.write(name, packaging::assemblePackage(StubBytes(), zip, trailer));
}

bool SignWithTestCertificate(const std::string& folder, const std::string& unsignedName,
                             const std::string& signedName)
{
    std::string unixFolder = winehost::UnixPath(folder);
    if (unixFolder.empty())
        return false;
    return winehost::RunUnixCommand("/usr/bin/openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=sfxtest -days 2"
                                    " -keyout " + unixFolder + "/key.pem -out " + unixFolder +
                                    "/cert.pem 2>/dev/null") == 0 &&
           winehost::RunUnixCommand("/usr/bin/osslsigncode sign -certs " + unixFolder + "/cert.pem -key " +
                                    unixFolder + "/key.pem -in " + unixFolder + "/" + unsignedName + " -out " +
                                    unixFolder + "/" + signedName + " >/dev/null") == 0;
}

bool SignatureVerifies(const std::string& folder, const std::string& name)
{
    std::string unixFolder = winehost::UnixPath(folder);
    return !unixFolder.empty() &&
           winehost::RunUnixCommand("/usr/bin/osslsigncode verify -CAfile " + unixFolder + "/cert.pem -in " +
                                    unixFolder + "/" + name + " >/dev/null 2>&1") == 0;
}

std::string UniqueFolderIn(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        found.push_back(entry.path().string());
    return found.size() == 1 ? found[0] : std::string();
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(std::filesystem::relative(entry.path(), folder).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string PackageInto(const TempDir& dir, const std::string& into, const packaging::Bytes& archive,
                        packaging::TrailerBuilder trailer)
{
    trailer.text(packaging::kFolderTemplate, packaging::kNeutral, into)
        .text(packaging::kFinishText, packaging::kNeutral, "Done.");
    return WritePackage(dir, trailer, archive);
}

void StartExtraction(const driver::StubProcess& stub)
{
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_NEXT);
}

}  // namespace e2e
