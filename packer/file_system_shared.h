// What the two halves of the file layer share: the DOS time arithmetic and
// the failure that names a path. Only file_system.cpp, file_system_win.cpp
// and file_system_posix.cpp include it.
#pragma once

#include <ctime>
#include <string>

#include "file_system.h"

namespace packer {

constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;
constexpr DosTime kDosEarliest = {(0 << 9) | (1 << 5) | 1, 0};
constexpr DosTime kDosLatest = {((kDosLastYear - kDosFirstYear) << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29};

// Throws PackerError: what was tried, the path and the last system error.
[[noreturn]] void Fail(const std::string& what, const fs::path& path);

// A local time as a DOS time; years outside the DOS range become its ends.
DosTime DosTimeFromParts(int year, int month, int day, int hour, int minute, int second);
DosTime DosTimeFromTm(const struct tm& local);
// A DOS time as local time parts, daylight saving left to the C library.
struct tm TmFromDosTime(DosTime time);

}  // namespace packer
