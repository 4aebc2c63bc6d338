// Unpacking a package on the machine the packer runs on, with the stub's
// rules: every name is checked before anything is written, names that would
// leave the folder are refused, the OEM umlauts become real letters, and a
// failure leaves the folder as it was: what this run created is removed,
// and the files it replaced come back.
//
// Every entry is written and checked under a temporary name first; only
// when all of them are complete do they take their names, each file they
// replace moved aside and deleted at the very end. A damaged last entry so
// costs the folder nothing, at the price of room for the old and the new
// files at once.
//
// The files are written as unzip and tar write them, and the system puts
// them on the disk in its own time: a wait for the disk after each file
// makes many small ones a hundred times slower. --sync waits twice, for all
// files at once: before they take their names, so that no name ever stands
// for a partial file, and at the end.
//
// On Linux the letters are written in UTF-8, the encoding of the file
// system, rather than in the Windows-1252 bytes the stub would produce
// there; a name then reads the same on both systems.
#include <algorithm>
#include <cinttypes>
#include <unordered_map>

#include "commands.h"
#include "extract/path_helpers.h"
#include "interruption.h"
#include "notes.h"
#include "package_reader.h"
#include "packer_error.h"
#include "progress.h"
#include "source_entries.h"
#include "text_encoding.h"

namespace packer {

namespace {

// What this run did to the folder, newest last, so that a failure can take
// it back in reverse order, as the stub's cleanup journal does: what it
// created is removed, what it moved aside goes back.
class ExtractionJournal {
  public:
    ~ExtractionJournal()
    {
        if (!committed_)
            rollBack();
    }
    void created(const fs::path& path) { steps_.push_back({path, {}}); }
    void movedAside(const fs::path& original, const fs::path& aside) { steps_.push_back({original, aside}); }

    // Keeps everything made, and deletes the files that were replaced.
    void commit()
    {
        committed_ = true;
        for (const Step& step : steps_) {
            std::error_code error;
            if (!step.aside.empty() && !fs::remove(step.aside, error))
                Warn("cannot remove " + ShownPath(step.aside) + ", the old " + ShownPath(step.path) + ": " +
                     error.message());
        }
    }

  private:
    struct Step {
        fs::path path;
        fs::path aside;   // empty: path was created; else the name the old file was moved to
    };

    void rollBack()
    {
        for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
            std::error_code ignored;
            if (it->aside.empty()) {
                fs::remove(it->path, ignored);   // a folder goes only when empty
                continue;
            }
            bool back = false;
            try {
                back = RenameNoReplace(it->aside, it->path);
            } catch (const PackerError&) {
            }
            // Not a warning that -q silences: it says where the user's file is.
            if (!back)
                std::fprintf(stderr, "sfxpack: warning: cannot put back %s; the old file is kept as %s\n",
                             ShownPath(it->path).c_str(), ShownPath(it->aside).c_str());
        }
    }

    std::vector<Step> steps_;
    bool committed_ = false;
};

// The kinds of the folders the entries go to, each asked of the system
// once, since most entries share their folder with many others.
class FolderKinds {
  public:
    FileKind of(const fs::path& path)
    {
        auto [place, added] = kinds_.try_emplace(path.native());
        if (added)
            place->second = KindOf(path);
        return place->second;
    }
    void made(const fs::path& path) { kinds_[path.native()] = FileKind::kFolder; }

