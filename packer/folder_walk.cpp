// A folder tree as package entries: walked depth first in byte order of the
// names, files followed through links, links to folders only when asked,
// folders kept only where nothing below them was packed.
#include <algorithm>

#include "notes.h"
#include "packer_error.h"
#include "source_entries.h"
#include "text_encoding.h"

namespace packer {

namespace {

class FileData : public EntryData {
  public:
    explicit FileData(const fs::path& path) : file_(path) {}
    std::size_t read(std::uint8_t* buffer, std::size_t size) override { return file_.read(buffer, size); }

  private:
    InputFile file_;
};

class FolderSource : public PackageSource {
  public:
    FolderSource(const fs::path& root, const SourceOptions& options) : options_(options)
    {
        std::error_code error;
        if (!fs::is_directory(root, error))
            throw PackerError("cannot pack " + PathToUtf8(root) + ": not a folder");
        enter(root, "");
        FindEntryNameProblems(entries_, problems_);
    }

    std::unique_ptr<EntryData> open(const SourceEntry& entry) override
    {
        return std::make_unique<FileData>(entry.file);
    }
    // Each entry is a file of its own, opened by its path.
    bool opensConcurrently() const override { return true; }

  private:
    // Walks folder, whose name in the package is prefix, unless it is one of
    // the folders the walk is inside already: a link leading there would
    // make the walk go round for ever.
    void enter(const fs::path& folder, const std::string& prefix)
    {
        FileIdentity identity;
        if (!IdentifyFile(folder, identity)) {
            problems_.push_back(PathToUtf8(folder) + ": cannot open the folder: " + LastSystemError());
            return;
        }
        if (std::find(inside_.begin(), inside_.end(), identity) != inside_.end()) {
            Note(prefix.substr(0, prefix.size() - 1) +
                      ": a link to a folder it lies in; skipped, as following it would never end");
            return;
        }
        inside_.push_back(identity);
        walk(folder, prefix);
        inside_.pop_back();
    }

    // Adds the entries below folder, whose name in the package is prefix
    // (UTF-8, empty or ending in '/').
    void walk(const fs::path& folder, const std::string& prefix)
    {
        std::vector<std::pair<std::string, fs::path>> children;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            children.emplace_back(PathToUtf8(it->path().filename()), it->path());
        if (error) {
            problems_.push_back(PathToUtf8(folder) + ": cannot list the folder: " + error.message());
            return;
        }
        std::sort(children.begin(), children.end());
        std::size_t before = entries_.size() + problems_.size();
        for (const auto& [name, path] : children) {
            std::string shown = prefix + name;
            fs::file_status status = fs::status(path, error);
            bool isFolder = !error && fs::is_directory(status);
            if (options_.exclude.excludes(shown, isFolder)) {
                excluded_++;
            } else if (error) {
                problems_.push_back(shown + ": " + error.message());
            } else if (isFolder) {
                if (KindOf(path) != FileKind::kLink || options_.followLinks)
                    enter(path, shown + "/");
                else
                    Note(shown + ": a link to a folder; skipped (--follow-links packs what it leads to)");
            } else if (fs::is_regular_file(status)) {
                add(path, shown, false);
            } else {
                problems_.push_back(shown + ": neither a file nor a folder");
            }
        }
        // A folder stays in the package even when all it held was left out.
        if (entries_.size() + problems_.size() == before && !prefix.empty())
            add(folder, prefix.substr(0, prefix.size() - 1), true);
    }

    void add(const fs::path& path, const std::string& shown, bool directory)
    {
        SourceEntry entry;
        entry.shownName = shown + (directory ? "/" : "");
        if (!EncodeEntryName(entry.shownName, entry.name, entry.utf8Name)) {
            problems_.push_back(entry.shownName + ": the name is not valid UTF-8");
            return;
        }
        entry.directory = directory;
        entry.file = path;
        try {
            entry.time = FileDosTime(path);
            if (!directory) {
                entry.size = fs::file_size(path);
                // Opened once now, so that an unreadable file stops the
                // build before anything is written.
                InputFile probe(path);
            }
        } catch (const PackerError& error) {
            problems_.push_back(error.what());
            return;
        } catch (const fs::filesystem_error& error) {
            problems_.push_back(entry.shownName + ": " + error.code().message());
            return;
        }
        entries_.push_back(std::move(entry));
    }

    SourceOptions options_;
    std::vector<FileIdentity> inside_;   // the folders being walked, the root first
};

}  // namespace

std::unique_ptr<PackageSource> OpenFolderSource(const fs::path& root, const SourceOptions& options)
{
    return std::make_unique<FolderSource>(root, options);
}

}  // namespace packer
