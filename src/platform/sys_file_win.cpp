// Windows side of the shared file layer: kernel32 calls, ANSI paths.
#include "platform/sys_file.h"

#include <windows.h>

SysFile SysFileOpenRead(const char* path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    return (SysFile)h;
}

void SysFileClose(SysFile file)
{
    if (file != SYS_FILE_INVALID)
        CloseHandle((HANDLE)file);
}

int64_t SysFileSeek(SysFile file, int64_t offset, int origin)
{
    LARGE_INTEGER distance;
    LARGE_INTEGER position;
    distance.QuadPart = offset;
    DWORD method = origin == SYS_SEEK_END ? FILE_END : FILE_BEGIN;
    if (!SetFilePointerEx((HANDLE)file, distance, &position, method))
        return -1;
    return position.QuadPart;
}

int SysFileRead(SysFile file, void* buffer, uint32_t count, uint32_t* got)
{
    DWORD read = 0;
    BOOL ok = ReadFile((HANDLE)file, buffer, count, &read, NULL);
    *got = read;
    return ok ? 0 : -1;
}

void* SysAlloc(uint32_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void SysFree(void* memory)
{
    if (memory != NULL)
        HeapFree(GetProcessHeap(), 0, memory);
}

void* SysAllocBlock(uint32_t size)
{
    return VirtualAlloc(NULL, size ? size : 1, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void SysFreeBlock(void* block)
{
    if (block != NULL)
        VirtualFree(block, 0, MEM_RELEASE);
}

uint32_t SysAnsiCodePage(void)
{
    return GetACP();
}
