// Helpers of the shared file layer that are the same on every platform.
#include "platform/sys_file.h"

int SysFileSeekTo(SysFile file, uint64_t position)
{
    if (position > (uint64_t)INT64_MAX)
        return -1;
    return SysFileSeek(file, (int64_t)position, SYS_SEEK_BEGIN) == (int64_t)position ? 0 : -1;
}

int SysFileReadExact(SysFile file, void* buffer, uint32_t count)
{
    uint32_t got = 0;
    if (SysFileRead(file, buffer, count, &got) != 0)
        return -1;
    return got == count ? 0 : -1;
}
