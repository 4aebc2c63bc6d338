// A ZIP file as package entries. Plain archives are read through the stub's
// own archive reader; archives that use ZIP64 anywhere, which it does not
// know, through the packer's. Either way the package holds a plain ZIP
// archive. LZMA entries offer their stream as it is, for an LZMA package to
// copy rather than encode again.
#include <algorithm>

#include "archive/entry_reader.h"
#include "packer_error.h"
#include "source_entries.h"
#include "text_encoding.h"
#include "zip_file_reader.h"

namespace packer {

namespace {

constexpr std::uint32_t kZipFlagEncrypted = ZIP_FLAG_ENCRYPTED;
constexpr std::uint32_t kZipFlagStrongEncryption = 0x0040;
constexpr std::uint32_t kNameBufferSize = 1024;
constexpr std::uint32_t kMethodAes = 99;
// Version needed to extract 4.5: the entry may use ZIP64 fields.
constexpr std::uint32_t kVersionZip64 = 45;
// Unix file types in the high half of the external attributes, for
// entries made on Unix (3) or macOS (19).
constexpr std::uint32_t kSystemUnix = 3;
constexpr std::uint32_t kSystemMacOs = 19;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixLink = 0120000;
constexpr std::uint32_t kUnixFile = 0100000;
constexpr std::uint32_t kUnixFolder = 0040000;

const char* MethodName(std::uint32_t method)
{
    switch (method) {
    case 1: return "Shrink";
    case 6: return "Implode";
    case 9: return "Deflate64";
    case 12: return "bzip2";
    case 14: return "LZMA";
    case 93: return "Zstandard";
    case 95: return "XZ";
    case 98: return "PPMd";
    default: return nullptr;
    }
}

// Whether an entry may keep its sizes in a ZIP64 field. Its version needed
// says so from 4.5 up, except for LZMA entries, which need 6.3 whatever their
// sizes; a size of 0xFFFFFFFF is the sign there.
bool MayUseZip64(const ZipEntryFacts& facts)
{
    if (facts.method == ZIP_METHOD_LZMA)
        return facts.compressedSize == 0xFFFFFFFFu || facts.uncompressedSize == 0xFFFFFFFFu;
    return facts.versionNeeded >= kVersionZip64;
}

// Why an entry cannot be packed for what it is (rather than for its name);
// empty when it can. zip64: the archive is read by the packer's own reader.
std::string EntryKindProblem(const ZipEntryFacts& facts, bool zip64)
{
    std::uint32_t system = facts.versionMadeBy >> 8;
    std::uint32_t unixType = (facts.externalAttributes >> 16) & kUnixTypeMask;
    if ((system == kSystemUnix || system == kSystemMacOs) && unixType != 0 && unixType != kUnixFile &&
        unixType != kUnixFolder) {
        if (unixType == kUnixLink)
            return "a symbolic link; the stub writes files and folders only (zip -r without -y stores the "
                   "file a link leads to)";
        return "a special file (a device, pipe or socket); the stub writes files and folders only";
    }
    if ((facts.flagBits & (kZipFlagEncrypted | kZipFlagStrongEncryption)) || facts.method == kMethodAes)
        return "encrypted in the ZIP file; give the plain files instead (the package can be encrypted itself)";
    // The stub's reader decodes LZMA; the packer's own, for ZIP64 archives, does not.
    bool lzma = facts.method == ZIP_METHOD_LZMA && !zip64;
    if (facts.method != ZIP_METHOD_STORED && facts.method != ZIP_METHOD_DEFLATED && !lzma) {
        const char* method = MethodName(facts.method);
        return "compression method " + std::to_string(facts.method) + (method ? std::string(" (") + method + ")" : "") +
               (zip64 ? "; only stored and deflated entries can be read from a ZIP64 archive"
                      : "; only stored, deflated and LZMA entries can be read (zip's default is deflate)");
    }
    return {};
}

// Opens the reader's current entry, or throws saying why it cannot be read.
void OpenStubEntry(ArchiveReader* reader, const std::string& where)
{
    int opened = EntryOpen(reader);
    if (opened == ARCHIVE_OK)
        return;
    if (opened == ARCHIVE_NO_MEMORY)
        throw PackerError(where + ": not enough memory to read it");
    // A local header that agrees leaves the LZMA header as the fault.
    std::uint32_t start = 0;
    if (ArchiveCurrentEntry(reader)->method == ZIP_METHOD_LZMA && CheckLocalHeader(reader, &start) == ARCHIVE_OK)
        throw PackerError(where + ": its LZMA properties are damaged or beyond what the stub decodes (a "
                                  "dictionary above " +
                          std::to_string(ZIP_LZMA_MAX_DICTIONARY_SIZE >> 20) + " MiB, lc + lp above 4)");
    throw PackerError(where + ": its local header disagrees with the directory");
}

class StubReaderData : public EntryData {
  public:
    StubReaderData(ArchiveReader* reader, const std::string& where) : reader_(reader), where_(where)
    {
        OpenStubEntry(reader_, where_);
    }

