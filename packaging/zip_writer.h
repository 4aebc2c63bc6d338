// Writing ZIP archives (single disk, no ZIP64) for packages and for the
// tests: stored and deflated entries, directories, an archive comment, data
// the caller compressed or encrypted itself, and the variants real tools
// produce (data descriptors with zero local sizes, local extra fields that
// differ from the central ones, bytes in front of the archive).
//
// Written here rather than taken from a library: the writer must build for
// the host and for Windows, and Debian's minizip and libzip exist for the
// host only (the mingw zlib package carries no minizip), while their two
// zip.h headers clash on one include path. The format is small, and the
// tests need archives that are unusual on purpose, which libraries resist.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "packaging/trailer_writer.h"
#include "src/archive/zip_format.h"

namespace packaging {

enum class ZipMethod : std::uint16_t { kStored = 0, kDeflated = 8 };

constexpr std::uint16_t kZipFlagDataDescriptor = ZIP_FLAG_DATA_DESCRIPTOR;
// General purpose bit 11: the name is UTF-8. Packages set it only for names
// that OEM code page bytes cannot carry.
constexpr std::uint16_t kZipFlagUtf8Name = ZIP_FLAG_UTF8_NAME;
constexpr std::uint32_t kDosDirectoryAttribute = ZIP_DOS_DIRECTORY_ATTRIBUTE;

// 2024-01-01 00:00, a fixed stamp so that archives are reproducible.
constexpr std::uint16_t kDefaultDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;

struct ZipEntry {
    std::string name;
    Bytes data;                          // the uncompressed bytes
    ZipMethod method = ZipMethod::kDeflated;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = kDefaultDosDate;
    std::uint32_t externalAttributes = 0;
    std::string comment;
    Bytes localExtra;
    Bytes centralExtra;
    // General purpose bit 3: CRC and sizes are zero in the local header and
    // follow the data in a descriptor, as a streaming writer leaves them.
    bool dataDescriptor = false;
    bool utf8Name = false;               // general purpose bit 11
    // Data prepared by the caller (compressed, perhaps encrypted) are written
    // as they stand; crc and uncompressedSize then describe the plain data.
    std::optional<Bytes> preparedData;
    std::uint32_t crc = 0;
    std::uint32_t uncompressedSize = 0;

    static ZipEntry file(std::string name, Bytes data, ZipMethod method = ZipMethod::kDeflated);
    static ZipEntry directory(std::string name);   // name should end in '/'
    static ZipEntry prepared(std::string name, ZipMethod method, Bytes stored, std::uint32_t crc,
                             std::uint32_t uncompressedSize);
};

// Where the parts of a built archive lie, as offsets into build()'s result
// (leading bytes included), so that tests can damage them on purpose.
struct ZipLayout {
    std::vector<std::uint32_t> localHeaders;
    std::vector<std::uint32_t> dataStarts;
    std::vector<std::uint32_t> centralHeaders;
    std::uint32_t directoryStart = 0;
    std::uint32_t endRecord = 0;
};

class ZipWriter {
  public:
    ZipWriter& add(ZipEntry entry);
    ZipWriter& comment(std::string text);
    // Bytes placed in front of the archive. The archive's offsets count from
    // its own first byte, as when a program is put in front of a finished
    // archive, unless offsetsIncludeThem (as `zip -A` adjusts them).
    ZipWriter& leadingBytes(Bytes bytes, bool offsetsIncludeThem = false);
    ZipWriter& compressionLevel(int level);   // zlib's 0..9, default 6

    // Throws FormatError past the format's limits (65,535 entries or bytes
    // of a name, extra field or comment; 4 GiB of data or offsets).
    Bytes build(ZipLayout* layout = nullptr) const;

  private:
    std::vector<ZipEntry> entries_;
    std::string comment_;
    Bytes leading_;
    bool offsetsIncludeLeading_ = false;
    int level_ = 6;
};

// The fixed fields of one entry's local and central headers. Writers that
// stream their data (the packer) fill them once the data are written and
// use the same serialisation as ZipWriter.
struct ZipHeaderFields {
    std::uint16_t versionNeeded = 20;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = kDefaultDosDate;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t localHeaderOffset = 0;   // only in the central header
};

constexpr std::size_t kZipLocalHeaderSize = ZIP_LOCAL_HEADER_SIZE;
constexpr std::size_t kZipCentralHeaderSize = ZIP_CENTRAL_HEADER_SIZE;
constexpr std::size_t kZipEndRecordSize = ZIP_END_RECORD_SIZE;

// Version needed to extract: 1.0 for stored files, 2.0 for deflate and folders.
std::uint16_t zipVersionNeeded(ZipMethod method, bool directory);

// Header serialisation; the caller has checked every length against 65,535.
void appendLocalHeader(Bytes& out, const ZipHeaderFields& fields, const std::string& name, const Bytes& extra);
void appendCentralHeader(Bytes& out, const ZipHeaderFields& fields, const std::string& name, const Bytes& extra,
                         const std::string& comment);
void appendEndRecord(Bytes& out, std::uint16_t entryCount, std::uint32_t directorySize,
                     std::uint32_t directoryOffset, const std::string& comment);

// Raw deflate (no zlib header or trailer), as ZIP method 8 stores it.
Bytes deflateRaw(const Bytes& data, int level = 6);
std::uint32_t crc32Of(const Bytes& data);

}  // namespace packaging
