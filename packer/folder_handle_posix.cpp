// Held folders on Linux: directory descriptors, and every name below them
// reached with the *at calls. O_NOFOLLOW refuses a link at the name
// opened; the name is never joined to a path again.
#include "folder_handle.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "file_system_shared.h"
#include "packer_error.h"

namespace packer {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

FileIdentity IdentityOf(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// A package may hold thousands of folders, and the run keeps each one it
// wrote into open until it ends; the usual soft limit of 1024 descriptors
// is raised to the hard one the first time it is reached.
bool RaiseDescriptorLimit()
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

int OpenAt(int folder, const char* name, int flags, mode_t mode = 0)
{
    int fd = openat(folder, name, flags, mode);
    if (fd < 0 && errno == EMFILE && RaiseDescriptorLimit())
        fd = openat(folder, name, flags, mode);
    return fd;
}

}  // namespace

FolderHandle::FolderHandle(std::intptr_t handle, fs::path path) : handle_(handle), path_(std::move(path))
{
    struct stat info;
    if (fstat(static_cast<int>(handle_), &info) != 0) {
        int error = errno;
        ::close(static_cast<int>(handle_));
        errno = error;
        Fail("cannot read the folder", path_);
    }
    identity_ = IdentityOf(info);
}

FolderHandle::~FolderHandle()
{
    ::close(static_cast<int>(handle_));
}

Folder OpenFolderAt(const fs::path& path)
{
    int fd = OpenAt(AT_FDCWD, path.c_str(), kFolderFlags);
    if (fd < 0)
        Fail("cannot open the folder", path);
    return Folder(new FolderHandle(fd, path));
}

FolderLookup FolderHandle::openFolder(const std::string& name, Folder& folder) const
{
    int fd = OpenAt(static_cast<int>(handle_), name.c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd < 0) {
        int error = errno;
        switch (kindOf(name)) {
        case FileKind::kMissing: return FolderLookup::kMissing;
        case FileKind::kLink: return FolderLookup::kLink;
        case FileKind::kFolder: break;
        default: return FolderLookup::kNotFolder;
        }
        errno = error;
        Fail("cannot open the folder", pathOf(name));
    }
    folder = Folder(new FolderHandle(fd, pathOf(name)));
    return FolderLookup::kOpened;
}

bool FolderHandle::makeFolder(const std::string& name, Folder& folder) const
{
    if (mkdirat(static_cast<int>(handle_), name.c_str(), 0777) != 0) {
        if (errno == EEXIST)
            return false;
        Fail("cannot create the folder", pathOf(name));
    }
    // Between the two calls the new folder can be swapped too; the open
    // refuses a link as it would anywhere.
    if (openFolder(name, folder) != FolderLookup::kOpened)
        throw PackerError(ShownPath(pathOf(name)) + " was replaced right after the packer made it");
    return true;
}

bool FolderHandle::holds(const std::string& name, const FolderHandle& folder) const
{
    struct stat info;
    return fstatat(static_cast<int>(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(info.st_mode) && IdentityOf(info) == folder.identity_;
}

FileKind FolderHandle::kindOf(const std::string& name, FileIdentity* identity) const
{
    struct stat info;
    if (fstatat(static_cast<int>(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing : FileKind::kOther;
    if (identity != nullptr)
        *identity = IdentityOf(info);
    return KindOfMode(info.st_mode);
}

bool FolderHandle::renameNoReplace(const std::string& from, const std::string& to) const
{
    int fd = static_cast<int>(handle_);
    if (renameat2(fd, from.c_str(), fd, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // Some file systems know no RENAME_NOREPLACE. A hard link also fails
    // when the name exists; the old name goes once the link stands.
    if (linkat(fd, from.c_str(), fd, to.c_str(), 0) == 0) {
        unlinkat(fd, from.c_str(), 0);
        return true;
    }
    if (errno == EEXIST)
        return false;
    Fail("cannot rename " + PathToUtf8(pathOf(from)) + " to", pathOf(to));
}

bool FolderHandle::removeFile(const std::string& name) const
{
    return unlinkat(static_cast<int>(handle_), name.c_str(), 0) == 0;
}

bool FolderHandle::removeFolder(const std::string& name) const
{
    return unlinkat(static_cast<int>(handle_), name.c_str(), AT_REMOVEDIR) == 0;
}

void FolderHandle::setDosTime(DosTime time) const
{
    SetDescriptorTime(static_cast<int>(handle_), time, path_);
}

// O_EXCL fails on any name that is taken, a link (even one that leads
// nowhere) included.
OutputFile::OutputFile(std::shared_ptr<const FolderHandle> folder, const std::string& name)
    : path_(folder->pathOf(name)), folder_(std::move(folder)), name_(name)
{
    int fd = OpenAt(static_cast<int>(folder_->native()), name.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        Fail("cannot create", path_);
    handle_ = fd;
}

// One syncfs for each file system instead of an fsync per file: each fsync
// waits for a journal commit of its own, which for many small files costs
// far more than writing them.
void SyncFiles(const std::vector<FileInFolder>& files)
{
    std::set<std::uint64_t> synced;
    for (const FileInFolder& file : files) {
        if (!synced.insert(file.folder->identity().volume).second)
            continue;
        if (syncfs(static_cast<int>(file.folder->native())) != 0)
            Fail("cannot write to the disk the files in", file.folder->path());
    }
}

}  // namespace packer
