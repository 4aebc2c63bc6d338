// Unpacking a package on the machine the packer runs on, with the stub's
// rules: every name is checked before anything is written, names that would
// leave the folder are refused, and so are two entries that would be one
// file on Windows; the OEM umlauts become real letters, and a failure
// leaves the folder as it was: what this run created is removed, and the
// files it replaced come back.
//
// Every entry is written and checked under a temporary name first; only
// when all of them are complete do they take their names, each file they
// replace moved aside and deleted at the very end. A damaged last entry so
// costs the folder nothing, at the price of room for the old and the new
// files at once.
//
// Below the folder given with -d, nothing is reached by a path: each
// folder of an entry's path is opened from the handle of the one above it
// and refused when it is a link, and files are created, renamed and
// removed relative to the handle of their folder (folder_handle.h). Someone
// who can write to the folder and swaps one of its folders for a link while
// the run goes on thus gets the run to fail, never to write elsewhere.
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
#include <set>
#include <unordered_map>

#include "commands.h"
#include "folder_handle.h"
#include "interruption.h"
#include "notes.h"
#include "output_text.h"
#include "package_reader.h"
#include "packer_error.h"
#include "progress.h"
#include "source_entries.h"
#include "text_encoding.h"

namespace packer {

namespace {

// What this run did to the folder, newest last, so that a failure can take
// it back in reverse order, as the stub's cleanup journal does: what it
// created is removed, what it moved aside goes back. Each step holds the
// folder it happened in, so that it is undone there even when the folder
// has been moved or swapped since.
class ExtractionJournal {
  public:
    ~ExtractionJournal()
    {
        if (!committed_)
            rollBack();
    }
    // A folder made on the way to the folder given with -d.
    void madeAbove(const fs::path& path) { steps_.push_back({nullptr, path, {}, {}, true}); }
    void created(const Folder& folder, const std::string& name, bool isFolder)
    {
        steps_.push_back({folder, {}, name, {}, isFolder});
    }
    void movedAside(const Folder& folder, const std::string& name, const std::string& aside)
    {
        steps_.push_back({folder, {}, name, aside, false});
    }

    // Keeps everything made, and deletes the files that were replaced,
    // whatever their attributes; what cannot go is returned, one line each.
    std::vector<std::string> commit()
    {
        committed_ = true;
        std::vector<std::string> left;
        for (const Step& step : steps_) {
            if (!step.aside.empty() && !step.folder->removeFile(step.aside))
                left.push_back(ShownPath(step.folder->pathOf(step.aside)) + ", the old " +
                               ShownPath(step.folder->pathOf(step.name)) + ": " + LastSystemError());
        }
        steps_.clear();
        return left;
    }

  private:
    struct Step {
        Folder folder;       // null: a folder above the root, made by its path
        fs::path path;       // that folder's path
        std::string name;    // in folder: what was created, or the old file
        std::string aside;   // empty: name was created; else the name the old file was moved to
        bool isFolder = false;
    };

    // Each step lets go of its folder's handle once undone, so that by the
    // time a folder is removed nothing of this run holds it open: Windows
    // removes a folder only when its last handle closes.
    void rollBack()
    {
        while (!steps_.empty()) {
            Step step = std::move(steps_.back());
            steps_.pop_back();
            Undo(step);
        }
    }

    static void Undo(const Step& step)
    {
        if (step.folder == nullptr) {
            std::error_code ignored;
            fs::remove(step.path, ignored);   // a folder goes only when empty
            return;
        }
        if (step.aside.empty()) {
            if (step.isFolder)
                step.folder->removeFolder(step.name);   // only when empty
            else
                step.folder->removeFile(step.name);
            return;
        }
        bool back = false;
        try {
            back = step.folder->renameNoReplace(step.aside, step.name);
        } catch (const PackerError&) {
        }
        // Not a warning that -q silences: it says where the user's file is.
        if (!back)
            PrintTo(stderr, "sfxpack: warning: cannot put back %s; the old file is kept as %s\n",
                    ShownPath(step.folder->pathOf(step.name)).c_str(),
                    ShownPath(step.folder->pathOf(step.aside)).c_str());
    }

    std::vector<Step> steps_;
    bool committed_ = false;
};

// The folders of the entries' paths, each reached from the root one name
// at a time and never through a link. The folders of the last path are
// kept, since entries come folder by folder; a kept folder serves again
// only while its name still holds it, so that a folder swapped at any
// moment fails the next entry that needs it.
class FolderChain {
  public:
    explicit FolderChain(Folder root) : root_(std::move(root)) {}

