// The header of a Windows program as far as the packer reads and changes
// it: the sections, the data directories and the checksum, and the swap of
// the resource section for a new one, which may be larger or smaller.
//
// Written here rather than taken from a library: Debian packages no PE
// writer for both the host and Windows (LIEF exists for the host only, and
// rebuilds the whole program rather than leaving the rest as it was).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packaging/trailer_writer.h"

namespace packaging {

struct PeSection {
    std::string name;               // up to 8 characters
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t characteristics = 0;
    std::size_t headerAt = 0;       // where its 40-byte header lies in the file
};

struct PeDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// Data directory entries by their index.
constexpr std::size_t kPeResourceDirectory = 2;
constexpr std::size_t kPeSecurityDirectory = 4;
constexpr std::size_t kPeBaseRelocationDirectory = 5;

struct PeImage {
    std::uint16_t machine = 0;
    bool pe32Plus = false;                // a 64-bit program's optional header
    std::size_t timeStampAt = 0;          // the link time in the file header
    std::size_t optionalAt = 0;           // the optional header
    std::size_t checksumAt = 0;
    std::size_t directoriesAt = 0;        // the data directories
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::vector<PeDirectory> directories;
    std::vector<PeSection> sections;      // in the order of the section table
};

// Reads the header of a program from its first bytes. Throws FormatError
// when they are no Windows program, or its header runs past them.
PeImage readPeImage(const Bytes& program);

// The section that holds the resource directory, or null when there is none.
const PeSection* findResourceSection(const PeImage& image);

// The bytes of a section's raw data; throws FormatError when the program is
// shorter.
Bytes sectionBytes(const Bytes& program, const PeSection& section);

// The checksum of a program as its optional header holds it (the field
// itself left out of the sum).
std::uint32_t peChecksum(const Bytes& program, std::size_t checksumAt);

// Puts `resources` in place of the program's resource section, at the same
// address (the data entries in it are addresses, made for that place): the
// section's sizes, the resource directory, the size of the image and of
// its initialised data follow, as does the checksum when the program has
// one. The base relocations, the only section a linker places after the
// resources, move behind them; every other byte stays. Throws FormatError,
// changing nothing, for a program that is signed, has bytes behind its
// last section, or has behind its resources a section that cannot move.
void replaceResourceSection(Bytes& program, const Bytes& resources);

}  // namespace packaging
