// Making a package: stub, archive and trailer written in one pass to a
// temporary file beside the output, which takes the output's name only once
// it is complete.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "file_system.h"
#include "package_settings.h"
#include "password_input.h"
#include "stub_file.h"

namespace packer {

struct BuildRequest {
    fs::path source;          // a folder, or a ZIP file
    fs::path output;
    fs::path stub;
    fs::path config;          // the config file read for the settings; empty when none
    StubKind stubKind = StubKind::kAny;
    PackageSettings settings;
    PasswordSource password;  // none given: the package is not encrypted
    int level = 6;            // 0 to 9: zlib's levels (0 stores every entry), or liblzma's presets
    bool progress = false;
    bool followLinks = false; // links to folders in a folder source are packed, not skipped
    // Threads that compress entries, the writing one among them; the
    // package is the same bytes whatever their number.
    unsigned threads = 1;
    // No time in the package is later than this (seconds since 1970, UTC):
    // SOURCE_DATE_EPOCH, for builds that give the same bytes on every run.
    std::optional<std::int64_t> latestTime;
};

struct BuildSummary {
    std::uint32_t files = 0;
    std::uint32_t folders = 0;
    std::uint64_t bytes = 0;          // uncompressed
    std::uint64_t archiveSize = 0;
    std::uint64_t packageSize = 0;
    bool encrypted = false;
};

struct SourceEntry;

// The limits known before anything is written: at most 65,535 entries, each
// below 4 GiB, and room below 4 GiB for the stub, the trailer and every
// entry's two headers. What compression makes of the data is checked while
// they are written. Throws PackerError.
void CheckPackageLimits(const std::vector<SourceEntry>& entries, std::uint64_t stubSize, std::uint64_t trailerSize);

// SOURCE_DATE_EPOCH from the environment; nothing when it is unset or
// empty. Throws PackerError when it is not a number of seconds.
std::optional<std::int64_t> SourceDateEpoch();

// Checks everything that can be known before writing (settings, output,
// stub, names, sizes, the delete list), asks for the password, writes.
// Throws PackerError; no file exists under the output's name unless it
// succeeded, and a file that was there before is kept when it fails. Only
// a regular file is ever replaced, and never one of the build's inputs; an
// output that is a link to a file gets the package in that file.
BuildSummary BuildPackage(const BuildRequest& request);

}  // namespace packer
