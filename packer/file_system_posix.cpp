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

#include "file_system_shared.h"
#include "folder_handle.h"
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

OutputFile::OutputFile(const fs::path& path, bool executable) : path_(path)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, executable ? 0777 : 0666);
    if (fd < 0)
        Fail("cannot create", path);
    handle_ = fd;
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

OutputFile::~OutputFile()
{
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
        RemoveUnkept(path_, folder_.get(), name_);
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

void RenameReplacing(const fs::path& from, const fs::path& to)
{
    if (rename(from.c_str(), to.c_str()) != 0)
        Fail("cannot rename " + PathToUtf8(from) + " to", to);
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
