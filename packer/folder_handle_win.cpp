// Held folders on Windows: handles, and every name below them opened
// relative to its folder's handle with NtCreateFile, which takes a folder
// handle as the root of a name (ntdll is a system DLL; kernel32 has no such
// call). A name is opened with FILE_OPEN_REPARSE_POINT, so that a link is
// the handle itself and never what it leads to, and its kind is read from
// the handle, not from the name. Files are renamed and removed through
// handles too, their new names relative to the folder's handle.
//
// Wine 8 opens what a Unix link leads to even with FILE_OPEN_REPARSE_POINT
// and shows the handle as that folder; only a name tells the link there.
// So a folder's entry is also read from the folder above it, through a
// handle of its own; on Windows that agrees with the handle. Under Wine a
// link put in and taken out again between the two calls goes unnoticed;
// Windows itself never opens through the link.
#include "folder_handle.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

#include "file_system_shared.h"
#include "packer_error.h"
#include "wide_text.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                                               PIO_STATUS_BLOCK status, PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass, BOOLEAN singleEntry,
                                               PUNICODE_STRING fileName, BOOLEAN restartScan);

namespace packer {

namespace {

constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034L);
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003AL);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103L);
constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BAL);

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The longest name the NT calls take: its length in bytes is a USHORT.
constexpr std::size_t kMaxNameCharacters = 32767;
// The longest name of one file or folder that NTFS and FAT allow.
constexpr std::size_t kMaxComponentCharacters = 255;

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// Closes a handle at the end of a scope unless it was handed on.
class HandleCloser {
  public:
    explicit HandleCloser(HANDLE handle) : handle_(handle) {}
    ~HandleCloser()
    {
        if (handle_ != nullptr)
            CloseHandle(handle_);
    }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;
    HANDLE release()
    {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

  private:
    HANDLE handle_;
};

// One name, as the NT calls take it.
class NtName {
  public:
    explicit NtName(const std::string& utf8) : wide_(Utf8ToWide(utf8))
    {
        if (wide_.size() > kMaxNameCharacters)
            wide_.resize(kMaxNameCharacters);   // the call then fails on a name that is not there
        text_.Buffer = wide_.data();
        text_.Length = text_.MaximumLength = static_cast<USHORT>(wide_.size() * sizeof(wchar_t));
    }
    UNICODE_STRING* text() { return &text_; }
    const std::wstring& wide() const { return wide_; }