    ~StubReaderData() override
    {
        // Without an open entry (the last read closed it) this only says so.
        EntryClose(reader_);
    }

    std::size_t read(std::uint8_t* buffer, std::size_t size) override
    {
        std::uint32_t ask = static_cast<std::uint32_t>(std::min<std::size_t>(size, ENTRY_READ_MAX_LENGTH));
        int32_t n = EntryRead(reader_, buffer, ask);
        if (n < 0)
            fail("its data are damaged");
        if (n == 0 && EntryClose(reader_) == ARCHIVE_CRC_MISMATCH)
            fail("its data do not match their CRC-32");
        return static_cast<std::size_t>(n);
    }

  private:
    [[noreturn]] void fail(const std::string& why) { throw PackerError(where_ + ": " + why); }

    ArchiveReader* reader_;
    std::string where_;
};

// The current entry's compressed data as the file holds them. They are
// decoded once first, through the stub's reader, so that a package never
// takes a stream the stub would refuse: a header it does not decode, data
// that end early or run long, a wrong CRC-32.
class KeptStubData : public EntryData {
  public:
    KeptStubData(ArchiveReader* reader, SysFile file, std::uint64_t archiveBase, const std::string& where)
        : file_(file), where_(where)
    {
        checkDecoding(reader);
        std::uint32_t start = 0;
        if (CheckLocalHeader(reader, &start) != ARCHIVE_OK)
            throw PackerError(where_ + ": its local header disagrees with the directory");
        position_ = archiveBase + start;
        remaining_ = ArchiveCurrentEntry(reader)->compressedSize;
    }

    std::size_t read(std::uint8_t* buffer, std::size_t size) override
    {
        std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>({size, remaining_, kKeptChunkSize}));
        if (n == 0)
            return 0;
        if (SysFileSeek(file_, static_cast<int64_t>(position_), SYS_SEEK_BEGIN) != static_cast<int64_t>(position_) ||
            SysFileReadExact(file_, buffer, n) != 0)
            throw PackerError(where_ + ": its data are cut short");
        position_ += n;
        remaining_ -= n;
        return n;
    }

  private:
    static constexpr std::uint32_t kKeptChunkSize = 1 << 16;

    void checkDecoding(ArchiveReader* reader)
    {
        StubReaderData decoded(reader, where_);
        std::vector<std::uint8_t> scratch(kKeptChunkSize);
        while (decoded.read(scratch.data(), scratch.size()) > 0) {
        }
    }

