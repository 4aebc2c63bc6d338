// The packer's file layer on Windows: wide-character calls, so that every
// UTF-8 path reaches the system whole.
#include "file_system.h"

#include <io.h>
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <vector>

#include "file_system_shared.h"
#include "folder_handle.h"
#include "packer_error.h"
#include "wide_text.h"

namespace packer {

const bool kNamesIgnoreCase = true;

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

void SetHandleTime(std::intptr_t handle, DosTime time, const fs::path& path)
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
    if (!SetFileTime(reinterpret_cast<HANDLE>(handle), nullptr, nullptr, &utc))
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

static fs::path FolderOf(const fs::path& target)
{
    return target.parent_path().empty() ? fs::path(".") : target.parent_path();
}

std::unique_ptr<OutputFile> OutputFile::CreateHiddenBeside(const fs::path& target, const std::string& suffix)
{
    fs::path folder = FolderOf(target);
    std::string name = PathToUtf8(target.filename());
    for (int attempt = 0; attempt < kHiddenNameAttempts; attempt++) {
        fs::path path = folder / PathFromUtf8(HiddenNameCandidate(name, suffix));
        // Without sharing, so that no other run can open it, to delete it
        // or otherwise, while this one holds it; with DELETE, so that it
        // takes its name (closeAs) and goes (the destructor) through this
        // handle.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
            continue;
        if (file == INVALID_HANDLE_VALUE)
            Fail("cannot create", path);
        return std::unique_ptr<OutputFile>(new OutputFile(path, reinterpret_cast<std::intptr_t>(file)));
    }
    throw PackerError("cannot create a temporary file beside " + ShownPath(target) + ": every name tried was taken");
}

// Every file the packer writes is opened with DELETE and goes through its
// own handle: a file in a held folder wherever its folder has been moved
// since, the package's temporary file before it lets go of it.
OutputFile::~OutputFile()
{
    if (handle_ == -1)
        return;
    FILE_DISPOSITION_INFO remove = {TRUE};
    BOOL removed = SetFileInformationByHandle(AsHandle(handle_), FileDispositionInfo, &remove, sizeof remove);
    CloseHandle(AsHandle(handle_));
    if (!removed && folder_ == nullptr)
        DeleteFileW(path_.c_str());
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

void OutputFile::setDosTime(DosTime time)
{
    SetHandleTime(handle_, time, path_);
}

void OutputFile::close()
{
    HANDLE file = AsHandle(handle_);
    handle_ = -1;
    if (!CloseHandle(file)) {
        std::string error = LastSystemError();
        if (folder_ != nullptr)
            folder_->removeFile(name_);
        else
            DeleteFileW(path_.c_str());
        throw PackerError("cannot write " + PathToUtf8(path_) + ": " + error);
    }
}

namespace {

// Why Windows would not let a file take target's name. It refuses to
// replace a running program, a file someone holds open, and a read-only
// file all with "access denied"; only the last can be told by the file.
std::string WhyNotReplaced(const fs::path& target, DWORD code)
{
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
        DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return "it is read-only";
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return "it is in use (is the package running?)";
    }
    SetLastError(code);
    return LastSystemError();
}

}  // namespace

void OutputFile::closeAs(const fs::path& target)
{
    HANDLE file = AsHandle(handle_);
    // Hidden was the temporary name's attribute. Times of zero stay as they are.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic))
        Fail("cannot write", path_);
    // Through the handle, which keeps the file this run's until it has its
    // name, and relative to a handle of the folder both lie in. A bare name
    // with no folder handle is taken from the file's own folder by Windows
    // but from the current folder by Wine; the NT call with the folder as
    // the name's root means the same on both.
    HANDLE folder = CreateFileW(FolderOf(target).c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        Fail("cannot open the folder of", target);
    std::wstring name = target.filename().wstring();
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFORMATION) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    IO_STATUS_BLOCK io;
    NTSTATUS status =
        NtSetInformationFile(file, &io, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation);
    CloseHandle(folder);
    if (!NT_SUCCESS(status)) {
        DWORD code = RtlNtStatusToDosError(status);
        throw PackerError("cannot replace " + ShownPath(target) + ": " + WhyNotReplaced(target, code));
    }
    CloseHandle(file);
    handle_ = -1;
    path_ = target;
}

std::vector<std::string> RemoveStaleHidden(const fs::path& target, const std::string& suffix)
{
    std::vector<std::string> removed;
    fs::path folder = FolderOf(target);
    std::string name = PathToUtf8(target.filename());
    // Windows' wildcards match 8.3 names too; each long name is checked.
    fs::path pattern = folder / PathFromUtf8("." + name + ".*" + suffix);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return removed;
    do {
        std::string found = WideToUtf8(data.cFileName);
        if (!IsHiddenNameFor(found, name, suffix) ||
            (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            continue;
        // For deletion without sharing: refused while the run that writes
        // it, or anything else, holds it open.
        HANDLE file = CreateFileW((folder / data.cFileName).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        FILE_DISPOSITION_INFO remove = {TRUE};
        if (KindOfOpenFile(reinterpret_cast<std::intptr_t>(file)) == FileKind::kFile &&
            SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove))
            removed.push_back(found);
        CloseHandle(file);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return removed;
}

bool FileInUse(const fs::path& path)
{
    // Write and delete access with all sharing granted: refused with a
    // sharing violation only when another handle or a running program's
    // image keeps the file from being replaced. The open changes nothing.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
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

bool IsLinkTag(std::uint32_t tag)
{
    return tag == 0 || IsReparseTagNameSurrogate(tag);
}

static bool IsNameSurrogate(const fs::path& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return true;
    FindClose(find);
    return IsLinkTag(data.dwReserved0);
}

FileKind KindOfOpenFile(std::intptr_t handle)
{
    HANDLE file = AsHandle(handle);
    FILE_ATTRIBUTE_TAG_INFO info;
    switch (GetFileType(file)) {
    case FILE_TYPE_CHAR: return FileKind::kDevice;
    case FILE_TYPE_PIPE: return FileKind::kPipe;
    case FILE_TYPE_DISK:
        if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info))
            return FileKind::kOther;
        if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(info.ReparseTag))
            return FileKind::kLink;
        return (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder : FileKind::kFile;
    default: return FileKind::kOther;
    }
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
    FileKind kind = KindOfOpenFile(reinterpret_cast<std::intptr_t>(file));
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

// A file or folder opened only to look at it, every link followed; no
// access rights, so it conflicts with no other opener.
static HANDLE OpenToLookAt(const fs::path& path)
{
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IdentifyFile(const fs::path& path, FileIdentity& identity)
{
    HANDLE file = OpenToLookAt(path);
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

namespace {

// The path of what path names in the end, as the handle knows it: with
// links and 8.3 names resolved and the letters as stored, "\\?\X:\..." or
// "\\?\UNC\server\share\...". Empty when the system cannot tell.
std::wstring FinalPath(const fs::path& path)
{
    HANDLE file = OpenToLookAt(path);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::wstring buffer(32768, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (n == 0 || n >= buffer.size())
        return {};
    buffer.resize(n);
    return buffer;
}

// How long the root of a final path is, with its closing backslash:
// "\\?\X:\", "\\?\UNC\server\share\" or "\\?\Volume{...}\".
std::size_t FinalPathRootLength(const std::wstring& path)
{
    const std::wstring unc = L"\\\\?\\UNC\\";
    bool share = path.compare(0, unc.size(), unc) == 0;
    std::size_t end = share ? unc.size() : 4;
    for (int names = share ? 2 : 1; names > 0; names--) {
        end = path.find(L'\\', end);
        if (end == std::wstring::npos)
            return path.size();
        end++;
    }
    return end;
}

}  // namespace

bool FolderWithin(const fs::path& inner, const fs::path& outer)
{
    // Both by their final paths: a volume reached under two names (Wine's
    // drive letters overlap) then shows the same serial number on both.
    std::wstring path = FinalPath(inner);
    std::wstring outerPath = FinalPath(outer);
    FileIdentity wanted;
    if (path.empty() || outerPath.empty() || !IdentifyFile(fs::path(outerPath), wanted))
        return false;
    // Windows has no ".." to open from a handle; the final path, which
    // holds no link, 8.3 name or "..", is cut one name at a time instead.
    std::size_t root = FinalPathRootLength(path);
    for (;;) {
        FileIdentity here;
        if (IdentifyFile(fs::path(path), here) && here == wanted)
            return true;
        if (path.size() <= root)
            return false;
        std::size_t cut = path.find_last_of(L'\\');
        path.resize(cut < root ? root : cut);
    }
}

fs::path FullPath(const fs::path& path)
{
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n >= buffer.size()) {
        buffer.resize(n);
        n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    }
    if (n == 0 || n >= buffer.size())
        Fail("cannot find the full path of", path);
    buffer.resize(n);
    return fs::path(buffer);
}

fs::path FollowLinks(const fs::path& path)
{
    std::wstring buffer = FinalPath(path);
    if (buffer.empty())
        Fail("cannot follow the link", path);
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

}  // namespace packer
