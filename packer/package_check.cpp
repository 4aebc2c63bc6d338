// Checking a package whole, as the stub would meet it: trailer, archive,
// names, and every entry inflated and compared with its CRC-32.
#include <cinttypes>

#include "commands.h"
#include "interruption.h"
#include "notes.h"
#include "output_text.h"
#include "package_reader.h"
#include "packer_error.h"
#include "progress.h"

namespace packer {

int TestPackage(const fs::path& path, const PasswordSource& password, bool progressWanted, std::FILE* out)
{
    OpenedPackage package(path);
    package.openArchive();
    package.unlock(password);

    std::uint64_t total = 0;
    for (const PackageEntry& entry : package.entries())
        total += entry.info.uncompressedSize;
    Progress progress(total, "testing", progressWanted);
    std::vector<std::string> failures;
    std::uint32_t files = 0;
    std::uint32_t folders = 0;
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < package.entries().size(); i++) {
        const PackageEntry& entry = package.entries()[i];
        // A clash fails the entry although each name is fine: on Windows
        // one of the two files is lost.
        std::string problem = entry.problem.empty() ? entry.clash : entry.problem;
        if (problem.empty() && entry.directory) {
            folders++;
            continue;
        }
        if (problem.empty()) {
            problem = package.readEntry(i, [&](const std::uint8_t*, std::size_t n) {
                CheckInterrupted();
                progress.advance(n, entry.shownName);
            });
        }
        if (!problem.empty()) {
            failures.push_back(entry.shownName + ": " + problem);
            continue;
        }
        files++;
        bytes += entry.info.uncompressedSize;
    }
    progress.finish();
    for (const std::string& failure : failures)
        PrintTo(out, "FAILED %s\n", failure.c_str());
    if (!failures.empty()) {
        PrintTo(out, "%s: %zu of %zu entries failed\n", package.name().c_str(), failures.size(),
                package.entries().size());
        return 1;
    }
    if (!Quiet())
        PrintTo(out, "%s: OK, %" PRIu32 " files, %" PRIu32 " folder entries, %" PRIu64 " bytes%s\n",
                package.name().c_str(), files, folders, bytes, package.encrypted() ? ", password right" : "");
    return 0;
}

}  // namespace packer
