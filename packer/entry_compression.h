// Compressing an entry's data as a package stores it: deflate (zlib) or
// LZMA (liblzma), behind one interface, so that the build writes both
// through the same loop. One compressor serves every entry of a build:
// setting up a fresh one costs more than compressing a small file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "packaging/trailer_writer.h"
#include "packaging/zip_headers.h"

namespace packer {

// How a build compresses its files; each file that does not shrink is
// stored all the same.
enum class Compression { kDeflate, kLzma, kStore };

// The word of the compression setting ("deflate", "lzma", "store").
Compression CompressionNamed(const std::string& word);

// Levels are 0 to 9 for both methods: zlib's levels (0 stores), or
// liblzma's presets.
constexpr int kMinLevel = 0;
constexpr int kMaxLevel = 9;
constexpr int kDefaultLevel = 6;

class EntryCompressor {
  public:
    using Emit = std::function<void(const std::uint8_t* data, std::size_t size)>;

    virtual ~EntryCompressor() = default;
    // The method entries get, and the flag bits that go with it.
    virtual packaging::ZipMethod method() const = 0;
    virtual std::uint16_t flags() const = 0;
    // Starts an entry of size bytes; emits what its data begin with.
    virtual void start(std::uint64_t size, const Emit& emit) = 0;
    // Compresses the next piece of the entry, the last with last set (it
    // may be empty), and emits what comes out. Throws PackerError.
    virtual void compress(const std::uint8_t* data, std::size_t size, bool last, const Emit& emit) = 0;
};

// A compressor for the method at the level; nullptr when the files are
// stored (kStore, or deflate at level 0). Throws PackerError.
std::unique_ptr<EntryCompressor> MakeCompressor(Compression compression, int level);

}  // namespace packer
