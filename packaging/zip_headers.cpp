// ZIP header serialisation of the package-assembly library.
#include "packaging/zip_headers.h"

namespace packaging {

namespace {

constexpr std::uint16_t kVersionStored = 10;    // 1.0: stored data only
constexpr std::uint16_t kVersionDeflated = 20;  // 2.0: deflate, folders
constexpr std::uint16_t kVersionLzma = 63;      // 6.3: LZMA
constexpr std::uint16_t kMadeByDos = 20;        // host 0 (MS-DOS), version 2.0

void append(Bytes& out, const Bytes& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void append(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

std::uint16_t zipVersionNeeded(ZipMethod method, bool directory)
{
    if (directory)
        return kVersionDeflated;
    switch (method) {
    case ZipMethod::kStored: return kVersionStored;
    case ZipMethod::kDeflated: return kVersionDeflated;
    case ZipMethod::kLzma: return kVersionLzma;
    }
    return kVersionDeflated;
}

// The fields the local and the central header share, in the same order,
// from the version needed to the uncompressed size.
static void appendSharedFields(Bytes& out, const ZipHeaderFields& fields)
{
    appendU16(out, fields.versionNeeded);
    appendU16(out, fields.flags);
    appendU16(out, fields.method);
    appendU16(out, fields.dosTime);
    appendU16(out, fields.dosDate);
    appendU32(out, fields.crc);
    appendU32(out, fields.compressedSize);
    appendU32(out, fields.uncompressedSize);
}

void appendLocalHeader(Bytes& out, const ZipHeaderFields& fields, const std::string& name, const Bytes& extra)
{
    appendU32(out, ZIP_LOCAL_HEADER_SIGNATURE);
    appendSharedFields(out, fields);
    appendU16(out, static_cast<std::uint16_t>(name.size()));
    appendU16(out, static_cast<std::uint16_t>(extra.size()));
    append(out, name);
    append(out, extra);
}

void appendCentralHeader(Bytes& out, const ZipHeaderFields& fields, const std::string& name, const Bytes& extra,
                         const std::string& comment)
{
    appendU32(out, ZIP_CENTRAL_HEADER_SIGNATURE);
    appendU16(out, kMadeByDos);
    appendSharedFields(out, fields);
    appendU16(out, static_cast<std::uint16_t>(name.size()));
    appendU16(out, static_cast<std::uint16_t>(extra.size()));
    appendU16(out, static_cast<std::uint16_t>(comment.size()));
    appendU16(out, 0);   // disk number start
    appendU16(out, 0);   // internal attributes
    appendU32(out, fields.externalAttributes);
    appendU32(out, fields.localHeaderOffset);
    append(out, name);
    append(out, extra);
    append(out, comment);
}

void appendEndRecord(Bytes& out, std::uint16_t entryCount, std::uint32_t directorySize,
                     std::uint32_t directoryOffset, const std::string& comment)
{
    appendU32(out, ZIP_END_RECORD_SIGNATURE);
    appendU16(out, 0);   // this disk
    appendU16(out, 0);   // disk with the central directory
    appendU16(out, entryCount);
    appendU16(out, entryCount);
    appendU32(out, directorySize);
    appendU32(out, directoryOffset);
    appendU16(out, static_cast<std::uint16_t>(comment.size()));
    append(out, comment);
}

}  // namespace packaging
