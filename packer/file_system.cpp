// The parts of the packer's file layer that are the same on every system:
// UTF-8 paths, DOS time arithmetic and the names of file kinds.
#include "file_system.h"

#include <random>

#include "file_system_shared.h"
#include "packer_error.h"
#include "text_encoding.h"

namespace packer {

[[noreturn]] void Fail(const std::string& what, const fs::path& path)
{
    throw PackerError(what + " " + PathToUtf8(path) + ": " + LastSystemError());
}

DosTime DosTimeFromParts(int year, int month, int day, int hour, int minute, int second)
{
    if (year < kDosFirstYear)
        return kDosEarliest;
    if (year > kDosLastYear)
        return kDosLatest;
    DosTime dos;
    dos.date = static_cast<std::uint16_t>(((year - kDosFirstYear) << 9) | (month << 5) | day);
    dos.time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    return dos;
}

DosTime DosTimeFromTm(const struct tm& local)
{
    return DosTimeFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                            local.tm_sec);
}

struct tm TmFromDosTime(DosTime time)
{
    struct tm local {};
    local.tm_year = (time.date >> 9) + kDosFirstYear - 1900;
    local.tm_mon = ((time.date >> 5) & 0x0F) - 1;
    local.tm_mday = time.date & 0x1F;
    local.tm_hour = time.time >> 11;
    local.tm_min = (time.time >> 5) & 0x3F;
    local.tm_sec = (time.time & 0x1F) * 2;
    local.tm_isdst = -1;   // whatever daylight saving said on that day
    return local;
}

fs::path PathFromUtf8(std::string_view utf8)
{
    return fs::u8path(utf8.begin(), utf8.end());
}

std::string PathToUtf8(const fs::path& path)
{
    return path.u8string();
}

const char* DescribeKind(FileKind kind)
{
    switch (kind) {
    case FileKind::kMissing: return "nothing";
    case FileKind::kFile: return "a file";
    case FileKind::kFolder: return "a folder";
    case FileKind::kLink: return "a link";
    case FileKind::kDevice: return "a device";
    case FileKind::kPipe: return "a FIFO (named pipe)";
    case FileKind::kSocket: return "a socket";
    default: return "something that is neither file nor folder";
    }
}

std::string HiddenNameCandidate(const std::string& name, const std::string& suffix)
{
    static std::random_device random;
    return "." + name + "." + std::to_string(random() % kHiddenNumbers) + suffix;
}

bool IsHiddenNameFor(const std::string& candidate, const std::string& name, const std::string& suffix)
{
    std::string seen = kNamesIgnoreCase ? FoldNameCase(candidate) : candidate;
    std::string start = "." + (kNamesIgnoreCase ? FoldNameCase(name) : name) + ".";
    std::string end = kNamesIgnoreCase ? FoldNameCase(suffix) : suffix;
    if (seen.size() <= start.size() + end.size() || seen.compare(0, start.size(), start) != 0 ||
        seen.compare(seen.size() - end.size(), end.size(), end) != 0)
        return false;
    std::string number = seen.substr(start.size(), seen.size() - start.size() - end.size());
    return number.size() <= kHiddenNumberDigits && number.find_first_not_of("0123456789") == std::string::npos;
}

std::string ShownPath(const fs::path& path)
{
    return EscapeControls(PathToUtf8(path));
}

}  // namespace packer
