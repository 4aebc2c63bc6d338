// The packer's subcommands besides build. Each returns the program's exit
// code (0 success, 1 a package that fails) and throws PackerError for
// failures that stop it at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "file_system.h"
#include "password_input.h"

namespace packer {

// Prints the trailer records, the flags, the archive's place and size,
// whether it is encrypted, and the entries, as text or as JSON.
int InspectPackage(const fs::path& package, bool json, std::FILE* out);

// Prints the entries' names, sizes and times, as text or as JSON; no
// password is needed. The closing line is left out under -q.
int ListPackage(const fs::path& package, bool json, std::FILE* out);

// Reads every entry whole and checks it as the stub would. The line for a
// sound package is left out under -q; failures are always listed.
int TestPackage(const fs::path& package, const PasswordSource& password, bool progress, std::FILE* out);

struct ExtractOptions {
    fs::path folder;
    // Only these entries, and the entries inside folders of these names
    // (UTF-8, case ignored as on Windows); empty: every entry.
    std::vector<std::string> names;
    bool overwrite = false;
    bool progress = false;
    // Wait until the files are on the disk, and never let a name stand for
    // a partial file even after a crash. Without it the files are written
    // as unzip and tar write them, and the system puts them on the disk.
    bool sync = false;
    // For tests: called on the extracting thread as each file entry starts
    // (written 0, before its folder is reached) and after each piece of its
    // data is written, with the entry's place in the package and its bytes
    // written so far: moments for a test to change the folder.
    std::function<void(std::size_t entry, std::uint64_t written)> onWrite;
};

// Writes the entries below options.folder, never through a link there. A
// failure leaves the folder as it was: what this run created is removed,
// as the stub removes what it extracted, and files that --overwrite
// replaced come back. The closing line is left out under -q.
int ExtractPackage(const fs::path& package, const PasswordSource& password, const ExtractOptions& options,
                   std::FILE* out);

// "2024-01-31 13:45:08" for a ZIP date and time word (date high, time low).
std::string FormatDosDateTime(std::uint32_t dosDateTime);

}  // namespace packer
