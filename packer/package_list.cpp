// Listing a package's entries: names, sizes and times, the everyday short
// form of inspect's entry table, for people and (as JSON) for scripts.
#include <cinttypes>
#include <sstream>

#include <toml++/toml.h>

#include "commands.h"
#include "notes.h"
#include "output_text.h"
#include "package_reader.h"

namespace packer {

namespace {

void PrintList(const OpenedPackage& package, std::FILE* out)
{
    PrintTo(out, "%10s  %-19s  %s\n", "size", "time", "name");
    std::uint32_t files = 0;
    std::uint32_t folders = 0;
    std::uint64_t bytes = 0;
    for (const PackageEntry& entry : package.entries()) {
        PrintTo(out, "%10" PRIu32 "  %-19s  %s", entry.info.uncompressedSize,
                FormatDosDateTime(entry.info.dosDateTime).c_str(), entry.shownName.c_str());
        if (!entry.problem.empty())
            PrintTo(out, "  (the stub refuses it: %s)", entry.problem.c_str());
        PrintTo(out, "\n");
        if (entry.directory)
            folders++;
        else
            files++;
        bytes += entry.info.uncompressedSize;
    }
    if (!Quiet())
        PrintTo(out, "%s: %" PRIu32 " files, %" PRIu32 " folder entries, %" PRIu64 " bytes\n",
                package.name().c_str(), files, folders, bytes);
}

void PrintJson(const fs::path& path, const OpenedPackage& package, std::FILE* out)
{
    toml::array entries;
    for (const PackageEntry& entry : package.entries()) {
        toml::table item{{"name", entry.utf8Name},
                         {"directory", entry.directory},
                         {"size", static_cast<std::int64_t>(entry.info.uncompressedSize)},
                         {"time", FormatDosDateTime(entry.info.dosDateTime)}};
        if (!entry.problem.empty())
            item.insert("problem", entry.problem);
        entries.push_back(std::move(item));
    }
    toml::table root{{"package", PathToUtf8(path)}, {"entries", std::move(entries)}};
    std::ostringstream text;
    text << toml::json_formatter{root} << "\n";
    WriteText(out, text.str());
}

}  // namespace

int ListPackage(const fs::path& path, bool json, std::FILE* out)
{
    OpenedPackage package(path);
    package.openArchive();
    if (json)
        PrintJson(path, package, out);
    else
        PrintList(package, out);
    return 0;
}

}  // namespace packer