    SysFile file_;
    std::string where_;
    std::uint64_t position_ = 0;    // file offset of the next byte
    std::uint64_t remaining_ = 0;
};

class ZipSource : public PackageSource {
  public:
    ZipSource(const fs::path& path, const SourceOptions& options)
        : name_(PathToUtf8(path)), file_(OpenSysFile(path)), options_(options)
    {
        if (!file_.valid())
            throw PackerError("cannot open " + name_ + ": " + LastSystemError());
        int64_t size = SysFileSeek(file_.get(), 0, SYS_SEEK_END);
        if (size < 0)
            throw PackerError("cannot read " + name_ + ": " + LastSystemError());
        end_ = FindZipEnd(file_.get(), static_cast<std::uint64_t>(size), name_);
        if (end_.entryCount == 0)
            return;
        // The stub's reader keeps 32-bit offsets, and takes a local header
        // whose sizes are in a ZIP64 field for a damaged one.
        ownReader_ = end_.zip64 || static_cast<std::uint64_t>(size) > 0xFFFFFFFFu;
        if (!ownReader_) {
            std::vector<std::string> longNames;
            std::vector<std::pair<std::uint32_t, ZipEntryFacts>> listed =
                readStubDirectory(static_cast<std::uint32_t>(size), longNames);
            for (const auto& [index, facts] : listed)
                ownReader_ = ownReader_ || MayUseZip64(facts);
            if (!ownReader_) {
                problems_ = longNames;
                for (const auto& [index, facts] : listed)
                    add(index, facts);
            }
        }
        if (ownReader_) {
            facts_ = ReadZipDirectory(file_.get(), end_, name_);
            for (std::size_t i = 0; i < facts_.size(); i++)
                add(static_cast<std::uint32_t>(i), facts_[i]);
        }
        FindEntryNameProblems(entries_, problems_);
    }

    std::unique_ptr<EntryData> open(const SourceEntry& entry) override
    {
        std::string where = name_ + ": entry " + entry.shownName;
        if (ownReader_)
            return OpenZipEntryData(file_.get(), end_, facts_[entry.zipIndex], where);
        moveTo(entry.zipIndex);
        return std::make_unique<StubReaderData>(reader_.get(), where);
    }

    std::unique_ptr<EntryData> openKept(const SourceEntry& entry) override
    {
        if (ownReader_ || !entry.kept)
            return PackageSource::openKept(entry);
        moveTo(entry.zipIndex);
        return std::make_unique<KeptStubData>(reader_.get(), file_.get(), end_.base, name_ + ": entry " + entry.shownName);
    }

  private:
    // The directory as the stub's reader sees it: each entry with its place.
    // A name too long for its buffer is a line in longNames instead.
    std::vector<std::pair<std::uint32_t, ZipEntryFacts>> readStubDirectory(std::uint32_t size,
                                                                          std::vector<std::string>& longNames)
    {
        reader_.reset(ArchiveOpen(file_.get(), 0, size, nullptr));
        if (reader_ == nullptr)
            throw PackerError(name_ + ": the stub's archive reader cannot read its directory");
        std::vector<std::pair<std::uint32_t, ZipEntryFacts>> listed;
        std::uint32_t entryCount = 0;
        ArchiveGetInfo(reader_.get(), &entryCount, nullptr);
        for (std::uint32_t i = 0; i < entryCount; i++) {
            int result = i == 0 ? ArchiveFirstEntry(reader_.get()) : ArchiveNextEntry(reader_.get());
            ArchiveEntryInfo info{};
            char name[kNameBufferSize];
            if (result == ARCHIVE_OK)
                result = ArchiveGetEntryInfo(reader_.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0);
            if (result == ARCHIVE_BAD_PARAMETER) {
                longNames.push_back("entry " + std::to_string(i + 1) + ": name of " +
                                    std::to_string(info.nameLength) + " bytes; Windows paths leave room for " +
                                    std::to_string(kMaxEntryNameLength));
                continue;
            }
            if (result != ARCHIVE_OK)
                throw PackerError(name_ + ": the archive directory is damaged at entry " + std::to_string(i + 1));
            ZipEntryFacts facts;
            facts.name.assign(name, info.nameLength);
            facts.versionMadeBy = info.versionMadeBy;
            facts.versionNeeded = info.versionNeeded;
            facts.flagBits = info.flagBits;
            facts.method = info.method;
            facts.crc = info.crc;
            facts.dosDateTime = info.dosDateTime;
            facts.externalAttributes = info.externalAttributes;
            facts.compressedSize = info.compressedSize;
            facts.uncompressedSize = info.uncompressedSize;
            listed.emplace_back(i, facts);
        }
        return listed;
    }

