// The packer's file layer on Linux: descriptors and stat, paths as the
// UTF-8 bytes they are.
#include "file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

#include "file_system_shared.h"
#include "packer_error.h"

namespace packer {

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

}  // namespace packer
