// What goes into a package's archive: the entries from a folder or from a
// ZIP file, with their names as the archive will hold them, and the rules a
// name must meet for the stub to write it on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exclude_patterns.h"
#include "file_system.h"

struct ArchiveReader;

namespace packer {

// An entry whose compressed data go into a package as they are: an LZMA
// entry of a ZIP file, when the package is LZMA too. Encoding it again would
// cost most of the build's time for a few bytes at best.
struct KeptData {
    std::uint16_t method = 0;
    std::uint16_t flags = 0;              // the method's own bits (LZMA: bit 1, an end marker)
    std::uint32_t crc = 0;                // of the uncompressed data
    std::uint64_t compressedSize = 0;
};

struct SourceEntry {
    std::string name;          // OEM bytes, '/' between folders, a folder ends in '/'
    bool utf8Name = false;     // name holds UTF-8 instead (general purpose bit 11)
    std::string shownName;     // the same name in UTF-8, for messages
    bool directory = false;
    std::uint64_t size = 0;    // uncompressed bytes
    DosTime time;
    fs::path file;             // folder sources: the file to read
    std::uint32_t zipIndex = 0;   // ZIP sources: the entry's place in the directory
    std::optional<KeptData> kept; // ZIP sources: data that may be copied as they are
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
    // The compressed data of an entry with kept set, checked to decode to
    // its size and CRC-32 before the first byte is handed out. Throws
    // PackerError.
    virtual std::unique_ptr<EntryData> openKept(const SourceEntry& entry);
    // Whether open and the reads of what it returns may run on several
    // threads at once, each entry on one.
    virtual bool opensConcurrently() const { return false; }

    // Why entries cannot go into a package, one line each, starting with the
    // entry's name: names the stub cannot write, files that cannot be read.
    // Such entries are not in entries(). The caller reports them.
    const std::vector<std::string>& problems() const { return problems_; }
    // How many files and folders the exclude patterns left out.
    std::size_t excludedCount() const { return excluded_; }

  protected:
    std::vector<SourceEntry> entries_;
    std::vector<std::string> problems_;
    std::size_t excluded_ = 0;
};

struct SourceOptions {
    ExcludePatterns exclude;
    // Links to folders: packed as folders (a link back to a folder above it
    // is still skipped, as it would never end), else skipped with a note.
    bool followLinks = false;
};

// A folder walked recursively, each folder's names sorted by their bytes,
// so that the same tree always gives the same archive. Empty folders become
// folder entries, and so do folders whose content was all left out. Throws
// PackerError when the folder cannot be read at all.
std::unique_ptr<PackageSource> OpenFolderSource(const fs::path& root, const SourceOptions& options);

// The entries of a ZIP file, in its order. Names are taken as UTF-8 when the
// entry says so, else as code page 437. Plain archives are read through the
// stub's own reader, ZIP64 ones by the packer. Throws PackerError saying why
// a file is no archive the packer can read.
std::unique_ptr<PackageSource> OpenZipSource(const fs::path& zipFile, const SourceOptions& options);

// The longest entry name that fits into a Windows path (260 bytes with its
// zero) behind the shortest extraction folder, "C:\_X" and six characters.
constexpr std::size_t kMaxEntryNameLength = 247;

// Why the stub could not write this name on Windows; empty when it can.
std::string EntryNameProblem(const std::string& name);

// A UTF-8 entry name as Windows compares names: case ignored, both
// slashes the same, no slash at the end.
std::string FoldEntryName(const std::string& utf8Name);

// An entry's name as FindNameClashes compares it.
struct ComparedName {
    std::string folded;   // FoldEntryName
    bool directory = false;
};
// Two entries that meet on Windows: the later one, entry, has the same
// name as the earlier one, other (a stub writes one over the other), or
// needs a folder where the file other is (belowFile).
struct NameClash {
    std::size_t entry = 0;
    std::size_t other = 0;
    bool belowFile = false;
};
// Every clash in the list, by the entries' places in it.
std::vector<NameClash> FindNameClashes(const std::vector<ComparedName>& names);

// Checks the whole list: each name, names that differ only in case (one
// file would overwrite the other on Windows), and a file where another
// entry needs a folder. Appends a line for every problem to problems.
void FindEntryNameProblems(const std::vector<SourceEntry>& entries, std::vector<std::string>& problems);
// The same; throws PackerError listing every problem.
void CheckEntryNames(const std::vector<SourceEntry>& entries);

// The entry whose name is utf8Name when case is ignored, as on Windows;
// null when there is none. A backslash and '/' are the same there.
const SourceEntry* FindEntryIgnoringCase(const std::vector<SourceEntry>& entries, const std::string& utf8Name);

// Throws one PackerError holding every line of `problems`, sorted, so that
// one run shows all there is to fix.
[[noreturn]] void ThrowProblems(const std::string& heading, std::vector<std::string> problems);

}  // namespace packer
