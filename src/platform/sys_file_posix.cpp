// Host side of the shared file layer, for the packer and the native tests.
#include "platform/sys_file.h"

#include <fcntl.h>
#include <unistd.h>

SysFile SysFileOpenRead(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    return (SysFile)(intptr_t)fd;
}

void SysFileClose(SysFile file)
{
    if (file != SYS_FILE_INVALID)
        close((int)(intptr_t)file);
}

int64_t SysFileSeek(SysFile file, int64_t offset, int origin)
{
    off_t position = lseek((int)(intptr_t)file, (off_t)offset, origin == SYS_SEEK_END ? SEEK_END : SEEK_SET);
    return position < 0 ? -1 : (int64_t)position;
}

int SysFileRead(SysFile file, void* buffer, uint32_t count, uint32_t* got)
{
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