    void add(std::uint32_t index, const ZipEntryFacts& facts)
    {
        std::string raw = facts.name;
        // Some Windows tools write backslashes; the stub splits at both.
        for (char& c : raw)
            if (c == '\\')
                c = '/';
        SourceEntry entry;
        entry.zipIndex = index;
        bool named = true;
        if (facts.flagBits & ZIP_FLAG_UTF8_NAME) {
            entry.shownName = raw;
            named = EncodeEntryName(raw, entry.name, entry.utf8Name);
        } else {
            // Code page 437 and 850 agree on the seven letters the stub maps.
            // Tools on Linux and macOS write UTF-8 without saying so; a name
            // that is no OEM name but valid UTF-8 is taken as such.
            entry.name = raw;
            named = OemNameToUtf8(raw, entry.shownName);
            if (!named) {
                std::u32string decoded;
                if (DecodeUtf8(raw, decoded)) {
                    entry.shownName = raw;
                    named = EncodeEntryName(raw, entry.name, entry.utf8Name);
                } else {
                    entry.shownName = ShowOemName(raw);
                }
            }
        }
        entry.directory = !raw.empty() && raw.back() == '/';
        if (!entry.directory && (facts.externalAttributes & ZIP_DOS_DIRECTORY_ATTRIBUTE) && facts.uncompressedSize == 0) {
            entry.directory = true;
            entry.name += '/';
            entry.shownName += '/';
        }
        std::string path = entry.shownName;
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        if (options_.exclude.excludesWithParents(path, entry.directory)) {
            excluded_++;
            return;
        }
        std::string problem = EntryKindProblem(facts, ownReader_);
        if (problem.empty() && !named)
            problem = "the name is neither a code page 437 name nor valid UTF-8";
        if (!problem.empty()) {
            problems_.push_back(entry.shownName + ": " + problem);
            return;
        }
        entry.size = facts.uncompressedSize;
        // The stub's reader knows where an entry's data lie; the packer's own
        // (for ZIP64 archives) reads no LZMA at all.
        if (facts.method == ZIP_METHOD_LZMA && !ownReader_) {
            KeptData kept;
            kept.method = ZIP_METHOD_LZMA;
            kept.flags = static_cast<std::uint16_t>(facts.flagBits & ZIP_FLAG_LZMA_END_MARKER);
            kept.crc = facts.crc;
            kept.compressedSize = facts.compressedSize;
            entry.kept = kept;
        }
        entry.time.date = static_cast<std::uint16_t>(facts.dosDateTime >> 16);
        entry.time.time = static_cast<std::uint16_t>(facts.dosDateTime);
        entries_.push_back(std::move(entry));
    }

    void moveTo(std::uint32_t index)
    {
        if (ArchiveGoToEntry(reader_.get(), index) != ARCHIVE_OK)
            throw PackerError(name_ + ": the archive directory is damaged at entry " + std::to_string(index + 1));
    }

    std::string name_;
    SysFileHolder file_;
    SourceOptions options_;
    ZipEnd end_;
    bool ownReader_ = false;
    std::vector<ZipEntryFacts> facts_;   // ZIP64: the directory, by the entries' places
    struct ArchiveCloser {
        void operator()(ArchiveReader* reader) const { ArchiveClose(reader); }
    };
    std::unique_ptr<ArchiveReader, ArchiveCloser> reader_;   // plain archives: the stub's reader
};

}  // namespace

std::unique_ptr<EntryData> PackageSource::openKept(const SourceEntry& entry)
{
    throw PackerError(entry.shownName + ": its data cannot be copied as they are");
}

std::unique_ptr<PackageSource> OpenZipSource(const fs::path& zipFile, const SourceOptions& options)
{
    return std::make_unique<ZipSource>(zipFile, options);
}

}  // namespace packer