  private:
    std::unordered_map<fs::path::string_type, FileKind> kinds_;
};

// An entry written and checked under a temporary name, waiting for its own.
struct StagedFile {
    fs::path part;
    fs::path target;
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

// Why the package cannot go into the folder; empty when it can. Entry
// names are judged before anything is written.
std::string NameProblems(const OpenedPackage& package, std::vector<std::vector<std::string>>& names)
{
    std::string list;
    for (const PackageEntry& entry : package.entries()) {
        names.push_back(NameComponents(entry.utf8Name));
        std::string problem = entry.problem;
        if (problem.empty() && names.back().empty() && !entry.directory)
            problem = "the name names no file";
        if (!problem.empty())
            list += "\n  " + entry.shownName + ": " + problem;
    }
    return list;
}

// Why a folder the entry needs cannot be used: something else stands
// there, or a link that could lead anywhere. Empty when all are folders or
// missing; nothing is made here. path starts at the root and ends at the
// last folder looked at: the first missing one, or the entry's own folder.
std::string FolderProblem(fs::path& path, const std::vector<std::string>& components, std::size_t count,
                          FolderKinds& kinds)
{
    for (std::size_t i = 0; i < count; i++) {
        path /= PathFromUtf8(components[i]);
        FileKind kind = kinds.of(path);
        if (kind == FileKind::kMissing)
            return {};
        if (kind == FileKind::kLink)
            return ShownPath(path) + " is a link; the packer does not extract through links";
        if (kind != FileKind::kFolder)
            return ShownPath(path) + " exists and is not a folder";
    }
    return {};
}

// Why the file cannot take its place; empty when it can.
std::string FileProblem(const fs::path& target, bool overwrite, const FileIdentity* package)
{
    FileKind kind = KindOf(target);
    if (kind == FileKind::kMissing)
        return {};
    if (kind == FileKind::kLink)
        return ShownPath(target) + " is a link; the packer does not extract through links";
    if (kind != FileKind::kFile)
        return ShownPath(target) + " exists and is " + DescribeKind(kind);
    if (!overwrite)
        return ShownPath(target) + " exists; --overwrite replaces files";
    FileIdentity identity;
    if (package != nullptr && IdentifyFile(target, identity) && identity == *package)
        return ShownPath(target) + " is the package being extracted";
    return {};
}

// Looks at the place of every entry before the first is written, so that a
// file in the way does not end a long run at its last entry.
void CheckTargets(const fs::path& path, const OpenedPackage& package,
                  const std::vector<std::vector<std::string>>& names, const ExtractOptions& options)
{
    FileIdentity self;
    bool known = IdentifyFile(path, self);
    std::vector<std::string> problems;
    FolderKinds kinds;
    for (std::size_t i = 0; i < names.size(); i++) {
        const std::vector<std::string>& components = names[i];
        bool directory = package.entries()[i].directory;
        std::size_t folders = directory ? components.size() : components.size() - 1;
        fs::path place = options.folder;
        std::string problem = FolderProblem(place, components, folders, kinds);
        if (problem.empty() && !directory && kinds.of(place) != FileKind::kMissing)
            problem = FileProblem(place / PathFromUtf8(components.back()), options.overwrite, known ? &self : nullptr);
        if (!problem.empty())
            problems.push_back(problem);
    }
    if (!problems.empty())
        ThrowProblems("cannot extract " + package.name() + " into " + ShownPath(options.folder) + ":", problems);
}

// The folder given with -d, made with every missing folder above it when
// it is missing. A link there is the user's own choice and is followed.
void PrepareRoot(const fs::path& root, ExtractionJournal& journal)
{
    std::vector<fs::path> missing;
    fs::path folder = root.lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path();   // "out/" names the folder "out"
    while (!folder.empty() && KindOf(folder) == FileKind::kMissing) {
        missing.push_back(folder);
        fs::path parent = folder.parent_path();
        if (parent == folder)
            break;
        folder = parent;
    }
    if (missing.empty() && KindBehind(root) != FileKind::kFolder)
        throw PackerError(ShownPath(root) + " is not a folder");
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::error_code error;
        if (!fs::create_directory(*it, error) && error)
            throw PackerError("cannot create the folder " + ShownPath(*it) + ": " + error.message());
        journal.created(*it);
    }
}

// Makes each missing folder of components[0..count) below root. An existing
// link is not followed: it could lead anywhere.
fs::path MakeFolders(const fs::path& root, const std::vector<std::string>& components, std::size_t count,
                     FolderKinds& kinds, ExtractionJournal& journal)
{
    fs::path path = root;
    for (std::size_t i = 0; i < count; i++) {
        path /= PathFromUtf8(components[i]);
        FileKind kind = kinds.of(path);
        if (kind == FileKind::kLink)
            throw PackerError(ShownPath(path) + " is a link; the packer does not extract through links");
        if (kind == FileKind::kFolder)
            continue;
        if (kind != FileKind::kMissing)
            throw PackerError(ShownPath(path) + " exists and is not a folder");
        std::error_code error;
        if (!fs::create_directory(path, error) && error)
            throw PackerError("cannot create the folder " + ShownPath(path) + ": " + error.message());
        journal.created(path);
        kinds.made(path);
    }
    return path;
}

std::unique_ptr<OutputFile> CreatePartFile(const fs::path& target)
{
    return std::make_unique<OutputFile>(HiddenNameBeside(target, ".part"));
}

// Writes entry i under a temporary name beside its target and checks it;
// a damaged entry never appears under its own name.
StagedFile WriteEntry(OpenedPackage& package, std::size_t i, const fs::path& folder, const std::string& name,
                      Progress& progress, ExtractionJournal& journal)
{
    const PackageEntry& entry = package.entries()[i];
    StagedFile staged;
    staged.target = folder / PathFromUtf8(name);
    std::unique_ptr<OutputFile> part = CreatePartFile(staged.target);
    std::string problem = package.readEntry(i, [&](const std::uint8_t* data, std::size_t n) {
        CheckInterrupted();
        part->write(data, n);
        progress.advance(n, entry.shownName);
    });
    if (!problem.empty())
        throw PackerError(package.name() + ": " + entry.shownName + ": " + problem);
    staged.part = part->path();
    part->close();
    journal.created(staged.part);
    SetFileDosTime(staged.part, {static_cast<std::uint16_t>(entry.info.dosDateTime >> 16),
                                 static_cast<std::uint16_t>(entry.info.dosDateTime)});
    return staged;
}

std::vector<fs::path> StagedPaths(const std::vector<StagedFile>& staged, fs::path StagedFile::*which)
{
    std::vector<fs::path> paths;
    paths.reserve(staged.size());
    for (const StagedFile& file : staged)
        paths.push_back(file.*which);
    return paths;
}

// Gives a written file its name. A file there is moved aside first rather
// than replaced, so that it can come back if a later one fails.
void Publish(const StagedFile& staged, bool overwrite, ExtractionJournal& journal)
{
    if (overwrite && KindOf(staged.target) == FileKind::kFile) {
        fs::path aside = HiddenNameBeside(staged.target, ".old");
        if (!RenameNoReplace(staged.target, aside))
            throw PackerError("cannot move " + ShownPath(staged.target) + " aside: " + ShownPath(aside) + " exists");
        journal.movedAside(staged.target, aside);
    }
    if (!RenameNoReplace(staged.part, staged.target))
        throw PackerError(ShownPath(staged.target) + " exists");
    journal.created(staged.target);
}

// Folders last, deepest first, and after the replaced files are gone:
// every change inside a folder changes its time. The files are complete by
// now, so a time that cannot be set is only a warning.
void SetFolderTimes(std::vector<std::pair<fs::path, DosTime>>& folderTimes)
{
    std::sort(folderTimes.begin(), folderTimes.end(),
              [](const auto& a, const auto& b) { return a.first.native().size() > b.first.native().size(); });
    for (const auto& [folder, time] : folderTimes) {
        try {
            SetFileDosTime(folder, time);
        } catch (const PackerError& error) {
            Warn(error.what());
        }
    }
}

}  // namespace

