// Making icon images and files of one colour for tests.
#include "support/icon_builder.h"

#include <zlib.h>

namespace packaging {

namespace {

constexpr std::size_t kIcoHeaderSize = 6;
constexpr std::size_t kIcoEntrySize = 16;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr unsigned kPaletteColours = 16;   // of a 4-bit image

void AppendU32Be(Bytes& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void AppendChunk(Bytes& png, const char* type, const Bytes& data)
{
    AppendU32Be(png, static_cast<std::uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    AppendU32Be(png, static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

Bytes MakePng(const TestIconImage& image)
{
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    AppendU32Be(header, image.side);
    AppendU32Be(header, image.side);
    header.insert(header.end(), {8, 6, 0, 0, 0});   // 8 bits, RGBA, deflate, no filter, no interlace
    AppendChunk(png, "IHDR", header);
    Bytes rows;
    for (unsigned y = 0; y < image.side; y++) {
        rows.push_back(0);   // no filter
        for (unsigned x = 0; x < image.side; x++)
            rows.insert(rows.end(), {static_cast<std::uint8_t>(image.rgb >> 16), static_cast<std::uint8_t>(image.rgb >> 8),
                                     static_cast<std::uint8_t>(image.rgb), 0xFF});
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    Bytes packed(size);
    compress(packed.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
    packed.resize(size);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", {});
    return png;
}

Bytes MakeBmp(const TestIconImage& image)
{
    unsigned bits = image.bits;
    Bytes bmp;
    appendU32(bmp, kInfoHeaderSize);
    appendU32(bmp, image.side);
    appendU32(bmp, 2 * image.side);
    appendU16(bmp, 1);
    appendU16(bmp, static_cast<std::uint16_t>(bits));
    appendU32(bmp, 0);   // uncompressed
    std::size_t colourRow = (image.side * bits + 31) / 32 * 4;
    std::size_t maskRow = (image.side + 31) / 32 * 4;
    appendU32(bmp, static_cast<std::uint32_t>((colourRow + maskRow) * image.side));
    appendU32(bmp, 0);
    appendU32(bmp, 0);
    appendU32(bmp, 0);   // colours used: all the bit count allows
    appendU32(bmp, 0);
    if (bits == 4) {
        // Colour 1 is the image's; the others stay black.
        for (unsigned i = 0; i < kPaletteColours; i++)
            appendU32(bmp, i == 1 ? image.rgb : 0);
        for (unsigned y = 0; y < image.side; y++)
            for (std::size_t i = 0; i < colourRow; i++)
                bmp.push_back(0x11);
    } else {
        for (unsigned y = 0; y < image.side; y++)
            for (unsigned x = 0; x < image.side; x++)
                appendU32(bmp, 0xFF000000u | image.rgb);
    }
    bmp.resize(bmp.size() + maskRow * image.side, 0);   // every pixel drawn
    return bmp;
}

}  // namespace

Bytes makeIconImage(const TestIconImage& image)
{
    return image.png ? MakePng(image) : MakeBmp(image);
}

Bytes makeIconFile(const std::vector<TestIconImage>& images)
{
    Bytes file;
    appendU16(file, 0);
    appendU16(file, 1);
    appendU16(file, static_cast<std::uint16_t>(images.size()));
    Bytes data;
    std::size_t offset = kIcoHeaderSize + kIcoEntrySize * images.size();
    for (const TestIconImage& image : images) {
        Bytes bytes = makeIconImage(image);
        std::uint8_t side = static_cast<std::uint8_t>(image.side == 256 ? 0 : image.side);
        file.insert(file.end(), {side, side, static_cast<std::uint8_t>(!image.png && image.bits == 4 ? 16 : 0), 0});
        appendU16(file, 1);
        appendU16(file, static_cast<std::uint16_t>(image.png ? 32 : image.bits));
        appendU32(file, static_cast<std::uint32_t>(bytes.size()));
        appendU32(file, static_cast<std::uint32_t>(offset + data.size()));
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

}  // namespace packaging
