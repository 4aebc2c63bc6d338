// Host side of the shared file layer, for the packer and the native tests.
#include "platform/sys_file.h"

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

constexpr uint32_t kReadAheadSize = 65536;

// A buffered file's read position, which its seeks move without the
// system, and two windows of bytes read ahead: the archive readers go
// back and forth between the directory and the entries' data, and one
// window would be read again at every turn.
struct Window {
    uint64_t start = 0;
    uint32_t length = 0;
    uint64_t lastUse = 0;
    uint8_t data[kReadAheadSize];
};
struct ReadAhead {
    uint64_t position = 0;
    uint64_t uses = 0;
    Window windows[2];
};

// The files SysFileBufferReads named, by descriptor; SysFileClose drops
// one before its descriptor can be used again. Any thread may open and
// close files, so the table has a lock; one file is read by one thread at
// a time.
std::mutex ReadAheadLock;
std::unordered_map<int, std::unique_ptr<ReadAhead>> ReadAheads;

int Descriptor(SysFile file)
{
    return (int)(intptr_t)file;
}

ReadAhead* FindReadAhead(SysFile file)
{
    std::lock_guard<std::mutex> hold(ReadAheadLock);
    if (ReadAheads.empty())
        return nullptr;
    auto found = ReadAheads.find(Descriptor(file));
    return found == ReadAheads.end() ? nullptr : found->second.get();
}

// Reads count bytes at position with pread, which leaves the descriptor's
// own position alone; *got as SysFileRead gives it.
int ReadAt(int fd, uint64_t position, uint8_t* buffer, uint32_t count, uint32_t* got)
{
    uint32_t total = 0;
    while (total < count) {
        ssize_t n = pread(fd, buffer + total, count - total, (off_t)(position + total));
        if (n < 0) {
            *got = total;
            return -1;
        }
        if (n == 0)
            break;
        total += (uint32_t)n;
    }
    *got = total;
    return 0;
}

// A read of a buffered file: from a window what it holds, a large rest
// straight into the caller's memory, a small one through the window used
// least recently.
int ReadBuffered(int fd, ReadAhead& ahead, uint8_t* buffer, uint32_t count, uint32_t* got)
{
    uint32_t total = 0;
    while (total < count) {
        Window* hit = nullptr;
        for (Window& window : ahead.windows)
            if (ahead.position >= window.start && ahead.position < window.start + window.length)
                hit = &window;
        if (hit != nullptr) {
            uint64_t available = hit->start + hit->length - ahead.position;
            uint32_t n = available < count - total ? (uint32_t)available : count - total;
            memcpy(buffer + total, hit->data + (ahead.position - hit->start), n);
            hit->lastUse = ++ahead.uses;
            ahead.position += n;
            total += n;
            continue;
        }
        uint32_t n = 0;
        int result;
        if (count - total >= kReadAheadSize) {
            result = ReadAt(fd, ahead.position, buffer + total, count - total, &n);
            ahead.position += n;
            total += n;
        } else {
            Window& oldest = ahead.windows[0].lastUse <= ahead.windows[1].lastUse ? ahead.windows[0] : ahead.windows[1];
            result = ReadAt(fd, ahead.position, oldest.data, kReadAheadSize, &n);
            oldest.start = ahead.position;
            oldest.length = result == 0 ? n : 0;
        }
        if (result != 0) {
            *got = total;
            return -1;
        }
        if (n == 0)
            break;
    }
    *got = total;
    return 0;
}

}  // namespace

void SysFileBufferReads(SysFile file)
{
    if (file == SYS_FILE_INVALID)
        return;
    off_t position = lseek(Descriptor(file), 0, SEEK_CUR);
    std::unique_ptr<ReadAhead> ahead(new ReadAhead);
    ahead->position = position < 0 ? 0 : (uint64_t)position;
    std::lock_guard<std::mutex> hold(ReadAheadLock);
    ReadAheads[Descriptor(file)] = std::move(ahead);
}

SysFile SysFileOpenRead(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    return (SysFile)(intptr_t)fd;
}

void SysFileClose(SysFile file)
{
    if (file == SYS_FILE_INVALID)
        return;
    {
        std::lock_guard<std::mutex> hold(ReadAheadLock);
        ReadAheads.erase(Descriptor(file));
    }
    close(Descriptor(file));
}

int64_t SysFileSeek(SysFile file, int64_t offset, int origin)
{
    ReadAhead* ahead = FindReadAhead(file);
    if (ahead != nullptr && origin != SYS_SEEK_END) {
        if (offset < 0)
            return -1;
        ahead->position = (uint64_t)offset;
        return offset;
    }
    off_t position = lseek((int)(intptr_t)file, (off_t)offset, origin == SYS_SEEK_END ? SEEK_END : SEEK_SET);
    if (position < 0)
        return -1;
    if (ahead != nullptr)
        ahead->position = (uint64_t)position;
    return (int64_t)position;
}

int SysFileRead(SysFile file, void* buffer, uint32_t count, uint32_t* got)
{
    if (ReadAhead* ahead = FindReadAhead(file))
        return ReadBuffered(Descriptor(file), *ahead, (uint8_t*)buffer, count, got);
    uint32_t total = 0;
    // read() may return less than asked on a regular file only at its end;
    // loop anyway so that the result means the same as ReadFile's.
    while (total < count) {
        ssize_t n = read((int)(intptr_t)file, (char*)buffer + total, count - total);
        if (n < 0) {
            *got = total;
            return -1;
        }
        if (n == 0)
            break;
        total += (uint32_t)n;
    }
    *got = total;
    return 0;
}

uint32_t SysAnsiCodePage(void)
{
    return 1252;
}
