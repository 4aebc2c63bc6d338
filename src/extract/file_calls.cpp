// The table of file-system calls, filled with the system's functions.
#include "file_calls.h"

FileSystemCalls FileCalls = {
    CreateFileA, WriteFile, CreateDirectoryA, SetFileTime, DeleteFileA, RemoveDirectoryA, CloseHandle,
    GetFileAttributesA,
};