    // The folder of components[0..count). With a journal, missing folders
    // are made and journaled; without one, a missing folder fails.
    Folder reach(const std::vector<std::string>& components, std::size_t count, ExtractionJournal* journal)
    {
        Folder folder = root_;
        for (std::size_t i = 0; i < count; i++) {
            const std::string& name = components[i];
            if (i < chain_.size() && chain_[i].first == name && folder->holds(name, *chain_[i].second)) {
                folder = chain_[i].second;
                continue;
            }
            chain_.resize(i);
            folder = OpenOrMake(folder, name, journal);
            chain_.emplace_back(name, folder);
        }
        return folder;
    }

  private:
    static Folder OpenOrMake(const Folder& parent, const std::string& name, ExtractionJournal* journal)
    {
        Folder folder;
        FolderLookup found = parent->openFolder(name, folder);
        if (found == FolderLookup::kMissing && journal != nullptr) {
            if (parent->makeFolder(name, folder)) {
                journal->created(parent, name, true);
                return folder;
            }
            found = parent->openFolder(name, folder);   // made by someone else meanwhile
        }
        std::string shown = ShownPath(parent->pathOf(name));
        switch (found) {
        case FolderLookup::kOpened: return folder;
        case FolderLookup::kLink: throw PackerError(shown + " is a link; the packer does not extract through links");
        case FolderLookup::kNotFolder: throw PackerError(shown + " exists and is not a folder");
        default: throw PackerError(shown + " was removed while the package was extracted");
        }
    }

    Folder root_;
    std::vector<std::pair<std::string, Folder>> chain_;
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

