// The packer's file layer: UTF-8 paths on both systems, files read and
// written in pieces, local DOS times, renames that do or do not replace, and
// the read handles the stub's shared readers take. Everything that differs
// between Linux and Windows is behind this header: file_system_win.cpp and
// file_system_posix.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sys_file.h"

namespace packer {

namespace fs = std::filesystem;

// The packer keeps paths as UTF-8 text; these convert at the edge.
fs::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const fs::path& path);
// A path as messages show it: UTF-8, control characters escaped.
std::string ShownPath(const fs::path& path);

// A ZIP date and time: the local time in two-second steps, 1980 to 2107.
struct DosTime {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
};

// Local time is the zone in the environment variable TZ when it is set (on
// Windows as its C runtime reads TZ: a name, an offset west of UTC in hours,
// and perhaps a daylight saving name, "UTC0" or "CET-1CEST"), else the
// system's zone.

// The last-write time of a file or folder; times outside the DOS range are
// clamped to its ends. Throws PackerError.
DosTime FileDosTime(const fs::path& path);
// A time in seconds since 1970 (UTC) as a local DOS time, clamped likewise.
DosTime LocalDosTime(std::int64_t seconds);

// Orders DOS times: date first, then time of day.
inline std::uint32_t DosTimeValue(DosTime time)
{
    return static_cast<std::uint32_t>(time.date) << 16 | time.time;
}

// An environment variable's value in UTF-8; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const std::string& name);

// A file read from start to end. Throws PackerError naming the file.
class InputFile {
  public:
    explicit InputFile(const fs::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Fills up to size bytes; fewer only at the end of the file.
    std::size_t read(std::uint8_t* buffer, std::size_t size);

  private:
    fs::path path_;
    std::intptr_t handle_;
};

class FolderHandle;

// A file created for writing, never one that exists already. The owner
// either commits it with close() or closeAs(), or lets it be removed when
// destroyed.
class OutputFile {
  public:
    // A program (the package) written beside target under a hidden name
    // that nothing has yet, "." name "." number suffix, which takes target's
    // name with closeAs() once complete. It is hidden on Windows as its
    // leading dot hides it on Linux, given the execute bits the umask
    // allows, and held for this run alone until it is closed (opened without
    // sharing on Windows, under an flock on Linux), so that another run can
    // tell it from the leftover of one that was killed (RemoveStaleHidden).
    static std::unique_ptr<OutputFile> CreateHiddenBeside(const fs::path& target, const std::string& suffix);
    // The file `name` in a held folder, created relative to its handle; a
    // link at that name is refused like any other name that is taken.
    OutputFile(std::shared_ptr<const FolderHandle> folder, const std::string& name);
    ~OutputFile();   // an open file is closed and deleted
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size);
    std::uint64_t position() const { return position_; }
    // Overwrites bytes that were written before; the position stays.
    void writeAt(std::uint64_t position, const std::uint8_t* data, std::size_t size);
    // Moves back to an earlier position and drops everything after it.
    void truncateTo(std::uint64_t position);
    // Waits until what was written is on the disk.
    void sync();
    // Sets the last-write time from a DOS time, read as local time as the
    // stub reads it. Throws PackerError.
    void setDosTime(DosTime time);
    // Closes; the file stays. Its data may still be on their way to the
    // disk: sync() first where a crash must not leave a partial file.
    void close();
    // For a file from CreateHiddenBeside: gives it target's name, replacing
    // what is there, no longer hidden, and closes it; it stays held until it
    // has its name. Throws PackerError naming target ("it is in use" when
    // Windows keeps a running program or an open file from being
    // replaced); the file is then still this object's, and goes with it.
    void closeAs(const fs::path& target);
    const fs::path& path() const { return path_; }

  private:
    OutputFile(fs::path path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}

