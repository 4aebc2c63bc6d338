// The packer's own reading of ZIP end records, directories and entry data.
#include "zip_file_reader.h"

#include <algorithm>
#include <zlib.h>

#include "packer_error.h"
#include "archive/zip_format.h"
#include "platform/byte_order.h"

namespace packer {

namespace {

constexpr std::uint32_t kEndSignature = ZIP_END_RECORD_SIGNATURE;
constexpr std::uint32_t kZip64LocatorSignature = ZIP64_END_LOCATOR_SIGNATURE;
constexpr std::uint32_t kZip64EndSignature = ZIP64_END_RECORD_SIGNATURE;
constexpr std::uint32_t kCentralSignature = ZIP_CENTRAL_HEADER_SIGNATURE;
constexpr std::uint32_t kLocalSignature = ZIP_LOCAL_HEADER_SIGNATURE;
constexpr std::uint32_t kEndSize = ZIP_END_RECORD_SIZE;
constexpr std::uint32_t kZip64LocatorSize = ZIP64_END_LOCATOR_SIZE;
constexpr std::uint32_t kZip64EndSize = ZIP64_END_RECORD_SIZE;
constexpr std::uint32_t kCentralSize = ZIP_CENTRAL_HEADER_SIZE;
constexpr std::uint32_t kLocalSize = ZIP_LOCAL_HEADER_SIZE;
// The end record and a comment of at most 65,535 bytes.
constexpr std::uint32_t kEndSearchWindow = kEndSize + 0xFFFF;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint32_t kMarker16 = 0xFFFF;
constexpr std::uint32_t kMarker32 = 0xFFFFFFFF;
// A directory is read whole; this bounds what a damaged size can ask for.
constexpr std::uint64_t kMaxDirectorySize = 1u << 30;
constexpr std::size_t kInputChunkSize = 1 << 16;

std::uint64_t ReadU64Le(const std::uint8_t* p)
{
    return ReadU32Le(p) | static_cast<std::uint64_t>(ReadU32Le(p + 4)) << 32;
}

bool ReadAt(SysFile file, std::uint64_t position, void* buffer, std::uint32_t size)
{
    return SysFileSeek(file, static_cast<std::int64_t>(position), SYS_SEEK_BEGIN) ==
               static_cast<std::int64_t>(position) &&
           SysFileReadExact(file, buffer, size) == 0;
}

// The file offset of the end record nearest to the file's end; fileSize
// when there is none.
std::uint64_t SearchEndRecord(SysFile file, std::uint64_t fileSize)
{
    std::uint32_t window = static_cast<std::uint32_t>(std::min<std::uint64_t>(fileSize, kEndSearchWindow));
    if (window < kEndSize)
        return fileSize;
    std::vector<std::uint8_t> tail(window);
    if (!ReadAt(file, fileSize - window, tail.data(), window))
        return fileSize;
    for (std::uint32_t i = window - kEndSize + 1; i-- > 0;)
        if (ReadU32Le(&tail[i]) == kEndSignature)
            return fileSize - window + i;
    return fileSize;
}

[[noreturn]] void RefuseSplit(const std::string& name, std::uint64_t disk)
{
    throw PackerError(name + ": one part of a ZIP file split into several (this is part " + std::to_string(disk + 1) +
                      "); join the parts into one first, for example with zip -s 0 part.zip --out whole.zip");
}

// Reads the ZIP64 end record the locator before the end record points to.
// Returns where the directory ends: at that record.
std::uint64_t ReadZip64End(SysFile file, std::uint64_t locatorAt, const std::uint8_t* locator,
                           const std::string& name, ZipEnd& end)
{
    if (ReadU32Le(locator + 4) != 0 || ReadU32Le(locator + 16) > 1)
        RefuseSplit(name, ReadU32Le(locator + 4));
    // The locator's offset counts from the archive's first byte; with
    // bytes in front of the archive the record lies right before it.
    std::uint8_t record[kZip64EndSize];
    std::uint64_t at = ReadU64Le(locator + 8);
    if (at + kZip64EndSize > locatorAt || !ReadAt(file, at, record, sizeof record) ||
        ReadU32Le(record) != kZip64EndSignature) {
        at = locatorAt - kZip64EndSize;
        if (locatorAt < kZip64EndSize || !ReadAt(file, at, record, sizeof record) ||
            ReadU32Le(record) != kZip64EndSignature)
            throw PackerError(name + ": its ZIP64 end record, which the end record points to, is missing or damaged");
    }
    if (ReadU32Le(record + 16) != 0 || ReadU32Le(record + 20) != 0 || ReadU64Le(record + 24) != ReadU64Le(record + 32))
        RefuseSplit(name, ReadU32Le(record + 16));
    end.entryCount = ReadU64Le(record + 32);
    end.directorySize = ReadU64Le(record + 40);
    end.directoryOffset = ReadU64Le(record + 48);
    end.zip64 = true;
    return at;
}

}  // namespace

ZipEnd FindZipEnd(SysFile file, std::uint64_t fileSize, const std::string& name)
{
    if (fileSize == 0)
        throw PackerError(name + ": an empty file, not a ZIP file");
    std::uint64_t endAt = SearchEndRecord(file, fileSize);
    std::uint8_t record[kEndSize];
    if (endAt == fileSize || !ReadAt(file, endAt, record, sizeof record))
        throw PackerError(name + ": not a ZIP file: it has no ZIP end record (a ZIP file that was cut short "
                                 "loses it as well)");

    ZipEnd end;
    std::uint64_t directoryEnd = endAt;
    std::uint8_t locator[kZip64LocatorSize];
    if (endAt >= kZip64LocatorSize && ReadAt(file, endAt - kZip64LocatorSize, locator, sizeof locator) &&
        ReadU32Le(locator) == kZip64LocatorSignature) {
        directoryEnd = ReadZip64End(file, endAt - kZip64LocatorSize, locator, name, end);
    } else {
        std::uint32_t disk = ReadU16Le(record + 4);
        if (disk != 0 || ReadU16Le(record + 6) != 0 || ReadU16Le(record + 8) != ReadU16Le(record + 10))
            RefuseSplit(name, disk);
        end.entryCount = ReadU16Le(record + 10);
        end.directorySize = ReadU32Le(record + 12);
        end.directoryOffset = ReadU32Le(record + 16);
    }
    if (end.directorySize > directoryEnd || end.directoryOffset > directoryEnd - end.directorySize) {
        bool asksForZip64 = !end.zip64 && (end.entryCount == kMarker16 || end.directorySize == kMarker32 ||
                                           end.directoryOffset == kMarker32);
        throw PackerError(name + (asksForZip64 ? ": its end record asks for a ZIP64 end record, which is missing"
                                               : ": its directory would reach past its end record: the file is "
                                                 "cut short or damaged"));
    }
    end.base = directoryEnd - end.directorySize - end.directoryOffset;
    return end;
}

std::vector<ZipEntryFacts> ReadZipDirectory(SysFile file, const ZipEnd& end, const std::string& name)
{
    if (end.directorySize > kMaxDirectorySize)
        throw PackerError(name + ": a directory of " + std::to_string(end.directorySize) + " bytes is more than "
                                 "the packer reads");
    std::vector<std::uint8_t> directory(static_cast<std::size_t>(end.directorySize));
    if (!directory.empty() &&
        !ReadAt(file, end.base + end.directoryOffset, directory.data(), static_cast<std::uint32_t>(directory.size())))
        throw PackerError(name + ": cannot read its directory: " + LastSystemError());

    std::vector<ZipEntryFacts> entries;
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < end.entryCount; i++) {
        auto damaged = [&](const std::string& why) {
            return PackerError(name + ": the archive directory is damaged at entry " + std::to_string(i + 1) + why);
        };
        const std::uint8_t* header = directory.data() + at;
        if (directory.size() - at < kCentralSize || ReadU32Le(header) != kCentralSignature)
            throw damaged("");
        std::size_t nameLength = ReadU16Le(header + 28);
        std::size_t extraLength = ReadU16Le(header + 30);
        std::size_t commentLength = ReadU16Le(header + 32);
        if (directory.size() - at - kCentralSize < nameLength + extraLength + commentLength)
            throw damaged("");
        ZipEntryFacts facts;
        facts.versionMadeBy = ReadU16Le(header + 4);
        facts.versionNeeded = ReadU16Le(header + 6);
        facts.flagBits = ReadU16Le(header + 8);
        facts.method = ReadU16Le(header + 10);
        facts.dosDateTime = ReadU32Le(header + 12);
        facts.crc = ReadU32Le(header + 16);
        facts.compressedSize = ReadU32Le(header + 20);
        facts.uncompressedSize = ReadU32Le(header + 24);
        facts.externalAttributes = ReadU32Le(header + 38);
        facts.localHeaderOffset = ReadU32Le(header + 42);
        facts.name.assign(reinterpret_cast<const char*>(header + kCentralSize), nameLength);

        // The ZIP64 field holds, in this order, exactly the values whose
        // fixed field is all ones.
        std::uint64_t* wide[] = {&facts.uncompressedSize, &facts.compressedSize, &facts.localHeaderOffset};
        const std::uint8_t* extra = header + kCentralSize + nameLength;
        for (std::size_t e = 0; e + 4 <= extraLength;) {
            std::size_t size = ReadU16Le(extra + e + 2);
            if (ReadU16Le(extra + e) == kZip64ExtraId) {
                std::size_t field = e + 4;
                for (std::uint64_t* value : wide) {
                    if (*value != kMarker32)
                        continue;
                    if (field + 8 > e + 4 + size || field + 8 > extraLength)
                        throw damaged(": its ZIP64 field is too short");
                    *value = ReadU64Le(extra + field);
                    field += 8;
                }
            }
            e += 4 + size;
        }
        for (std::uint64_t* value : wide)
            if (*value == kMarker32)
                throw damaged(": its ZIP64 field is missing");
        entries.push_back(std::move(facts));
        at += kCentralSize + nameLength + extraLength + commentLength;
    }
    return entries;
}

