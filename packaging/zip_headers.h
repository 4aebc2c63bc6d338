// ZIP headers as packages store them (single disk, no ZIP64): the local and
// central header of an entry and the end record, written by the packer as it
// streams entries and by the tests' archive builder.
//
// Written here rather than taken from a library: the writer must build for
// the host and for Windows, and Debian's minizip and libzip exist for the
// host only (the mingw zlib package carries no minizip), while their two
// zip.h headers clash on one include path. The headers are small.
#pragma once

#include <cstdint>
#include <string>

#include "packaging/trailer_writer.h"
#include "src/archive/zip_format.h"

namespace packaging {

enum class ZipMethod : std::uint16_t { kStored = 0, kDeflated = 8, kLzma = 14 };

constexpr std::uint16_t kZipFlagDataDescriptor = ZIP_FLAG_DATA_DESCRIPTOR;
// General purpose bit 11: the name is UTF-8. Packages set it only for names
// that OEM code page bytes cannot carry.
constexpr std::uint16_t kZipFlagUtf8Name = ZIP_FLAG_UTF8_NAME;
constexpr std::uint32_t kDosDirectoryAttribute = ZIP_DOS_DIRECTORY_ATTRIBUTE;

// 2024-01-01 00:00, a fixed stamp so that archives are reproducible.
constexpr std::uint16_t kDefaultDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;

// The fixed fields of one entry's local and central headers. Writers that
// stream their data (the packer) fill them once the data are written and
// use the same serialisation as the tests' archive builder.
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

// Version needed to extract: 1.0 for stored files, 2.0 for deflate and
// folders, 6.3 for LZMA.
std::uint16_t zipVersionNeeded(ZipMethod method, bool directory);

// Header serialisation; the caller has checked every length against 65,535.
void appendLocalHeader(Bytes& out, const ZipHeaderFields& fields, const std::string& name, const Bytes& extra);
void appendCentralHeader(Bytes& out, const ZipHeaderFields& fields, const std::string& name, const Bytes& extra,
                         const std::string& comment);
void appendEndRecord(Bytes& out, std::uint16_t entryCount, std::uint32_t directorySize,
                     std::uint32_t directoryOffset, const std::string& comment);

}  // namespace packaging
