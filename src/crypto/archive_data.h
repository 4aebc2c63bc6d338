// The one read through which all compressed entry data pass. While no cipher
// is active it is a plain read; with one, the data are decrypted on the way.
#pragma once
#include <stdint.h>

#include "../platform/sys_file.h"

// Same contract as a synchronous ReadFile: nonzero on success, 0 on failure;
// *got receives the number of bytes read.
int ReadArchiveData(SysFile file, void* buffer, uint32_t count, uint32_t* got);
