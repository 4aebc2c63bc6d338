// The stub a package starts with: found next to the packer or in the build
// tree, and checked to be a Windows program of the wanted kind that is not
// already a package.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "file_system.h"
#include "packaging/trailer_writer.h"

namespace packer {

enum class StubKind { kAny, k32, k64 };

// The stub to use: the given file, else sfxstub32.exe or sfxstub64.exe
// next to the packer, else the build tree's build/win32 or build/win64
// bin/sfxstub.exe. Throws PackerError naming the places looked at.
fs::path LocateStub(const std::optional<fs::path>& given, bool want64);

// Reads and checks a stub. Throws PackerError when the file cannot be read,
// is not a Windows program, is not of the wanted kind, or already carries
// a trailer.
packaging::Bytes LoadStub(const fs::path& path, StubKind kind);

// The linker stamps a program with the time it was made. A stamp later
// than latest (seconds since 1970, UTC) becomes latest, and the header's
// checksum, if it has one, is made right again. The stub must be one
// LoadStub accepted.
void ClampStubTime(packaging::Bytes& stub, std::int64_t latest);

// The checksum of a Windows program as its optional header holds it (the
// field itself left out of the sum); 0 when it has no such header.
std::uint32_t PeChecksum(const packaging::Bytes& program);

// The file version a stub carries in its version resource, as "1.2.3" (a
// fourth part only when it is not 0); nothing when it carries none.
std::optional<std::string> StubVersion(const packaging::Bytes& stub);

}  // namespace packer
