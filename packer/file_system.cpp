// The packer's file layer on POSIX and on Windows.
#include "file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

#include "packer_error.h"
#include "text_encoding.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace packer {

namespace {

constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;
constexpr DosTime kDosEarliest = {(0 << 9) | (1 << 5) | 1, 0};
constexpr DosTime kDosLatest = {((kDosLastYear - kDosFirstYear) << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29};

[[noreturn]] void Fail(const std::string& what, const fs::path& path)
{
    throw PackerError(what + " " + PathToUtf8(path) + ": " + LastSystemError());
}

// A local time as a DOS time; years outside the DOS range become its ends.
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

}  // namespace

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

#ifdef _WIN32

std::string LastSystemError()
{
    DWORD code = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text ? WideToUtf8(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

namespace {

constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000;

// The system's conversions know only the system's zone; the C runtime's
// read TZ. They are used when TZ is set, so that it pins the zone here as
// it does on Linux.
bool ZoneFromEnvironment()
{
    static const bool given = [] {
        _tzset();
        return GetEnvironmentVariableW(L"TZ", nullptr, 0) > 0;
    }();
    return given;
}

// False when the system cannot convert the time.
bool DosTimeOfFileTime(const FILETIME& utc, DosTime& dos)
{
    std::uint64_t units = static_cast<std::uint64_t>(utc.dwHighDateTime) << 32 | utc.dwLowDateTime;
    if (ZoneFromEnvironment()) {
        if (units < kFileTimeOf1970) {
            dos = kDosEarliest;
            return true;
        }
        __time64_t seconds = static_cast<__time64_t>((units - kFileTimeOf1970) / kFileTimeUnitsPerSecond);
        const struct tm* local = _localtime64(&seconds);
        dos = local ? DosTimeFromTm(*local) : kDosLatest;
        return true;
    }
    FILETIME local;
    SYSTEMTIME parts;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts))
        return false;
    dos = DosTimeFromParts(parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return true;
}

}  // namespace

DosTime FileDosTime(const fs::path& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        Fail("cannot read the time of", path);
    DosTime dos;
    if (!DosTimeOfFileTime(data.ftLastWriteTime, dos))
        Fail("cannot convert the time of", path);
    return dos;
}

DosTime LocalDosTime(std::int64_t seconds)
{
    if (seconds < 0)
        return kDosEarliest;
    std::uint64_t units = static_cast<std::uint64_t>(seconds) * kFileTimeUnitsPerSecond + kFileTimeOf1970;
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(units);
    utc.dwHighDateTime = static_cast<DWORD>(units >> 32);
    DosTime dos;
    return DosTimeOfFileTime(utc, dos) ? dos : kDosLatest;
}

void SetFileDosTime(const fs::path& path, DosTime time)
{
    FILETIME local;
    FILETIME utc;
    if (ZoneFromEnvironment()) {
        struct tm parts = TmFromDosTime(time);
        std::uint64_t units = static_cast<std::uint64_t>(_mktime64(&parts)) * kFileTimeUnitsPerSecond + kFileTimeOf1970;
        utc.dwLowDateTime = static_cast<DWORD>(units);
        utc.dwHighDateTime = static_cast<DWORD>(units >> 32);
    } else {
        // The same two steps as the stub, so both give a file the same time.
        DosDateTimeToFileTime(time.date, time.time, &local);
        LocalFileTimeToFileTime(&local, &utc);
    }
    // Folders open only with backup semantics.
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot set the time of", path);
    BOOL ok = SetFileTime(file, nullptr, nullptr, &utc);
    CloseHandle(file);
    if (!ok)
        Fail("cannot set the time of", path);
}

static HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

InputFile::InputFile(const fs::path& path) : path_(path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot open", path);
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

InputFile::~InputFile()
{
    CloseHandle(AsHandle(handle_));
}

std::size_t InputFile::read(std::uint8_t* buffer, std::size_t size)
{
    std::size_t total = 0;
    while (total < size) {
        DWORD part = static_cast<DWORD>(std::min<std::size_t>(size - total, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), buffer + total, part, &got, nullptr))
            Fail("cannot read", path_);
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

OutputFile::OutputFile(const fs::path& path, bool) : path_(path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot create", path);
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

OutputFile::~OutputFile()
{
    if (handle_ != -1) {
        CloseHandle(AsHandle(handle_));
        DeleteFileW(path_.c_str());
    }
}

void OutputFile::write(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(AsHandle(handle_), data, part, &written, nullptr) || written != part)
            Fail("cannot write", path_);
        data += part;
        size -= part;
        position_ += part;
    }
}

void OutputFile::writeAt(std::uint64_t position, const std::uint8_t* data, std::size_t size)
{
    std::uint64_t end = position_;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    if (!SetFilePointerEx(AsHandle(handle_), distance, nullptr, FILE_BEGIN))
        Fail("cannot write", path_);
    position_ = position;
    write(data, size);
    distance.QuadPart = static_cast<LONGLONG>(end);
    if (!SetFilePointerEx(AsHandle(handle_), distance, nullptr, FILE_BEGIN))
        Fail("cannot write", path_);
    position_ = end;
}

void OutputFile::truncateTo(std::uint64_t position)
{
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    if (!SetFilePointerEx(AsHandle(handle_), distance, nullptr, FILE_BEGIN) || !SetEndOfFile(AsHandle(handle_)))
        Fail("cannot truncate", path_);
    position_ = position;
}

void OutputFile::sync()
{
    if (!FlushFileBuffers(AsHandle(handle_)))
        Fail("cannot write", path_);
}

void OutputFile::close()
{
    HANDLE file = AsHandle(handle_);
    handle_ = -1;
    if (!CloseHandle(file)) {
        std::string error = LastSystemError();
        DeleteFileW(path_.c_str());
        throw PackerError("cannot write " + PathToUtf8(path_) + ": " + error);
    }
}

// Windows flushes a whole volume only for administrators; one file at a
// time needs no rights beyond writing it.
void SyncFiles(const std::vector<fs::path>& files)
{
    for (const fs::path& path : files) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Fail("cannot write", path);
        BOOL flushed = FlushFileBuffers(file);
        CloseHandle(file);
        if (!flushed)
            Fail("cannot write", path);
    }
}

void RenameReplacing(const fs::path& from, const fs::path& to)
{
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail("cannot rename " + PathToUtf8(from) + " to", to);
}

bool RenameNoReplace(const fs::path& from, const fs::path& to)
{
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        return false;
    Fail("cannot rename " + PathToUtf8(from) + " to", to);
}

SysFile OpenSysFile(const fs::path& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? SYS_FILE_INVALID : static_cast<SysFile>(file);
}

static bool IsMissingError(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME;
}

// Reparse points that stand for another name (symbolic links, junctions)
// are links; others, such as cloud-file placeholders, are the files and
// folders they look like. Wine shows a Unix symbolic link to a folder as a
// reparse point without a tag, so an unknown tag counts as a link.
static bool IsNameSurrogate(const fs::path& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return true;
    FindClose(find);
    return data.dwReserved0 == 0 || IsReparseTagNameSurrogate(data.dwReserved0);
}

static FileKind KindOfName(const fs::path& path, bool followLink)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && IsMissingError(GetLastError()))
        return FileKind::kMissing;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !followLink
        && IsNameSurrogate(path))
        return FileKind::kLink;
    // Devices (NUL, CON) carry the attributes of a plain file, and pipes
    // (under Wine also FIFOs) none at all: only a handle's type tells them
    // apart. Opening without access rights conflicts with no other opener.
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (IsMissingError(GetLastError()))
            return FileKind::kMissing;   // a link that leads nowhere
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return FileKind::kOther;
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder : FileKind::kFile;
    }
    FileKind kind = FileKind::kOther;
    BY_HANDLE_FILE_INFORMATION info;
    switch (GetFileType(file)) {
    case FILE_TYPE_CHAR: kind = FileKind::kDevice; break;
    case FILE_TYPE_PIPE: kind = FileKind::kPipe; break;
    case FILE_TYPE_DISK:
        if (GetFileInformationByHandle(file, &info))
            kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder : FileKind::kFile;
        break;
    default: break;
    }
    CloseHandle(file);
    return kind;
}

