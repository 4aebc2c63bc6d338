// Reading icon files and making and reading icon group resources.
#include "icon_file.h"

#include <algorithm>
#include <string>

#include "src/platform/byte_order.h"

namespace packaging {

namespace {

// The file starts with a reserved word, its kind (1 icon, 2 cursor) and the
// number of images; then one 16-byte entry per image: width, height (0 for
// 256), colours, reserved, planes, bits per pixel, size, offset.
constexpr std::size_t kFileHeaderSize = 6;
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kEntryFieldsKept = 12;   // the entry without its offset
constexpr std::uint16_t kIconKind = 1;
constexpr std::uint16_t kCursorKind = 2;
// A group resource: the same header, then 14-byte entries whose last word
// is the id of the icon resource instead of the offset.
constexpr std::size_t kGroupEntrySize = 14;

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kPngChunkOverhead = 12;   // length, type, CRC
constexpr std::size_t kPngHeaderChunkSize = 13;

// The BMP image of an icon: a bitmap info header, a colour table, the
// colour pixels and a 1-bit mask, both bottom up, rows padded to 32 bits.
// Its height counts both, so it is twice the icon's.
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kV4HeaderSize = 108;
constexpr std::uint32_t kV5HeaderSize = 124;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kBitFields = 3;
constexpr std::size_t kBitFieldMasksSize = 12;

unsigned Side(std::uint8_t field)
{
    return field == 0 ? 256 : field;
}

std::string Size(unsigned width, unsigned height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

std::uint32_t ReadU32Be(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint64_t RowBytes(std::uint64_t width, std::uint64_t bits)
{
    return (width * bits + 31) / 32 * 4;
}

// Checks a PNG's chunks up to its end chunk; its size comes from its header.
void ReadPng(IconImage& image, const std::string& which)
{
    const Bytes& data = image.data;
    std::size_t at = sizeof kPngSignature;
    if (data.size() < at + kPngChunkOverhead + kPngHeaderChunkSize ||
        ReadU32Be(data.data() + at) != kPngHeaderChunkSize || std::string(data.begin() + 12, data.begin() + 16) != "IHDR")
        throw FormatError(which + " is a PNG image without its header");
    std::uint32_t width = ReadU32Be(data.data() + 16);
    std::uint32_t height = ReadU32Be(data.data() + 20);
    for (;;) {
        if (data.size() - at < kPngChunkOverhead)
            throw FormatError(which + " is cut short: its PNG data end before their last part");
        std::uint32_t length = ReadU32Be(data.data() + at);
        if (length > data.size() - at - kPngChunkOverhead)
            throw FormatError(which + " is cut short: its PNG data end before their last part");
        bool last = std::string(data.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                data.begin() + static_cast<std::ptrdiff_t>(at + 8)) == "IEND";
        at += kPngChunkOverhead + length;
        if (last)
            break;
    }
    if (width > kMaxIconSide || height > kMaxIconSide)
        throw FormatError(which + " is " + Size(width, height) + " pixels; icons are at most 256x256");
    if (width != image.width || height != image.height)
        throw FormatError(which + ": the file's directory says " + Size(image.width, image.height) +
                          ", the PNG image is " + Size(width, height));
}

// Checks a BMP image's header and that its pixels and mask are all there.
void ReadBmp(IconImage& image, const std::string& which)
{
    const Bytes& data = image.data;
    std::uint32_t headerSize = data.size() >= 4 ? ReadU32Le(data.data()) : 0;
    if (headerSize != kInfoHeaderSize && headerSize != kV4HeaderSize && headerSize != kV5HeaderSize)
        throw FormatError(which + " is neither a BMP nor a PNG image");
    if (data.size() < headerSize)
        throw FormatError(which + " is cut short: its BMP header is incomplete");
    std::int32_t width = static_cast<std::int32_t>(ReadU32Le(data.data() + 4));
    std::int32_t doubleHeight = static_cast<std::int32_t>(ReadU32Le(data.data() + 8));
    std::uint16_t planes = ReadU16Le(data.data() + 12);
    std::uint16_t bits = ReadU16Le(data.data() + 14);
    std::uint32_t compression = ReadU32Le(data.data() + 16);
    std::uint32_t colorsUsed = ReadU32Le(data.data() + 32);
    if (width <= 0 || doubleHeight <= 0 || doubleHeight % 2 != 0)
        throw FormatError(which + " is a BMP image of no icon's shape (" + std::to_string(width) + " by " +
                          std::to_string(doubleHeight) + ", not a height of twice the icon's)");
    std::uint32_t height = static_cast<std::uint32_t>(doubleHeight) / 2;
    if (static_cast<std::uint32_t>(width) > kMaxIconSide || height > kMaxIconSide)
        throw FormatError(which + " is " + Size(static_cast<unsigned>(width), height) +
                          " pixels; icons are at most 256x256");
    if (static_cast<unsigned>(width) != image.width || height != image.height)
        throw FormatError(which + ": the file's directory says " + Size(image.width, image.height) +
                          ", the BMP image is " + Size(static_cast<unsigned>(width), height));
    if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        throw FormatError(which + " is a BMP image of " + std::to_string(bits) + " bits per pixel in " +
                          std::to_string(planes) + " planes, which icons do not use");
    if (compression != kUncompressed && !(compression == kBitFields && (bits == 16 || bits == 32)))
        throw FormatError(which + " is a compressed BMP image, which icons cannot be");
    std::uint64_t colors = 0;
    if (bits <= 8) {
        colors = colorsUsed == 0 ? (1u << bits) : colorsUsed;
        if (colors > (1u << bits))
            throw FormatError(which + " has a colour table of " + std::to_string(colors) + " entries for " +
                              std::to_string(bits) + " bits per pixel");
    }
    std::uint64_t needed = headerSize + (compression == kBitFields && headerSize == kInfoHeaderSize ? kBitFieldMasksSize : 0) +
                           4 * colors + (RowBytes(image.width, bits) + RowBytes(image.width, 1)) * image.height;
    if (data.size() < needed)
        throw FormatError(which + " is cut short: " + std::to_string(data.size()) + " bytes of the " +
                          std::to_string(needed) + " its pixels and mask need");
    image.bitCount = bits;
}

}  // namespace

bool isPngImage(const Bytes& data)
{
    return data.size() >= sizeof kPngSignature && std::equal(kPngSignature, kPngSignature + 8, data.begin());
}

std::vector<IconImage> readIconFile(const Bytes& file)
{
    if (file.size() > kMaxIconFileSize)
        throw FormatError(std::to_string(file.size()) + " bytes, more than the " +
                          std::to_string(kMaxIconFileSize >> 20) + " MiB an icon file may have");
    if (file.size() < kFileHeaderSize || ReadU16Le(file.data()) != 0 ||
        (ReadU16Le(file.data() + 2) != kIconKind && ReadU16Le(file.data() + 2) != kCursorKind))
        throw FormatError("not an icon file (.ico)");
    if (ReadU16Le(file.data() + 2) == kCursorKind)
        throw FormatError("a cursor file, not an icon");
    std::size_t count = ReadU16Le(file.data() + 4);
    if (count == 0)
        throw FormatError("the file holds no image");
    if (file.size() < kFileHeaderSize + count * kFileEntrySize)
        throw FormatError("cut short: the directory of " + std::to_string(count) + " images is incomplete");
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; i++) {
        const std::uint8_t* entry = file.data() + kFileHeaderSize + i * kFileEntrySize;
        IconImage image;
        image.directoryEntry.assign(entry, entry + kEntryFieldsKept);
        image.width = Side(entry[0]);
        image.height = Side(entry[1]);
        image.bitCount = ReadU16Le(entry + 6);
        std::uint32_t size = ReadU32Le(entry + 8);
        std::uint32_t offset = ReadU32Le(entry + 12);
        std::string which = "image " + std::to_string(i + 1) + " (" + Size(image.width, image.height) + ")";
        if (offset > file.size() || size > file.size() - offset)
            throw FormatError("cut short: " + which + " runs past the end of the file");
        if (size == 0)
            throw FormatError(which + " is empty");
        image.data.assign(file.begin() + offset, file.begin() + offset + size);
        image.png = isPngImage(image.data);
        if (image.png)
            ReadPng(image, which);
        else
            ReadBmp(image, which);
        images.push_back(std::move(image));
    }
    return images;
}

Bytes makeIconGroup(const std::vector<IconImage>& images, const std::vector<std::uint16_t>& ids)
{
    Bytes group;
    appendU16(group, 0);
    appendU16(group, kIconKind);
    appendU16(group, static_cast<std::uint16_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); i++) {
        group.insert(group.end(), images[i].directoryEntry.begin(), images[i].directoryEntry.end());
        appendU16(group, ids.at(i));
    }
    return group;
}

std::vector<IconGroupEntry> readIconGroup(const Bytes& group)
{
    if (group.size() < kFileHeaderSize || ReadU16Le(group.data() + 2) != kIconKind)
        throw FormatError("the icon group is damaged");
    std::size_t count = ReadU16Le(group.data() + 4);
    if (group.size() < kFileHeaderSize + count * kGroupEntrySize)
        throw FormatError("the icon group is damaged");
    std::vector<IconGroupEntry> entries;
    for (std::size_t i = 0; i < count; i++) {
        const std::uint8_t* entry = group.data() + kFileHeaderSize + i * kGroupEntrySize;
        entries.push_back({Side(entry[0]), Side(entry[1]), ReadU16Le(entry + 6), ReadU32Le(entry + 8),
                           ReadU16Le(entry + 12)});
    }
    return entries;
}

}  // namespace packaging