  private:
    std::unordered_map<fs::path::string_type, FileKind> kinds_;
};

// An entry written and checked under a temporary name, waiting for its own.
struct StagedFile {
    std::size_t entry = 0;
    Folder folder;
    std::string part;
    std::string target;
    FileIdentity identity;   // with --overwrite: the file written, to tell it from the user's
};

DosTime EntryTime(const PackageEntry& entry)
{
    return {static_cast<std::uint16_t>(entry.info.dosDateTime >> 16),
            static_cast<std::uint16_t>(entry.info.dosDateTime)};
}

// The folders and file of a name given on the command line, joined and
// folded as Windows compares names; empty and "." folders dropped, as in
// entry names.
std::string FoldedRequest(const std::string& name)
{
    std::string joined;
    std::string component;
    for (char c : name + "/") {
        if (c != '/' && c != '\\') {
            component += c;
            continue;
        }
        if (!component.empty() && component != ".")
            joined += (joined.empty() ? "" : "/") + component;
        component.clear();
    }
    return FoldEntryName(joined);
}

// The entries asked for by name, in the package's order: each entry whose
// path is one of the names or lies in a folder of that name. Names are
// compared as Windows compares them, case ignored and both slashes alike;
// a package cannot hold two names that differ only so. Without names,
// every entry. A name that matches nothing ends the run before anything is
// written: a mistyped name must not pass for a done extraction.
std::vector<std::size_t> SelectEntries(const OpenedPackage& package, const std::vector<std::string>& names)
{
    const std::vector<PackageEntry>& entries = package.entries();
    std::vector<std::size_t> selected;
    if (names.empty()) {
        for (std::size_t i = 0; i < entries.size(); i++)
            selected.push_back(i);
        return selected;
    }
    std::vector<std::string> requests;
    for (const std::string& name : names)
        requests.push_back(FoldedRequest(name));
    std::vector<bool> matched(requests.size(), false);
    for (std::size_t i = 0; i < entries.size(); i++) {
        std::string joined;
        for (const std::string& component : entries[i].components)
            joined += (joined.empty() ? "" : "/") + component;
        std::string folded = FoldEntryName(joined);
        bool wanted = false;
        for (std::size_t r = 0; r < requests.size(); r++) {
            const std::string& request = requests[r];
            bool inside = folded.size() > request.size() && folded[request.size()] == '/' &&
                          folded.compare(0, request.size(), request) == 0;
            if (!request.empty() && (folded == request || inside)) {
                matched[r] = true;
                wanted = true;
            }
        }
        if (wanted)
            selected.push_back(i);
    }
    std::vector<std::string> unmatched;
    for (std::size_t r = 0; r < requests.size(); r++)
        if (!matched[r])
            unmatched.push_back(EscapeControls(names[r]) + (requests[r].empty() ? ": names no entry or folder"
                                                                                 : ": no such entry or folder"));
    if (!unmatched.empty())
        ThrowProblems(package.name() + ": nothing extracted; these names match no entry of the package:", unmatched);
    return selected;
}

// Why the selected entries cannot go into any folder; empty when they can.
// Entry names are judged before anything is written, and so are entries
// that would be one file on Windows: with --overwrite one would replace the
// other without a word, and without it the run would fail at its end.
std::string NameProblems(const OpenedPackage& package, const std::vector<std::size_t>& selected)
{
    std::string list;
    for (std::size_t i : selected) {
        const PackageEntry& entry = package.entries()[i];
        std::string problem = entry.problem.empty() ? entry.clash : entry.problem;
        if (problem.empty() && entry.components.empty() && !entry.directory)
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

// Why the file cannot take its place; empty when it can. exists tells a
// plain file in the way without --overwrite, which is said once for all.
std::string FileProblem(const fs::path& target, bool overwrite, const FileIdentity* package, bool& exists)
{
    exists = false;
    FileKind kind = KindOf(target);
    if (kind == FileKind::kMissing)
        return {};
    if (kind == FileKind::kLink)
        return ShownPath(target) + " is a link; the packer does not extract through links";
    if (kind != FileKind::kFile)
        return ShownPath(target) + " exists and is " + DescribeKind(kind);
    if (!overwrite) {
        exists = true;
        return ShownPath(target) + " exists; --overwrite replaces files";
    }
    FileIdentity identity;
    if (package != nullptr && IdentifyFile(target, identity) && identity == *package)
        return ShownPath(target) + " is the package being extracted";
    return {};
}

// Looks at the place of every selected entry before the first is written,
// so that a file in the way does not end a long run at its last entry.
// Only a first look: the writing itself checks each folder again as it
// reaches it. Files that exist are one line with their count, since
// extracting again into the same folder meets every one of them.
void CheckTargets(const fs::path& path, const OpenedPackage& package, const std::vector<std::size_t>& selected,
                  const ExtractOptions& options)
{
    FileIdentity self;
    bool known = IdentifyFile(path, self);
    std::vector<std::string> problems;
    std::vector<std::string> existing;
    FolderKinds kinds;
    for (std::size_t i : selected) {
        const PackageEntry& entry = package.entries()[i];
        const std::vector<std::string>& components = entry.components;
        std::size_t folders = entry.directory ? components.size() : components.size() - 1;
        fs::path place = options.folder;
        std::string problem = FolderProblem(place, components, folders, kinds);
        bool exists = false;
        if (problem.empty() && !entry.directory && kinds.of(place) != FileKind::kMissing)
            problem = FileProblem(place / PathFromUtf8(components.back()), options.overwrite, known ? &self : nullptr,
                                  exists);
        if (exists)
            existing.push_back(ShownPath(place / PathFromUtf8(components.back())));
        else if (!problem.empty())
            problems.push_back(problem);
    }
    if (existing.size() == 1)
        problems.push_back(existing.front() + " exists; --overwrite replaces files");
    if (existing.size() > 1) {
        std::sort(existing.begin(), existing.end());
        problems.push_back(std::to_string(existing.size()) + " files of the package exist there already (" +
                           existing.front() + " and others); --overwrite replaces them");
    }
    if (!problems.empty())
        ThrowProblems("cannot extract " + package.name() + " into " + ShownPath(options.folder) + ":", problems);
}

// The folder given with -d, made with every missing folder above it when
// it is missing. A link there is the user's own choice and is followed.
void PrepareRoot(const fs::path& root, ExtractionJournal& journal)
{
    std::vector<fs::path> missing;
    fs::path folder = FullPath(root);
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
        journal.madeAbove(*it);
    }
}

// Writes entry i under a temporary name in its folder and checks it; a
// damaged entry never appears under its own name.
StagedFile WriteEntry(OpenedPackage& package, std::size_t i, const Folder& folder, const ExtractOptions& options,
                      Progress& progress, ExtractionJournal& journal)
{
    const PackageEntry& entry = package.entries()[i];
    StagedFile staged;
    staged.entry = i;
    staged.folder = folder;
    staged.target = entry.components.back();
    staged.part = folder->hiddenNameFor(staged.target, ".part");
    OutputFile part(folder, staged.part);
    std::uint64_t written = 0;
    std::string problem = package.readEntry(i, [&](const std::uint8_t* data, std::size_t n) {
        CheckInterrupted();
        part.write(data, n);
        progress.advance(n, entry.shownName);
        written += n;
        if (options.onWrite)
            options.onWrite(i, written);
    });
    if (!problem.empty())
        throw PackerError(package.name() + ": " + entry.shownName + ": " + problem);
    part.setDosTime(EntryTime(entry));
    part.close();
    journal.created(folder, staged.part, false);
    if (options.overwrite)
        folder->kindOf(staged.part, &staged.identity);
    return staged;
}

std::vector<FileInFolder> StagedFiles(const std::vector<StagedFile>& staged, std::string StagedFile::*which)
{
    std::vector<FileInFolder> files;
    files.reserve(staged.size());
    for (const StagedFile& file : staged)
        files.push_back({file.folder, file.*which});
    return files;
}

// The identities of the files this run has given their names.
using FileIdentities = std::set<std::pair<std::uint64_t, std::uint64_t>>;

// Gives a written file its name, in the folder it was written in, after
// the entry's path was checked once more to lead to that folder. A file
// there is moved aside first rather than replaced, so that it can come
// back if a later one fails; never one that another entry of this run
// wrote, whatever the file system takes for the same name.
// Returns whether it replaced a file.
bool Publish(const StagedFile& staged, const std::vector<std::string>& components, FolderChain& chain,
             bool overwrite, FileIdentities& published, ExtractionJournal& journal)
{
    const FolderHandle& folder = *staged.folder;
    Folder now = chain.reach(components, components.size() - 1, nullptr);
    if (!(now->identity() == folder.identity()))
        throw PackerError(ShownPath(folder.path()) + " was replaced while the package was extracted");
    fs::path target = folder.pathOf(staged.target);
    FileIdentity old;
    bool replaces = overwrite && folder.kindOf(staged.target, &old) == FileKind::kFile;
    if (replaces) {
        if (published.count({old.volume, old.index}) != 0)
            throw PackerError(ShownPath(target) + " was written by another entry of the package; one entry never "
                                                  "replaces another");
        std::string aside = folder.hiddenNameFor(staged.target, ".old");
        if (!folder.renameNoReplace(staged.target, aside))
            throw PackerError("cannot move " + ShownPath(target) + " aside: " + ShownPath(folder.pathOf(aside)) +
                              " exists");
        journal.movedAside(staged.folder, staged.target, aside);
    }
    if (!folder.renameNoReplace(staged.part, staged.target))
        throw PackerError(ShownPath(target) + " exists");
    journal.created(staged.folder, staged.target, false);
    if (overwrite)
        published.insert({staged.identity.volume, staged.identity.index});
    return replaces;
}

// Folders last, deepest first, and after the replaced files are gone:
// every change inside a folder changes its time. The files are complete by
// now, so a time that cannot be set is only a warning.
void SetFolderTimes(std::vector<std::pair<Folder, DosTime>>& folderTimes)
{
    std::sort(folderTimes.begin(), folderTimes.end(), [](const auto& a, const auto& b) {
        return a.first->path().native().size() > b.first->path().native().size();
    });
    for (const auto& [folder, time] : folderTimes) {
        try {
            folder->setDosTime(time);
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
    std::vector<std::size_t> selected = SelectEntries(package, options.names);
    std::string refused = NameProblems(package, selected);
    if (!refused.empty())
        throw PackerError(package.name() + ": these entries cannot be extracted:" + refused);
    CheckTargets(path, package, selected, options);
    package.unlock(password);

    // Declared first, so that it is undone last, when every handle below
    // has been let go of.
    ExtractionJournal journal;
    const fs::path& root = options.folder;
    PrepareRoot(root, journal);
    std::uint64_t total = 0;
    for (std::size_t i : selected)
        total += package.entries()[i].info.uncompressedSize;
    Progress progress(total, "extracting", options.progress);
    FolderChain chain(OpenFolderAt(root));
    std::vector<std::pair<Folder, DosTime>> folderTimes;
    std::vector<StagedFile> staged;
    for (std::size_t i : selected) {
        const PackageEntry& entry = package.entries()[i];
        const std::vector<std::string>& components = entry.components;
        if (!entry.directory) {
            if (options.onWrite)
                options.onWrite(i, 0);
            Folder folder = chain.reach(components, components.size() - 1, &journal);
            staged.push_back(WriteEntry(package, i, folder, options, progress, journal));
        } else if (!components.empty()) {
            folderTimes.emplace_back(chain.reach(components, components.size(), &journal), EntryTime(entry));
        }
    }
    if (options.sync)
        SyncFiles(StagedFiles(staged, &StagedFile::part));
    FileIdentities published;
    std::size_t replaced = 0;
    for (const StagedFile& file : staged)
        if (Publish(file, package.entries()[file.entry].components, chain, options.overwrite, published, journal))
            replaced++;
    progress.finish();
    std::vector<std::string> left = journal.commit();
    SetFolderTimes(folderTimes);
    if (options.sync)
        SyncFiles(StagedFiles(staged, &StagedFile::target));
    // The new files are in place, but a run that leaves anything behind
    // does not count as done.
    if (!left.empty())
        ThrowProblems(package.name() + ": the files are extracted into " + ShownPath(root) +
                          ", but the old copies of the files they replaced could not be removed; remove them by hand:",
                      left);
    if (!Quiet() && replaced > 0)
        PrintTo(out, "%s: %zu files extracted into %s, %zu of them over files that were there\n",
                package.name().c_str(), staged.size(), ShownPath(root).c_str(), replaced);
    else if (!Quiet())
        PrintTo(out, "%s: %zu files extracted into %s\n", package.name().c_str(), staged.size(),
                ShownPath(root).c_str());
    return 0;
}

}  // namespace packer
