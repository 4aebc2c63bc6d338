// Random bytes from the operating system's cryptographic source, for salts,
// keys and chaining values of encrypted packages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace packaging {

// Fills `size` bytes; throws std::runtime_error when the source fails. Never
// falls back to a weaker generator.
void systemRandomFill(std::uint8_t* out, std::size_t size);

}  // namespace packaging