FileKind KindOf(const fs::path& path)
{
    return KindOfName(path, false);
}

FileKind KindBehind(const fs::path& path)
{
    return KindOfName(path, true);
}

bool IdentifyFile(const fs::path& path, FileIdentity& identity)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL known = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!known)
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

fs::path FollowLinks(const fs::path& path)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot follow the link", path);
    std::wstring buffer(32768, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (n == 0 || n >= buffer.size())
        Fail("cannot follow the link", path);
    buffer.resize(n);
    // Without the \\?\ prefix the path reads as the user would write it;
    // it stays where the path is too long to be used without it.
    const std::wstring unc = L"\\\\?\\UNC\\";
    const std::wstring local = L"\\\\?\\";
    if (buffer.size() < MAX_PATH && buffer.compare(0, unc.size(), unc) == 0)
        return fs::path(L"\\\\" + buffer.substr(unc.size()));
    bool drive = buffer.size() > local.size() + 1 && buffer[local.size() + 1] == L':';
    if (buffer.size() < MAX_PATH && buffer.compare(0, local.size(), local) == 0 && drive)
        return fs::path(buffer.substr(local.size()));
    return fs::path(buffer);
}

fs::path ExecutableFolder()
{
    std::wstring buffer(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return fs::path(buffer).parent_path();
}

bool IsTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

std::optional<std::string> EnvironmentVariable(const std::string& name)
{
    std::wstring wideName = Utf8ToWide(name);
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(wideName.c_str(), &value[0], size));
    return WideToUtf8(value);
}

#else

std::string LastSystemError()
{
    return std::strerror(errno);
}

