// Icons: the .ico file an author gives, checked image by image, and the
// two kinds of resources a program carries an icon in (one icon resource
// per image, and a group that lists them as the file's directory does).
#pragma once

#include <cstdint>
#include <vector>

#include "packaging/trailer_writer.h"

namespace packaging {

// An icon file larger than this is refused: a full set of the usual sizes
// (16 to 256 pixels, 32 bits) takes well under 1 MiB.
constexpr std::size_t kMaxIconFileSize = 4 << 20;
// Windows draws icons of at most this many pixels a side.
constexpr unsigned kMaxIconSide = 256;

struct IconImage {
    Bytes directoryEntry;     // the file's 12 bytes about it, up to its size
    Bytes data;               // a BMP without its file header, or a PNG
    unsigned width = 0;
    unsigned height = 0;
    std::uint16_t bitCount = 0;
    bool png = false;
};

// Reads an icon file. Throws FormatError saying what is wrong (not an icon,
// no image, an image cut short, of an unknown kind, larger than 256 pixels
// or of another size than its directory entry says); the caller adds the
// file's name.
std::vector<IconImage> readIconFile(const Bytes& file);

// The group resource that lists the images, which the program carries as
// the icon resources of these ids, one per image.
Bytes makeIconGroup(const std::vector<IconImage>& images, const std::vector<std::uint16_t>& ids);

// What a group resource says of one image.
struct IconGroupEntry {
    unsigned width = 0;
    unsigned height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t size = 0;
    std::uint16_t id = 0;
};

// Reads a group resource; throws FormatError when it is damaged.
std::vector<IconGroupEntry> readIconGroup(const Bytes& group);

// True when an icon resource's data are a PNG image.
bool isPngImage(const Bytes& data);

}  // namespace packaging
