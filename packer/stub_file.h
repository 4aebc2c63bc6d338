// The stub a package starts with: found where the packer's package put it
// (or in the build tree), and checked to be a Windows program of the wanted kind that is not
// already a package.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "file_system.h"
#include "packaging/trailer_writer.h"

namespace packer {

enum class StubKind { kAny, k32, k64 };

// A place where build looks for a stub when none is given, relative to the
// packer's own folder, so that it holds wherever the packer is installed.
struct StubPlace {
    const char* folder32;     // '/' between folders
    const char* folder64;
    const char* file32;
    const char* file64;
    const char* what;         // who puts stubs there, for the help
    bool inBuildTreeOnly;     // looked at only when the packer runs from a build tree
};

// The places in the order they are searched: beside the packer, as the
// Windows zip has them; the installed library folder, as the Debian package
// and `cmake --install` put them; then, for a packer in a build tree
// (build/PRESET/bin), the stubs built in the trees beside it.
inline constexpr StubPlace kStubPlaces[] = {
    {".", ".", "sfxstub32.exe", "sfxstub64.exe", "beside sfxpack (the Windows zip)", false},
    {"../lib/sfxpack", "../lib/sfxpack", "sfxstub32.exe", "sfxstub64.exe",
     "the installed library folder (the Debian package, cmake --install)", false},
    {"../../win32/bin", "../../win64/bin", "sfxstub.exe", "sfxstub.exe",
     "the stub builds beside a build tree's sfxpack (build/win32, build/win64)", true},
};

// A place's file for a kind of stub, relative to the packer's folder:
// "../lib/sfxpack/sfxstub64.exe".
std::string StubPlaceFile(const StubPlace& place, bool want64);

// The stub to use: the given file, else the first of kStubPlaces that
// holds one. Throws PackerError naming the places looked at.
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
