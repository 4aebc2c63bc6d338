// Icon files for tests and fuzz seeds: images of one colour each, as BMP
// (with a 4- or 32-bit colour part and its mask) or as PNG, put together
// as an .ico file lays them out.
#pragma once

#include <cstdint>
#include <vector>

#include "packaging/trailer_writer.h"

namespace packaging {

struct TestIconImage {
    unsigned side = 32;             // width and height, 1 to 256
    std::uint32_t rgb = 0xFF0000;   // every pixel's colour
    bool png = false;
    unsigned bits = 32;             // BMP: 4 or 32
};

// A BMP image of an icon (without a file header) or a PNG image.
Bytes makeIconImage(const TestIconImage& image);

// An .ico file with these images, in this order, right after the directory.
Bytes makeIconFile(const std::vector<TestIconImage>& images);

}  // namespace packaging