  private:
    std::wstring wide_;
    UNICODE_STRING text_;
};

[[noreturn]] void FailStatus(const std::string& what, const fs::path& path, NTSTATUS status)
{
    SetLastError(RtlNtStatusToDosError(status));
    Fail(what, path);
}

// Opens `name` relative to the folder handle. Names compare without regard
// to case, as Windows' own calls compare them.
NTSTATUS OpenRelative(HANDLE folder, const std::string& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, HANDLE* handle)
{
    NtName text(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, text.text(), OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status;
    *handle = nullptr;
    return NtCreateFile(handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                        disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

bool IsMissingStatus(NTSTATUS status)
{
    return status == kNameNotFound || status == kPathNotFound;
}

FileIdentity IdentityOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return {};
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// True when the folder's own entry for `name`, read from a handle of its
// own, is a link. For Wine (see the top of the file).
bool EntryIsLink(HANDLE folder, const std::string& name)
{
    HANDLE listing = ReOpenFile(folder, FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    HandleCloser closer(listing);
    NtName text(name);
    // One entry: its fixed part and a name as long as file systems allow.
    std::uint64_t buffer[(sizeof(FILE_FULL_DIR_INFORMATION) + kMaxComponentCharacters * sizeof(wchar_t)) / 8 + 1];
    IO_STATUS_BLOCK status;
    if (!NT_SUCCESS(NtQueryDirectoryFile(listing, nullptr, nullptr, nullptr, &status, buffer, sizeof buffer,
                                         FileFullDirectoryInformation, TRUE, text.text(), TRUE)))
        return false;
    const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFORMATION*>(buffer);
    // A name with wildcards could have matched another entry.
    std::wstring found(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
    if (CompareStringOrdinal(found.data(), static_cast<int>(found.size()), text.wide().data(),
                             static_cast<int>(text.wide().size()), TRUE) != CSTR_EQUAL)
        return false;
    // The entry's EaSize holds the reparse tag of a reparse point.
    return (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(entry->EaSize);
}

}  // namespace

FolderHandle::FolderHandle(std::intptr_t handle, fs::path path)
    : handle_(handle), path_(std::move(path)), identity_(IdentityOf(AsHandle(handle)))
{
}

FolderHandle::~FolderHandle()
{
    CloseHandle(AsHandle(handle_));
}

Folder OpenFolderAt(const fs::path& path)
{
    HANDLE folder = CreateFileW(path.c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        Fail("cannot open the folder", path);
    return Folder(new FolderHandle(reinterpret_cast<std::intptr_t>(folder), path));
}

FolderLookup FolderHandle::openFolder(const std::string& name, Folder& folder) const
{
    HANDLE opened;
    NTSTATUS status = OpenRelative(AsHandle(handle_), name, kFolderAccess, kShareAll, FILE_OPEN,
                                   FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, &opened);
    if (IsMissingStatus(status))
        return FolderLookup::kMissing;
    if (status == kNotADirectory)
        return kindOf(name) == FileKind::kLink ? FolderLookup::kLink : FolderLookup::kNotFolder;
    if (!NT_SUCCESS(status))
        FailStatus("cannot open the folder", pathOf(name), status);
    HandleCloser closer(opened);
    FileKind kind = KindOfOpenFile(reinterpret_cast<std::intptr_t>(opened));
    if (kind == FileKind::kLink || EntryIsLink(AsHandle(handle_), name))
        return FolderLookup::kLink;
    if (kind != FileKind::kFolder)
        return FolderLookup::kNotFolder;
    folder = Folder(new FolderHandle(reinterpret_cast<std::intptr_t>(closer.release()), pathOf(name)));
    return FolderLookup::kOpened;
}

bool FolderHandle::makeFolder(const std::string& name, Folder& folder) const
{
    HANDLE made;
    NTSTATUS status =
        OpenRelative(AsHandle(handle_), name, kFolderAccess, kShareAll, FILE_CREATE, FILE_DIRECTORY_FILE, &made);
    if (status == kNameCollision)
        return false;
    if (!NT_SUCCESS(status))
        FailStatus("cannot create the folder", pathOf(name), status);
    folder = Folder(new FolderHandle(reinterpret_cast<std::intptr_t>(made), pathOf(name)));
    return true;
}

bool FolderHandle::holds(const std::string& name, const FolderHandle& folder) const
{
    Folder now;
    try {
        return openFolder(name, now) == FolderLookup::kOpened && now->identity_ == folder.identity_;
    } catch (const PackerError&) {
        return false;
    }
}

FileKind FolderHandle::kindOf(const std::string& name, FileIdentity* identity) const
{
    HANDLE opened;
    NTSTATUS status = OpenRelative(AsHandle(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                                   FILE_OPEN_REPARSE_POINT, &opened);
    if (IsMissingStatus(status))
        return FileKind::kMissing;
    if (!NT_SUCCESS(status))
        return FileKind::kOther;
    HandleCloser closer(opened);
    FileKind kind = KindOfOpenFile(reinterpret_cast<std::intptr_t>(opened));
    if (kind == FileKind::kFolder && EntryIsLink(AsHandle(handle_), name))
        return FileKind::kLink;
    if (identity != nullptr)
        *identity = IdentityOf(opened);
    return kind;
}

bool FolderHandle::renameNoReplace(const std::string& from, const std::string& to) const
{
    HANDLE file;
    NTSTATUS status =
        OpenRelative(AsHandle(handle_), from, DELETE, kShareAll, FILE_OPEN, FILE_OPEN_REPARSE_POINT, &file);
    if (!NT_SUCCESS(status))
        FailStatus("cannot rename " + PathToUtf8(pathOf(from)) + " to", pathOf(to), status);
    HandleCloser closer(file);
    std::wstring wide = Utf8ToWide(to);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFORMATION) + wide.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = AsHandle(handle_);
    rename->FileNameLength = static_cast<ULONG>(wide.size() * sizeof(wchar_t));
    std::copy(wide.begin(), wide.end(), rename->FileName);
    IO_STATUS_BLOCK io;
    status = NtSetInformationFile(file, &io, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation);
    if (status == kNameCollision || status == kFileIsADirectory)
        return false;
    if (!NT_SUCCESS(status))
        FailStatus("cannot rename " + PathToUtf8(pathOf(from)) + " to", pathOf(to), status);
    return true;
}

// Opened for deletion with FILE_OPEN_REPARSE_POINT: a link goes itself,
// never what it leads to.
static bool RemoveRelative(HANDLE folder, const std::string& name, ULONG kind, ACCESS_MASK access = DELETE)
{
    HANDLE opened;
    NTSTATUS status = OpenRelative(folder, name, access, kShareAll, FILE_OPEN, kind | FILE_OPEN_REPARSE_POINT, &opened);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));   // for the caller's message
        return false;
    }
    HandleCloser closer(opened);
    FILE_DISPOSITION_INFO remove = {TRUE};
    if (SetFileInformationByHandle(opened, FileDispositionInfo, &remove, sizeof remove))
        return true;
    DWORD error = GetLastError();
    // Windows deletes no read-only file; the file to remove (the old copy
    // of a replaced one) goes whatever its attributes, and keeps them when
    // it cannot go all the same.
    FILE_BASIC_INFO basic;
    if (!(access & FILE_WRITE_ATTRIBUTES) ||
        !GetFileInformationByHandleEx(opened, FileBasicInfo, &basic, sizeof basic) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(error);
        return false;
    }
    // Attributes of zero would leave them as they are.
    DWORD rest = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    FILE_BASIC_INFO writable = {};
    writable.FileAttributes = rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(opened, FileBasicInfo, &writable, sizeof writable) &&
        SetFileInformationByHandle(opened, FileDispositionInfo, &remove, sizeof remove))
        return true;
    error = GetLastError();
    FILE_BASIC_INFO before = {};
    before.FileAttributes = basic.FileAttributes;
    SetFileInformationByHandle(opened, FileBasicInfo, &before, sizeof before);
    SetLastError(error);
    return false;
}

bool FolderHandle::removeFile(const std::string& name) const
{
    if (RemoveRelative(AsHandle(handle_), name, FILE_NON_DIRECTORY_FILE))
        return true;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return false;
    return RemoveRelative(AsHandle(handle_), name, FILE_NON_DIRECTORY_FILE,
                          DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
}

bool FolderHandle::removeFolder(const std::string& name) const
{
    return RemoveRelative(AsHandle(handle_), name, FILE_DIRECTORY_FILE);
}

void FolderHandle::setDosTime(DosTime time) const
{
    // The folder is held with the rights to look into it only; a time
    // needs its own handle.
    HANDLE writable = ReOpenFile(AsHandle(handle_), FILE_WRITE_ATTRIBUTES, kShareAll,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (writable == INVALID_HANDLE_VALUE)
        Fail("cannot set the time of", path_);
    HandleCloser closer(writable);
    SetHandleTime(reinterpret_cast<std::intptr_t>(writable), time, path_);
}

// Windows flushes a whole volume only for administrators; one file at a
// time needs no rights beyond writing it.
void SyncFiles(const std::vector<FileInFolder>& files)
{
    for (const FileInFolder& file : files) {
        HANDLE opened;
        NTSTATUS status = OpenRelative(AsHandle(file.folder->native()), file.name, GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                                       FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, &opened);
        if (!NT_SUCCESS(status))
            FailStatus("cannot write", file.folder->pathOf(file.name), status);
        BOOL flushed = FlushFileBuffers(opened);
        CloseHandle(opened);
        if (!flushed)
            Fail("cannot write", file.folder->pathOf(file.name));
    }
}

// Created relative to the folder's handle: FILE_CREATE fails on any name
// that is taken, a link (even one that leads nowhere) included.
OutputFile::OutputFile(std::shared_ptr<const FolderHandle> folder, const std::string& name)
    : path_(folder->pathOf(name)), folder_(std::move(folder)), name_(name)
{
    HANDLE file;
    NTSTATUS status = OpenRelative(AsHandle(folder_->native()), name, GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                                   FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, &file);
    if (!NT_SUCCESS(status))
        FailStatus("cannot create", path_, status);
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

}  // namespace packer