namespace {

class ZipFileEntryData : public EntryData {
  public:
    ZipFileEntryData(SysFile file, const ZipEnd& end, const ZipEntryFacts& facts, const std::string& where)
        : file_(file), facts_(facts), where_(where), remaining_(facts.compressedSize),
          deflated_(facts.method == 8)
    {
        std::uint8_t header[kLocalSize];
        std::uint64_t headerAt = end.base + facts.localHeaderOffset;
        if (!ReadAt(file, headerAt, header, sizeof header) || ReadU32Le(header) != kLocalSignature)
            fail("its local header is missing or damaged");
        position_ = headerAt + kLocalSize + ReadU16Le(header + 26) + ReadU16Le(header + 28);
        if (deflated_ && inflateInit2(&stream_, -MAX_WBITS) != Z_OK)
            fail("zlib cannot start inflating");
        input_.resize(kInputChunkSize);
    }

    ~ZipFileEntryData() override
    {
        if (deflated_)
            inflateEnd(&stream_);
    }

    std::size_t read(std::uint8_t* buffer, std::size_t size) override
    {
        std::size_t n = deflated_ ? inflateInto(buffer, size) : copyInto(buffer, size);
        produced_ += n;
        if (produced_ > facts_.uncompressedSize)
            fail("its data are longer than the directory says");
        crc_ = crc32(crc_, buffer, static_cast<uInt>(n));
        if (n == 0 && size > 0) {
            if (produced_ != facts_.uncompressedSize)
                fail("its data end after " + std::to_string(produced_) + " of " +
                     std::to_string(facts_.uncompressedSize) + " bytes");
            if (crc_ != facts_.crc)
                fail("its data do not match their CRC-32");
        }
        return n;
    }

