// The table of file-system calls, filled with the system's functions.
#include "extract/win32/file_calls.h"

FileSystemCalls FileCalls = {
    CreateFileA, ReadFile, WriteFile, CreateDirectoryA, SetFileTime, DeleteFileA, RemoveDirectoryA, CloseHandle,
    GetFileAttributesA,
};

void RestoreFileCalls(void)
{
    FileCalls.createFile = CreateFileA;
    FileCalls.readFile = ReadFile;
    FileCalls.writeFile = WriteFile;
    FileCalls.createDirectory = CreateDirectoryA;
    FileCalls.setFileTime = SetFileTime;
    FileCalls.deleteFile = DeleteFileA;
    FileCalls.removeDirectory = RemoveDirectoryA;
    FileCalls.closeHandle = CloseHandle;
    FileCalls.getFileAttributes = GetFileAttributesA;
}

DWORD GetPathAttributes(const char* path)
{
    DWORD attributes = FileCalls.getFileAttributes(path);
    return attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes;
}
