// What goes into a package's archive: the entries from a folder or from a
// ZIP file, with their names as the archive will hold them, and the rules a
// name must meet for the stub to write it on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file_system.h"

struct ArchiveReader;

namespace packer {

struct SourceEntry {
    std::string name;          // OEM bytes, '/' between folders, a folder ends in '/'
    std::string shownName;     // the same name in UTF-8, for messages
    bool directory = false;
    std::uint64_t size = 0;    // uncompressed bytes
    DosTime time;
    fs::path file;             // folder sources: the file to read
    std::uint32_t zipIndex = 0;   // ZIP sources: the entry's place in the directory
    // Data the packer rewrote (the delete list); they replace the source's.
    std::shared_ptr<const std::vector<std::uint8_t>> content;
};

// The bytes of one entry, read from start to end.
class EntryData {
  public:
    virtual ~EntryData() = default;
    // Fills up to size bytes; 0 at the end. Throws PackerError.
    virtual std::size_t read(std::uint8_t* buffer, std::size_t size) = 0;
};

class PackageSource {
  public:
    virtual ~PackageSource() = default;
    const std::vector<SourceEntry>& entries() const { return entries_; }
    virtual std::unique_ptr<EntryData> open(const SourceEntry& entry) = 0;

  protected:
    std::vector<SourceEntry> entries_;
};

// A folder walked recursively, each folder's names sorted by their bytes,
// so that the same tree always gives the same archive. Empty folders become
// folder entries. Throws PackerError listing every name that cannot be
// written, every file that cannot be read, links to folders and special files.
std::unique_ptr<PackageSource> OpenFolderSource(const fs::path& root);

// The entries of a ZIP file, in its order. Names are taken as UTF-8 when the
// entry says so, else as code page 437. Throws PackerError for an archive
// the stub's reader cannot read, and lists the names it cannot write.
std::unique_ptr<PackageSource> OpenZipSource(const fs::path& zipFile);

// The longest entry name that fits into a Windows path (260 bytes with its
// zero) behind the shortest extraction folder, "C:\_X" and six characters.
constexpr std::size_t kMaxEntryNameLength = 247;

// Why the stub could not write this name on Windows; empty when it can.
std::string EntryNameProblem(const std::string& name);

// Checks the whole list: each name, names that differ only in case (one
// file would overwrite the other on Windows), and a file where another
// entry needs a folder. Throws PackerError listing every problem.
void CheckEntryNames(const std::vector<SourceEntry>& entries);

// Throws one PackerError holding the first lines of `problems`.
[[noreturn]] void ThrowProblems(const std::string& heading, const std::vector<std::string>& problems);

}  // namespace packer