  private:
    [[noreturn]] void fail(const std::string& why) const { throw PackerError(where_ + ": " + why); }

    // Reads up to size bytes of the entry's stored data.
    std::size_t readInput(std::uint8_t* buffer, std::size_t size)
    {
        std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>({size, remaining_, kInputChunkSize}));
        if (n > 0 && !ReadAt(file_, position_, buffer, n))
            fail("its data are cut short");
        position_ += n;
        remaining_ -= n;
        return n;
    }

    std::size_t copyInto(std::uint8_t* buffer, std::size_t size)
    {
        std::size_t total = 0;
        for (std::size_t n; total < size && (n = readInput(buffer + total, size - total)) > 0;)
            total += n;
        return total;
    }

    std::size_t inflateInto(std::uint8_t* buffer, std::size_t size)
    {
        stream_.next_out = buffer;
        stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        while (stream_.avail_out > 0 && !ended_) {
            if (stream_.avail_in == 0) {
                stream_.next_in = input_.data();
                stream_.avail_in = static_cast<uInt>(readInput(input_.data(), input_.size()));
                if (stream_.avail_in == 0)
                    fail("its deflated data end before their end mark");
            }
            int result = inflate(&stream_, Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                ended_ = true;
            else if (result != Z_OK)
                fail("its deflated data are damaged");
        }
        return static_cast<std::size_t>(stream_.next_out - buffer);
    }

    SysFile file_;
    ZipEntryFacts facts_;
    std::string where_;
    std::uint64_t position_ = 0;    // file offset of the next stored byte
    std::uint64_t remaining_;       // stored bytes not read yet
    bool deflated_;
    bool ended_ = false;
    z_stream stream_{};
    std::vector<std::uint8_t> input_;
    std::uint64_t produced_ = 0;
    uLong crc_ = crc32(0L, Z_NULL, 0);
};

}  // namespace

std::unique_ptr<EntryData> OpenZipEntryData(SysFile file, const ZipEnd& end, const ZipEntryFacts& facts,
                                            const std::string& where)
{
    return std::make_unique<ZipFileEntryData>(file, end, facts, where);
}

}  // namespace packer