    fs::path path_;
    std::intptr_t handle_;
    std::uint64_t position_ = 0;
    // Set for a file in a held folder: it is removed relative to the folder.
    std::shared_ptr<const FolderHandle> folder_;
    std::string name_;
};

// The hidden names a file is written under before it takes its own, one a
// call: "." name "." a fresh number suffix, from the UTF-8 name.
std::string HiddenNameCandidate(const std::string& name, const std::string& suffix);
// True when candidate is such a hidden name for name and suffix. On Windows
// names compare without regard to case, as its file systems compare them.
bool IsHiddenNameFor(const std::string& candidate, const std::string& name, const std::string& suffix);

// Removes the hidden files beside target that CreateHiddenBeside made for
// it and that no running process holds: the leftovers of runs that were
// killed. Only regular files right beside target, never a link; what
// cannot be taken is left alone. Returns the names removed.
std::vector<std::string> RemoveStaleHidden(const fs::path& target, const std::string& suffix);

// True when another process holds the file so that it cannot be replaced
// now: on Windows a running program or a file opened without sharing; on
// Linux never, as a rename replaces a file whoever has it open.
bool FileInUse(const fs::path& path);

// A read handle for the shared readers (trailer, archive), opened like the
// stub opens itself; SYS_FILE_INVALID when the file cannot be opened.
SysFile OpenSysFile(const fs::path& path);

// Owns a handle from OpenSysFile and closes it.
class SysFileHolder {
  public:
    explicit SysFileHolder(SysFile file = SYS_FILE_INVALID) : file_(file) {}
    ~SysFileHolder() { SysFileClose(file_); }
    SysFileHolder(const SysFileHolder&) = delete;
    SysFileHolder& operator=(const SysFileHolder&) = delete;
    SysFile get() const { return file_; }
    bool valid() const { return file_ != SYS_FILE_INVALID; }

  private:
    SysFile file_;
};

// What a name in the file system stands for.
enum class FileKind {
    kMissing,
    kFile,     // a regular file
    kFolder,
    kLink,     // a symbolic link, a junction or another reparse point
    kDevice,   // a character or block device (NUL, CON, /dev/full)
    kPipe,     // a FIFO or named pipe
    kSocket,
    kOther,    // there, but it cannot be told what it is
};

// The kind of the name itself: a link at its end is not followed. On
// Windows a link is anything with FILE_ATTRIBUTE_REPARSE_POINT, since
// std::filesystem there follows links without telling.
FileKind KindOf(const fs::path& path);
// The kind of what a link leads to (the name's own kind when it is none);
// kMissing for a link that leads nowhere.
FileKind KindBehind(const fs::path& path);
// "a folder", "a device" ... for messages.
const char* DescribeKind(FileKind kind);

// The file behind path, whatever name it is reached by: device and inode
// on POSIX, volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};
// Follows links; false when the file cannot be reached.
bool IdentifyFile(const fs::path& path, FileIdentity& identity);

// The path that a link leads to in the end, every link on the way
// followed. Throws PackerError.
fs::path FollowLinks(const fs::path& path);

// True when the folder inner is the folder outer or lies anywhere below
// it. Compared as the file system sees them, never as names: from inner,
// its links followed, each folder up to the root is compared with outer by
// identity, so that neither letter case, 8.3 names, \\?\ or \\.\ prefixes,
// ".." nor links hide the one in the other. False when either cannot be
// reached.
bool FolderWithin(const fs::path& inner, const fs::path& outer);

// The absolute form of path with "." and ".." taken out as the system
// takes them: by the names on Linux; on Windows by GetFullPathNameW, which
// keeps \\?\ and UNC paths whole (std::filesystem's own normalizing takes
// their leading backslashes apart) and writes backslashes only. Throws
// PackerError.
fs::path FullPath(const fs::path& path);

// The text of the last system error (errno or GetLastError()).
std::string LastSystemError();

// The folder of the running program.
fs::path ExecutableFolder();

// True when the stream goes to a terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace packer
