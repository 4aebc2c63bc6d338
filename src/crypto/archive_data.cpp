// Reading entry data from the package file.
#include "archive_data.h"

int ReadArchiveData(SysFile file, void* buffer, uint32_t count, uint32_t* got)
{
    return SysFileRead(file, buffer, count, got) == 0;
}