int ExtractPackage(const fs::path& path, const PasswordSource& password, const ExtractOptions& options,
                   std::FILE* out)
{
    OpenedPackage package(path);
    package.openArchive();
    std::vector<std::vector<std::string>> names;
    std::string refused = NameProblems(package, names);
    if (!refused.empty())
        throw PackerError(package.name() + ": the stub would refuse these entries:" + refused);
    CheckTargets(path, package, names, options);
    package.unlock(password);

    ExtractionJournal journal;
    const fs::path& root = options.folder;
    PrepareRoot(root, journal);
    std::uint64_t total = 0;
    for (const PackageEntry& entry : package.entries())
        total += entry.info.uncompressedSize;
    Progress progress(total, "extracting", options.progress);
    std::vector<std::pair<fs::path, DosTime>> folderTimes;
    std::vector<StagedFile> staged;
    FolderKinds kinds;
    for (std::size_t i = 0; i < package.entries().size(); i++) {
        const PackageEntry& entry = package.entries()[i];
        const std::vector<std::string>& components = names[i];
        if (!entry.directory) {
            fs::path folder = MakeFolders(root, components, components.size() - 1, kinds, journal);
            staged.push_back(WriteEntry(package, i, folder, components.back(), progress, journal));
        } else if (!components.empty()) {
            DosTime time{static_cast<std::uint16_t>(entry.info.dosDateTime >> 16),
                         static_cast<std::uint16_t>(entry.info.dosDateTime)};
            folderTimes.emplace_back(MakeFolders(root, components, components.size(), kinds, journal), time);
        }
    }
    if (options.sync)
        SyncFiles(StagedPaths(staged, &StagedFile::part));
    for (const StagedFile& file : staged)
        Publish(file, options.overwrite, journal);
    progress.finish();
    journal.commit();
    SetFolderTimes(folderTimes);
    if (options.sync)
        SyncFiles(StagedPaths(staged, &StagedFile::target));
    if (!Quiet())
        std::fprintf(out, "%s: %zu files extracted into %s\n", package.name().c_str(), staged.size(),
                     ShownPath(root).c_str());
    return 0;
}

}  // namespace packer
