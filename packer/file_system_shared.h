// What the parts of the file layer share: the DOS time arithmetic, the
// failure that names a path, and what the held folders take from the file
// functions of their system. Only file_system*.cpp and folder_handle*.cpp
// include it.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "file_system.h"

namespace packer {

constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;
constexpr DosTime kDosEarliest = {(0 << 9) | (1 << 5) | 1, 0};
constexpr DosTime kDosLatest = {((kDosLastYear - kDosFirstYear) << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29};

// How many hidden names are tried before a run gives up, and the numbers
// they carry: 0 to 999999.
constexpr int kHiddenNameAttempts = 100;
constexpr unsigned kHiddenNumbers = 1000000;
constexpr std::size_t kHiddenNumberDigits = 6;

// True where the file system compares names without regard to case
// (Windows), false where letters must match (Linux).
extern const bool kNamesIgnoreCase;

// Throws PackerError: what was tried, the path and the last system error.
[[noreturn]] void Fail(const std::string& what, const fs::path& path);

// A local time as a DOS time; years outside the DOS range become its ends.
DosTime DosTimeFromParts(int year, int month, int day, int hour, int minute, int second);
DosTime DosTimeFromTm(const struct tm& local);
// A DOS time as local time parts, daylight saving left to the C library.
struct tm TmFromDosTime(DosTime time);

// Linux halves only. The kind of a stat mode.
FileKind KindOfMode(unsigned mode);
// Sets the last-write time of an open file or folder. Throws PackerError
// naming path.
void SetDescriptorTime(int fd, DosTime time, const fs::path& path);

// Windows halves only. Reparse points that stand for another name
// (symbolic links, junctions) are links; others, such as cloud-file
// placeholders, are the files and folders they look like. Wine shows a
// Unix symbolic link to a folder as a reparse point without a tag, so an
// unknown tag counts as a link.
bool IsLinkTag(std::uint32_t tag);
// The kind of an open handle, links by IsLinkTag. A device or a pipe is
// told by the handle's type, as its attributes look like a file's.
FileKind KindOfOpenFile(std::intptr_t handle);
// Sets the last-write time through a handle opened with
// FILE_WRITE_ATTRIBUTES. Throws PackerError naming path.
void SetHandleTime(std::intptr_t handle, DosTime time, const fs::path& path);

}  // namespace packer
