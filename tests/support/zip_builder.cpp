// The tests' ZIP archive builder.
#include "support/zip_builder.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <zlib.h>

namespace packaging {

namespace {

constexpr std::size_t kMaxField = 0xFFFF;
constexpr std::uint64_t kMaxOffset = 0xFFFFFFFF;

std::uint16_t field16(std::size_t value, const char* what)
{
    if (value > kMaxField)
        throw FormatError(std::string(what) + " exceeds 65,535 bytes");
    return static_cast<std::uint16_t>(value);
}

std::uint32_t offset32(std::uint64_t value, const char* what)
{
    if (value > kMaxOffset)
        throw FormatError(std::string(what) + " exceeds 4 GiB; ZIP64 is not written");
    return static_cast<std::uint32_t>(value);
}

void append(Bytes& out, const Bytes& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The bytes as the archive stores them, and what the directory says of them.
struct PreparedEntry {
    Bytes stored;
    std::uint32_t crc;
    std::uint32_t uncompressedSize;
};

PreparedEntry prepare(const ZipEntry& entry, int level)
{
    if (entry.preparedData)
        return {*entry.preparedData, entry.crc, entry.uncompressedSize};
    std::uint32_t size = offset32(entry.data.size(), "entry data");
    Bytes stored = entry.method == ZipMethod::kDeflated ? deflateRaw(entry.data, level) : entry.data;
    return {std::move(stored), crc32Of(entry.data), size};
}

}  // namespace

ZipEntry ZipEntry::file(std::string name, Bytes data, ZipMethod method)
{
    ZipEntry entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.method = method;
    return entry;
}

ZipEntry ZipEntry::directory(std::string name)
{
    ZipEntry entry;
    entry.name = std::move(name);
    entry.method = ZipMethod::kStored;
    entry.externalAttributes = kDosDirectoryAttribute;
    return entry;
}

ZipEntry ZipEntry::prepared(std::string name, ZipMethod method, Bytes stored, std::uint32_t crc,
                            std::uint32_t uncompressedSize)
{
    ZipEntry entry;
    entry.name = std::move(name);
    entry.method = method;
    entry.preparedData = std::move(stored);
    entry.crc = crc;
    entry.uncompressedSize = uncompressedSize;
    return entry;
}

ZipWriter& ZipWriter::add(ZipEntry entry)
{
    entries_.push_back(std::move(entry));
    return *this;
}

ZipWriter& ZipWriter::comment(std::string text)
{
    comment_ = std::move(text);
    return *this;
}

ZipWriter& ZipWriter::leadingBytes(Bytes bytes, bool offsetsIncludeThem)
{
    leading_ = std::move(bytes);
    offsetsIncludeLeading_ = offsetsIncludeThem;
    return *this;
}

ZipWriter& ZipWriter::compressionLevel(int level)
{
    level_ = level;
    return *this;
}

Bytes ZipWriter::build(ZipLayout* layout) const
{
    if (entries_.size() > kMaxField)
        throw FormatError("more than 65,535 entries");
    field16(comment_.size(), "archive comment");

    Bytes out = leading_;
    // Offsets written into the archive; positions in out differ by this.
    const std::uint64_t base = offsetsIncludeLeading_ ? 0 : leading_.size();
    ZipLayout places;
    Bytes directory;
    for (const ZipEntry& entry : entries_) {
        PreparedEntry data = prepare(entry, level_);
        std::uint32_t storedSize = offset32(data.stored.size(), "entry data");
        field16(entry.name.size(), "entry name");
        field16(entry.localExtra.size(), "local extra field");
        field16(entry.centralExtra.size(), "central extra field");
        field16(entry.comment.size(), "entry comment");
        std::uint32_t localOffset = offset32(out.size() - base, "local header offset");

        ZipHeaderFields fields;
        fields.versionNeeded =
            zipVersionNeeded(entry.method, entry.externalAttributes == kDosDirectoryAttribute);
        fields.flags = static_cast<std::uint16_t>((entry.dataDescriptor ? kZipFlagDataDescriptor : 0) |
                                                  (entry.utf8Name ? kZipFlagUtf8Name : 0));
        fields.method = static_cast<std::uint16_t>(entry.method);
        fields.dosTime = entry.dosTime;
        fields.dosDate = entry.dosDate;
        fields.crc = data.crc;
        fields.compressedSize = storedSize;
        fields.uncompressedSize = data.uncompressedSize;
        fields.externalAttributes = entry.externalAttributes;
        fields.localHeaderOffset = localOffset;

        places.localHeaders.push_back(offset32(out.size(), "archive"));
        ZipHeaderFields local = fields;
        if (entry.dataDescriptor)
            local.crc = local.compressedSize = local.uncompressedSize = 0;
        appendLocalHeader(out, local, entry.name, entry.localExtra);
        places.dataStarts.push_back(offset32(out.size(), "archive"));
        append(out, data.stored);
        if (entry.dataDescriptor) {
            appendU32(out, ZIP_DATA_DESCRIPTOR_SIGNATURE);
            appendU32(out, data.crc);
            appendU32(out, storedSize);
            appendU32(out, data.uncompressedSize);
        }
        appendCentralHeader(directory, fields, entry.name, entry.centralExtra, entry.comment);
    }

    places.directoryStart = offset32(out.size(), "archive");
    std::uint32_t directoryOffset = offset32(out.size() - base, "central directory offset");
    std::uint32_t directorySize = offset32(directory.size(), "central directory");
    std::size_t position = out.size();
    for (const ZipEntry& entry : entries_) {
        places.centralHeaders.push_back(offset32(position, "archive"));
        position += kZipCentralHeaderSize + entry.name.size() + entry.centralExtra.size() + entry.comment.size();
    }
    append(out, directory);

    places.endRecord = offset32(out.size(), "archive");
    appendEndRecord(out, static_cast<std::uint16_t>(entries_.size()), directorySize, directoryOffset, comment_);
    if (layout)
        *layout = std::move(places);
    return out;
}

Bytes deflateRaw(const Bytes& data, int level)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.next_out = out.data();
    std::size_t inputLeft = data.size();
    std::size_t outputLeft = out.size();
    constexpr std::size_t kStep = std::numeric_limits<uInt>::max();
    int result = Z_OK;
    // zlib counts in uInt, so feed and drain in pieces it can count.
    while (result == Z_OK) {
        stream.avail_in = static_cast<uInt>(std::min(inputLeft, kStep));
        stream.avail_out = static_cast<uInt>(std::min(outputLeft, kStep));
        uInt inBefore = stream.avail_in;
        uInt outBefore = stream.avail_out;
        result = deflate(&stream, inputLeft == stream.avail_in ? Z_FINISH : Z_NO_FLUSH);
        inputLeft -= inBefore - stream.avail_in;
        outputLeft -= outBefore - stream.avail_out;
    }
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    out.resize(out.size() - outputLeft);
    return out;
}

std::uint32_t crc32Of(const Bytes& data)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    const Bytef* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        uInt n = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
        crc = crc32(crc, p, n);
        p += n;
        left -= n;
    }
    return static_cast<std::uint32_t>(crc);
}

ZipEntry encryptedZipEntry(const EntryEncryptor& encryptor, std::string name, const Bytes& data, ZipMethod method,
                           int level)
{
    if (data.size() > UINT32_MAX)
        throw FormatError("an entry holds at most 4 GiB");
    Bytes compressed = method == ZipMethod::kDeflated ? deflateRaw(data, level) : data;
    return ZipEntry::prepared(std::move(name), method, encryptor.encryptEntry(compressed), crc32Of(data),
                              static_cast<std::uint32_t>(data.size()));
}

}  // namespace packaging
