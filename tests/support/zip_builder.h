// Building ZIP archives for tests, benchmarks and fuzz seeds: stored and
// deflated entries, directories, an archive comment, data the caller
// compressed or encrypted itself, and the variants real tools produce (data
// descriptors with zero local sizes, local extra fields that differ from the
// central ones, bytes in front of the archive). Archives that are unusual on
// purpose are what the tests need and what libraries resist. The packer does
// not link this: it streams its entries with the headers of zip_headers.h.
// The names stay in the namespace of the library they extend.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "packaging/entry_encryption.h"
#include "packaging/zip_headers.h"

namespace packaging {

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

// Raw deflate (no zlib header or trailer), as ZIP method 8 stores it.
Bytes deflateRaw(const Bytes& data, int level = 6);
std::uint32_t crc32Of(const Bytes& data);


// A ZIP entry whose data are compressed by `method` at `level`, then
// encrypted; CRC and uncompressed size describe the plain data.
ZipEntry encryptedZipEntry(const EntryEncryptor& encryptor, std::string name, const Bytes& data,
                           ZipMethod method = ZipMethod::kDeflated, int level = 6);

}  // namespace packaging
