// Helpers of the shared file layer that are the same on every platform.
#include "sys_file.h"

int SysFileReadExact(SysFile file, void* buffer, uint32_t count)
{
    uint32_t got = 0;
    if (SysFileRead(file, buffer, count, &got) != 0)
        return -1;
    return got == count ? 0 : -1;
}
