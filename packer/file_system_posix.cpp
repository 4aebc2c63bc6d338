// The packer's file layer on Linux: descriptors and stat, paths as the
// UTF-8 bytes they are.
#include "file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "file_system_shared.h"
#include "folder_handle.h"
#include "packer_error.h"

namespace packer {

const bool kNamesIgnoreCase = false;

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

void SetDescriptorTime(int fd, DosTime time, const fs::path& path)
{
    struct tm local = TmFromDosTime(time);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = mktime(&local);
    times[1].tv_nsec = 0;
    if (futimens(fd, times) != 0)
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

namespace {

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while name in the folder is still the open file fd.
bool StillNamed(int fd, int folder, const char* name)
{
    struct stat open;
    struct stat named;
    return fstat(fd, &open) == 0 && fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(open, named);
}

fs::path FolderOf(const fs::path& target)
{
    return target.parent_path().empty() ? fs::path(".") : target.parent_path();
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::CreateHiddenBeside(const fs::path& target, const std::string& suffix)
{
    fs::path folder = FolderOf(target);
    std::string name = PathToUtf8(target.filename());
    for (int attempt = 0; attempt < kHiddenNameAttempts; attempt++) {
        fs::path path = folder / PathFromUtf8(HiddenNameCandidate(name, suffix));
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0777);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            Fail("cannot create", path);
        // Held from here on. A run that clears leftovers takes only a file
        // it can lock, and may have taken this one between the open and the
        // lock; then it is gone, and another name is tried. Where the file
        // system has no flock the file goes unlocked, and such runs leave
        // it alone since they cannot lock it either.
        flock(fd, LOCK_EX);
        if (StillNamed(fd, AT_FDCWD, path.c_str()))
            return std::unique_ptr<OutputFile>(new OutputFile(path, fd));
        ::close(fd);
    }
    throw PackerError("cannot create a temporary file beside " + ShownPath(target) + ": every name tried was taken");
}

std::vector<std::string> RemoveStaleHidden(const fs::path& target, const std::string& suffix)
{
    std::vector<std::string> removed;
    DIR* listing = opendir(FolderOf(target).c_str());
    if (listing == nullptr)
        return removed;
    int folder = dirfd(listing);
    std::string name = PathToUtf8(target.filename());
    while (const struct dirent* entry = readdir(listing)) {
        if (!IsHiddenNameFor(entry->d_name, name, suffix))
            continue;
        int fd = openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // The lock is free only when the run that wrote the file has ended;
        // the name is checked again under it, so that nothing else goes.
        struct stat info;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            StillNamed(fd, folder, entry->d_name) && unlinkat(folder, entry->d_name, 0) == 0)
            removed.push_back(entry->d_name);
        ::close(fd);
    }
    closedir(listing);
    return removed;
}

bool FileInUse(const fs::path&)
{
    return false;
}

// The name of a file that is not kept goes again; in a held folder
// relative to it, wherever the folder has been moved since.
static void RemoveUnkept(const fs::path& path, const FolderHandle* folder, const std::string& name)
{
    if (folder != nullptr)
        folder->removeFile(name);
    else
        unlink(path.c_str());
}

// Removed before it is closed: while open, the file is still this run's
// (its lock held), so that no other run can have taken the name meanwhile.
OutputFile::~OutputFile()
{
    if (handle_ != -1) {
        RemoveUnkept(path_, folder_.get(), name_);
        ::close(static_cast<int>(handle_));
    }
}

// Every write names its place (pwrite), so that writing back a header
// needs no seeking there and back; position_ is where the next write goes.
void OutputFile::write(const std::uint8_t* data, std::size_t size)
{
    writeAt(position_, data, size);
    position_ += size;
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
    if (ftruncate(static_cast<int>(handle_), static_cast<off_t>(position)) != 0)
        Fail("cannot truncate", path_);
    position_ = position;
}

void OutputFile::sync()
{
    if (fsync(static_cast<int>(handle_)) != 0)
        Fail("cannot write", path_);
}

void OutputFile::setDosTime(DosTime time)
{
    SetDescriptorTime(static_cast<int>(handle_), time, path_);
}

void OutputFile::close()
{
    int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) != 0) {
        int error = errno;
        RemoveUnkept(path_, folder_.get(), name_);
        throw PackerError("cannot write " + PathToUtf8(path_) + ": " + std::strerror(error));
    }
}

void OutputFile::closeAs(const fs::path& target)
{
    if (rename(path_.c_str(), target.c_str()) != 0)
        throw PackerError("cannot replace " + ShownPath(target) + ": " + LastSystemError());
    // The name is the package's now; closing lets go of the lock.
    ::close(static_cast<int>(handle_));
    handle_ = -1;
    path_ = target;
}

SysFile OpenSysFile(const fs::path& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? SYS_FILE_INVALID : reinterpret_cast<SysFile>(static_cast<std::intptr_t>(fd));
}

FileKind KindOfMode(unsigned mode)
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

bool FolderWithin(const fs::path& inner, const fs::path& outer)
{
    struct stat wanted;
    if (stat(outer.c_str(), &wanted) != 0)
        return false;
    // Up from inner by ".." of each folder opened, as the kernel walks it,
    // until the root, whose ".." is itself.
    int fd = open(inner.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    bool within = false;
    while (fd >= 0) {
        struct stat here;
        if (fstat(fd, &here) != 0)
            break;
        if (SameFile(here, wanted)) {
            within = true;
            break;
        }
        int parent = openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat above;
        bool atRoot = parent < 0 || fstat(parent, &above) != 0 || SameFile(above, here);
        ::close(fd);
        fd = parent;
        if (atRoot)
            break;
    }
    if (fd >= 0)
        ::close(fd);
    return within;
}

fs::path FullPath(const fs::path& path)
{
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error)
        throw PackerError("cannot find the full path of " + ShownPath(path) + ": " + error.message());
    return absolute.lexically_normal();
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

}  // namespace packer