DosTime LocalDosTime(std::int64_t seconds)
{
    time_t value = static_cast<time_t>(seconds);
    struct tm local;
    if (localtime_r(&value, &local) == nullptr)
        return seconds < 0 ? kDosEarliest : kDosLatest;
    return DosTimeFromTm(local);
}

DosTime FileDosTime(const fs::path& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        Fail("cannot read the time of", path);
    return LocalDosTime(info.st_mtime);
}

void SetFileDosTime(const fs::path& path, DosTime time)
{
    struct tm local = TmFromDosTime(time);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = mktime(&local);
    times[1].tv_nsec = 0;
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        Fail("cannot set the time of", path);
}

InputFile::InputFile(const fs::path& path) : path_(path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        Fail("cannot open", path);
    handle_ = fd;
}

InputFile::~InputFile()
{
    ::close(static_cast<int>(handle_));
}

std::size_t InputFile::read(std::uint8_t* buffer, std::size_t size)
{
    std::size_t total = 0;
    while (total < size) {
        ssize_t got = ::read(static_cast<int>(handle_), buffer + total, size - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Fail("cannot read", path_);
        }
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

OutputFile::OutputFile(const fs::path& path, bool executable) : path_(path)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, executable ? 0777 : 0666);
    if (fd < 0)
        Fail("cannot create", path);
    handle_ = fd;
}

OutputFile::~OutputFile()
{
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
        unlink(path_.c_str());
    }
}

void OutputFile::write(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(static_cast<int>(handle_), data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail("cannot write", path_);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        position_ += static_cast<std::uint64_t>(written);
    }
}

void OutputFile::writeAt(std::uint64_t position, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = pwrite(static_cast<int>(handle_), data, size, static_cast<off_t>(position));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail("cannot write", path_);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        position += static_cast<std::uint64_t>(written);
    }
}

void OutputFile::truncateTo(std::uint64_t position)
{
    if (lseek(static_cast<int>(handle_), static_cast<off_t>(position), SEEK_SET) < 0
        || ftruncate(static_cast<int>(handle_), static_cast<off_t>(position)) != 0)
        Fail("cannot truncate", path_);
    position_ = position;
}

void OutputFile::sync()
{
    if (fsync(static_cast<int>(handle_)) != 0)
        Fail("cannot write", path_);
}

void OutputFile::close()
{
    int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) != 0) {
        int error = errno;
        unlink(path_.c_str());
        throw PackerError("cannot write " + PathToUtf8(path_) + ": " + std::strerror(error));
    }
}

// One syncfs for each file system instead of an fsync per file: each fsync
// waits for a journal commit of its own, which for many small files costs
// far more than writing them.
void SyncFiles(const std::vector<fs::path>& files)
{
    std::set<fs::path> folders;
    for (const fs::path& file : files)
        folders.insert(file.parent_path().empty() ? fs::path(".") : file.parent_path());
    std::set<dev_t> synced;
    for (const fs::path& folder : folders) {
        int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info;
        if (fd < 0 || fstat(fd, &info) != 0) {
            int error = errno;
            if (fd >= 0)
                ::close(fd);
            errno = error;
            Fail("cannot open the folder", folder);
        }
        int result = synced.insert(info.st_dev).second ? syncfs(fd) : 0;
        int error = errno;
        ::close(fd);
        if (result != 0) {
            errno = error;
            Fail("cannot write to the disk the files in", folder);
        }
    }
}

void RenameReplacing(const fs::path& from, const fs::path& to)
{
    if (rename(from.c_str(), to.c_str()) != 0)
        Fail("cannot rename " + PathToUtf8(from) + " to", to);
}

bool RenameNoReplace(const fs::path& from, const fs::path& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // Some file systems know no RENAME_NOREPLACE. A hard link also fails
    // when the name exists; the temporary name goes once the link stands.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    Fail("cannot rename " + PathToUtf8(from) + " to", to);
}

SysFile OpenSysFile(const fs::path& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? SYS_FILE_INVALID : reinterpret_cast<SysFile>(static_cast<std::intptr_t>(fd));
}

static FileKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::kFile;
    if (S_ISDIR(mode))
        return FileKind::kFolder;
    if (S_ISLNK(mode))
        return FileKind::kLink;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::kDevice;
    if (S_ISFIFO(mode))
        return FileKind::kPipe;
    if (S_ISSOCK(mode))
        return FileKind::kSocket;
    return FileKind::kOther;
}

FileKind KindOf(const fs::path& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing : FileKind::kOther;
    return KindOfMode(info.st_mode);
}

FileKind KindBehind(const fs::path& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing : FileKind::kOther;
    return KindOfMode(info.st_mode);
}

bool IdentifyFile(const fs::path& path, FileIdentity& identity)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return false;
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.index = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

fs::path FollowLinks(const fs::path& path)
{
    std::error_code error;
    fs::path target = fs::canonical(path, error);
    if (error)
        throw PackerError("cannot follow the link " + PathToUtf8(path) + ": " + error.message());
    return target;
}

fs::path ExecutableFolder()
{
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

std::optional<std::string> EnvironmentVariable(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

#endif

}  // namespace packer
