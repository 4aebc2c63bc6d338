// Unpacking a package on the machine the packer runs on, with the stub's
// rules: every name is checked before anything is written, names that would
// leave the folder are refused, the OEM umlauts become real letters, and a
// failure removes everything this run created.
//
// On Linux the letters are written in UTF-8, the encoding of the file
// system, rather than in the Windows-1252 bytes the stub would produce
// there; a name then reads the same on both systems.
#include <algorithm>
#include <cinttypes>
#include <random>

#include "commands.h"
#include "extract/path_helpers.h"
#include "interruption.h"
#include "notes.h"
#include "package_reader.h"
#include "packer_error.h"
#include "progress.h"
#include "text_encoding.h"

namespace packer {

namespace {

// What this run created, newest last, so that a failure can take it back
// in reverse order, as the stub's cleanup journal does.
class CreationJournal {
  public:
    ~CreationJournal()
    {
        if (committed_)
            return;
        std::error_code ignored;
        for (auto it = created_.rbegin(); it != created_.rend(); ++it)
            fs::remove(*it, ignored);   // a folder goes only when empty
    }
    void add(const fs::path& path) { created_.push_back(path); }
    void commit() { committed_ = true; }

  private:
    std::vector<fs::path> created_;
    bool committed_ = false;
};

// The entry's path below the folder: split at both separators; empty and
// "." components dropped, as Windows drops them.
std::vector<std::string> NameComponents(const std::string& utf8Name)
{
    std::vector<std::string> components;
    std::string current;
    for (char c : utf8Name + "/") {
        if (IsPathSeparator(c)) {
            if (!current.empty() && current != ".")
                components.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return components;
}

// Makes each missing folder of components[0..count) below root. An existing
// link is not followed: it could lead anywhere.
fs::path MakeFolders(const fs::path& root, const std::vector<std::string>& components, std::size_t count,
                     CreationJournal& journal)
{
    fs::path path = root;
    for (std::size_t i = 0; i < count; i++) {
        path /= PathFromUtf8(components[i]);
        std::error_code error;
        fs::file_status status = fs::symlink_status(path, error);
        if (fs::is_symlink(status))
            throw PackerError(PathToUtf8(path) + " is a link; the packer does not extract through links");
        if (fs::is_directory(status))
            continue;
        if (fs::exists(status))
            throw PackerError(PathToUtf8(path) + " exists and is not a folder");
        if (!fs::create_directory(path, error) && error)
            throw PackerError("cannot create the folder " + PathToUtf8(path) + ": " + error.message());
        journal.add(path);
    }
    return path;
}

std::unique_ptr<OutputFile> CreatePartFile(const fs::path& target)
{
    std::random_device random;
    for (int attempt = 0;; attempt++) {
        fs::path part = target.parent_path() /
                        PathFromUtf8("." + PathToUtf8(target.filename()) + "." + std::to_string(random() % 1000000) +
                                     ".part");
        std::error_code error;
        if (fs::exists(fs::symlink_status(part, error)) && attempt < 100)
            continue;
        return std::make_unique<OutputFile>(part);
    }
}

}  // namespace

int ExtractPackage(const fs::path& path, const PasswordSource& password, const ExtractOptions& options,
                   std::FILE* out)
{
    OpenedPackage package(path);
    package.openArchive();

    // Every name is judged before the first file is written.
    std::vector<std::string> problems;
    std::vector<std::vector<std::string>> names;
    std::uint64_t total = 0;
    for (const PackageEntry& entry : package.entries()) {
        names.push_back(NameComponents(entry.shownName));
        if (!entry.problem.empty())
            problems.push_back(entry.shownName + ": " + entry.problem);
        else if (names.back().empty() && !entry.directory)
            problems.push_back(entry.shownName + ": the name names no file");
        total += entry.info.uncompressedSize;
    }
    if (!problems.empty())
        throw PackerError(package.name() + ": the stub would refuse these entries:\n  " + [&] {
            std::string list;
            for (const std::string& problem : problems)
                list += (list.empty() ? "" : "\n  ") + problem;
            return list;
        }());
    package.unlock(password);

    CreationJournal journal;
    std::error_code error;
    fs::path root = options.folder;
    if (!fs::exists(fs::symlink_status(root, error))) {
        fs::create_directories(root, error);
        if (error)
            throw PackerError("cannot create the folder " + PathToUtf8(root) + ": " + error.message());
        journal.add(root);
    } else if (!fs::is_directory(root, error)) {
        throw PackerError(PathToUtf8(root) + " is not a folder");
    }

    Progress progress(total, "extracting", options.progress);
    std::vector<std::pair<fs::path, DosTime>> folderTimes;
    std::uint32_t files = 0;
    for (std::size_t i = 0; i < package.entries().size(); i++) {
        const PackageEntry& entry = package.entries()[i];
        const std::vector<std::string>& components = names[i];
        DosTime time{static_cast<std::uint16_t>(entry.info.dosDateTime >> 16),
                     static_cast<std::uint16_t>(entry.info.dosDateTime)};
        if (entry.directory) {
            if (!components.empty())
                folderTimes.emplace_back(MakeFolders(root, components, components.size(), journal), time);
            continue;
        }
        fs::path target = MakeFolders(root, components, components.size() - 1, journal) /
                          PathFromUtf8(components.back());
        fs::file_status status = fs::symlink_status(target, error);
        if (fs::exists(status) && (!options.overwrite || fs::is_directory(status)))
            throw PackerError(PathToUtf8(target) + " exists" + (options.overwrite ? " and is a folder" : "") +
                              (options.overwrite ? "" : "; --overwrite replaces files"));

        // Written under a temporary name and renamed once its CRC proved
        // right: a damaged entry never appears under its own name.
        std::unique_ptr<OutputFile> part = CreatePartFile(target);
        std::string problem = package.readEntry(i, [&](const std::uint8_t* data, std::size_t n) {
            CheckInterrupted();
            part->write(data, n);
            progress.advance(n, entry.shownName);
        });
        if (!problem.empty())
            throw PackerError(package.name() + ": " + entry.shownName + ": " + problem);
        fs::path partPath = part->path();
        part->close();
        try {
            SetFileDosTime(partPath, time);
            if (options.overwrite)
                RenameReplacing(partPath, target);
            else if (!RenameNoReplace(partPath, target))
                throw PackerError(PathToUtf8(target) + " exists");
        } catch (...) {
            fs::remove(partPath, error);
            throw;
        }
        journal.add(target);
        files++;
    }
    // Folders last, deepest first: writing into a folder changes its time.
    std::sort(folderTimes.begin(), folderTimes.end(),
              [](const auto& a, const auto& b) { return a.first.native().size() > b.first.native().size(); });
    for (const auto& [folder, time] : folderTimes)
        SetFileDosTime(folder, time);
    progress.finish();
    journal.commit();
    if (!Quiet())
        std::fprintf(out, "%s: %" PRIu32 " files extracted into %s\n", package.name().c_str(), files,
                     PathToUtf8(root).c_str());
    return 0;
}

}  // namespace packer
