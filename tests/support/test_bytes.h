// Bytes for tests: from a text, made up from a seed in the few kinds the
// tests need (incompressible, letters, text lines, text mixed with noise),
// and files read and written whole under any name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "packaging/trailer_writer.h"

// The bytes of a text, without its terminating zero.
packaging::Bytes B(const std::string& text);

// Bytes drawn from the caller's generator, for tests that draw sizes and
// keys from the same sequence.
packaging::Bytes RandomBytes(std::mt19937& random, std::size_t size);
// Bytes that do not compress, the same for the same seed.
packaging::Bytes NoiseBytes(std::size_t size, std::uint32_t seed);
// Twenty letters in random order: somewhat compressible, different for each seed.
packaging::Bytes SomeBytes(std::size_t size, std::uint32_t seed);
// Numbered text lines: well compressible.
packaging::Bytes TextBytes(std::size_t size);
// Text words mixed with runs of binary noise, as installers hold.
packaging::Bytes MixedBytes(std::size_t size, std::uint32_t seed = 1);

// A file's bytes, read whole; empty when it cannot be read. The path type
// carries names beyond the ANSI code page on Windows as well.
packaging::Bytes ReadBytes(const std::filesystem::path& path);
// Writes the file whole, replacing it; a failure fails the test.
void WriteBytes(const std::filesystem::path& path, const packaging::Bytes& bytes);
