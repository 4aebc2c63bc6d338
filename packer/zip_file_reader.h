// A ZIP file read by the packer itself where the stub's reader does not
// reach: the end records, plain and ZIP64, with the reason in words when a
// file is no archive the packer can take; and for archives that use ZIP64
// anywhere (and files past 4 GiB), the directory and the entry data. The
// stub stays without ZIP64: packages are plain ZIP archives whatever their
// input was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sys_file.h"
#include "source_entries.h"

namespace packer {

struct ZipEnd {
    std::uint64_t entryCount = 0;
    std::uint64_t directoryOffset = 0;   // from the archive's first byte
    std::uint64_t directorySize = 0;
    std::uint64_t base = 0;              // file offset of the archive's first byte
    bool zip64 = false;                  // counts and offsets came from a ZIP64 end record
};

// Finds and checks the end record (and the ZIP64 one it leads to). Throws
// PackerError, starting with name, saying why the file cannot be read: no
// end record, a part of a split archive, a missing ZIP64 record, a
// directory that reaches past the end.
ZipEnd FindZipEnd(SysFile file, std::uint64_t fileSize, const std::string& name);

// One central directory header, ZIP64 sizes and offsets filled in.
struct ZipEntryFacts {
    std::string name;                    // the bytes the directory holds
    std::uint32_t versionMadeBy = 0;     // the high byte names the system: 3 Unix, 19 macOS
    std::uint32_t versionNeeded = 0;     // 45 (4.5) and above: ZIP64 fields may be in its headers
    std::uint32_t flagBits = 0;
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t dosDateTime = 0;       // date in the high 16 bits, time in the low
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0; // from the archive's first byte
};

// Reads the whole central directory. Throws PackerError naming the entry
// where it is damaged.
std::vector<ZipEntryFacts> ReadZipDirectory(SysFile file, const ZipEnd& end, const std::string& name);

// An entry's data, stored or deflated, checked against its size and CRC-32
// at the end. Throws PackerError starting with `where` when the local
// header or the data are damaged.
std::unique_ptr<EntryData> OpenZipEntryData(SysFile file, const ZipEnd& end, const ZipEntryFacts& facts,
                                            const std::string& where);

}  // namespace packer
