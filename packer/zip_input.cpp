// A ZIP file as package entries, read through the stub's own archive
// reader: what it cannot read, a package could not carry either.
#include "archive/entry_reader.h"
#include "packer_error.h"
#include "source_entries.h"
#include "text_encoding.h"

namespace packer {

namespace {

constexpr std::uint32_t kZipFlagEncrypted = 0x0001;
constexpr std::uint32_t kZipFlagUtf8Names = 0x0800;
constexpr std::uint32_t kDosDirectoryAttribute = 0x10;
constexpr std::uint32_t kNameBufferSize = 1024;

class ZipSource;

class ZipEntryData : public EntryData {
  public:
    ZipEntryData(ArchiveReader* reader, const SourceEntry& entry, const std::string& zipName)
        : reader_(reader), entry_(entry), zipName_(zipName)
    {
        if (EntryOpen(reader_) != ARCHIVE_OK)
            fail("its local header disagrees with the directory");
    }

    ~ZipEntryData() override
    {
        if (reader_->openEntry)
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
    [[noreturn]] void fail(const std::string& why)
    {
        throw PackerError(zipName_ + ": entry " + entry_.shownName + ": " + why);
    }

    ArchiveReader* reader_;
    const SourceEntry& entry_;
    const std::string& zipName_;
};

class ZipSource : public PackageSource {
  public:
    explicit ZipSource(const fs::path& path) : name_(PathToUtf8(path)), file_(OpenSysFile(path))
    {
        if (!file_.valid())
            throw PackerError("cannot open " + name_ + ": " + LastSystemError());
        int64_t size = SysFileSeek(file_.get(), 0, SYS_SEEK_END);
        if (size < 0 || size > 0xFFFFFFFF)
            throw PackerError(name_ + ": a ZIP file without ZIP64 is smaller than 4 GiB");
        reader_ = ArchiveOpen(file_.get(), 0, static_cast<std::uint32_t>(size));
        if (reader_ == nullptr)
            throw PackerError(name_ + ": not a ZIP file, or one the stub cannot read (no end record, several "
                                      "disks, or a damaged directory)");
        readDirectory();
        if (!problems_.empty())
            ThrowProblems("cannot pack " + name_ + ":", problems_);
        CheckEntryNames(entries_);
    }

    std::unique_ptr<EntryData> open(const SourceEntry& entry) override
    {
        moveTo(entry.zipIndex);
        return std::make_unique<ZipEntryData>(reader_, entry, name_);
    }

  private:
    void readDirectory()
    {
        for (std::uint32_t i = 0; i < reader_->entryCount; i++) {
            int result = i == 0 ? ArchiveFirstEntry(reader_) : ArchiveNextEntry(reader_);
            ArchiveEntryInfo info{};
            char name[kNameBufferSize];
            if (result == ARCHIVE_OK)
                result = ArchiveGetEntryInfo(reader_, &info, name, sizeof name, nullptr, 0, nullptr, 0);
            if (result == ARCHIVE_BAD_PARAMETER) {
                problems_.push_back("entry " + std::to_string(i + 1) + ": name of " +
                                    std::to_string(info.nameLength) + " bytes; Windows paths leave room for " +
                                    std::to_string(kMaxEntryNameLength));
                continue;
            }
            if (result != ARCHIVE_OK)
                throw PackerError(name_ + ": the archive directory is damaged at entry " + std::to_string(i + 1));
            add(i, info, std::string(name, info.nameLength));
        }
    }

    void add(std::uint32_t index, const ArchiveEntryInfo& info, std::string raw)
    {
        // Some Windows tools write backslashes; the stub splits at both.
        for (char& c : raw)
            if (c == '\\')
                c = '/';
        SourceEntry entry;
        entry.zipIndex = index;
        bool named = true;
        if (info.flagBits & kZipFlagUtf8Names) {
            entry.shownName = raw;
            named = Utf8ToOemName(raw, entry.name);
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
                    named = Utf8ToOemName(raw, entry.name);
                } else {
                    entry.shownName = ShowOemName(raw);
                }
            }
        }
        if (!named) {
            problems_.push_back(entry.shownName + ": the stub writes ASCII and \xC3\xA4 \xC3\xB6 \xC3\xBC \xC3\x84 "
                                                  "\xC3\x96 \xC3\x9C \xC3\x9F only");
            return;
        }
        entry.directory = !raw.empty() && raw.back() == '/';
        if (!entry.directory && (info.externalAttributes & kDosDirectoryAttribute) && info.uncompressedSize == 0) {
            entry.directory = true;
            entry.name += '/';
            entry.shownName += '/';
        }
        if (info.flagBits & kZipFlagEncrypted)
            problems_.push_back(entry.shownName + ": encrypted in the ZIP file; give the plain files instead");
        else if (info.method != ZIP_METHOD_STORED && info.method != ZIP_METHOD_DEFLATED)
            problems_.push_back(entry.shownName + ": compression method " + std::to_string(info.method) +
                                "; only stored and deflated entries can be read");
        entry.size = info.uncompressedSize;
        entry.time.date = static_cast<std::uint16_t>(info.dosDateTime >> 16);
        entry.time.time = static_cast<std::uint16_t>(info.dosDateTime);
        entries_.push_back(std::move(entry));
    }

    void moveTo(std::uint32_t index)
    {
        int result = ARCHIVE_OK;
        if (!reader_->entryValid || reader_->entryIndex > index)
            result = ArchiveFirstEntry(reader_);
        while (result == ARCHIVE_OK && reader_->entryIndex < index)
            result = ArchiveNextEntry(reader_);
        if (result != ARCHIVE_OK)
            throw PackerError(name_ + ": the archive directory is damaged at entry " + std::to_string(index + 1));
    }

    std::string name_;
    SysFileHolder file_;
    ArchiveReader* reader_ = nullptr;
    std::vector<std::string> problems_;
};

}  // namespace

std::unique_ptr<PackageSource> OpenZipSource(const fs::path& zipFile)
{
    return std::make_unique<ZipSource>(zipFile);
}

}  // namespace packer
