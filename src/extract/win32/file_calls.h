// The file-system calls of the extraction, the cleanup and the search for a
// command's program, made through one table of function pointers. The stub
// never changes it; tests point an entry at a stand-in that fails on the
// n-th call, since a full disk or a refused folder cannot be had for real
// under Wine.
#pragma once
#include <windows.h>

struct FileSystemCalls {
    HANDLE(WINAPI* createFile)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* createDirectory)(LPCSTR, LPSECURITY_ATTRIBUTES);
    BOOL(WINAPI* setFileTime)(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*);
    BOOL(WINAPI* deleteFile)(LPCSTR);
    BOOL(WINAPI* removeDirectory)(LPCSTR);
    BOOL(WINAPI* closeHandle)(HANDLE);
    DWORD(WINAPI* getFileAttributes)(LPCSTR);
};

/* The calls in use: the system's own, set at build time. Only tests write
   it, before any worker starts. */
extern FileSystemCalls FileCalls;

// Points every entry of FileCalls at the system's function again; for
// ResetStubState. Code rather than a second table, which the stub would
// carry in its file unused.
void RestoreFileCalls(void);

// The attributes of what stands at path, asked through the table; 0 when
// nothing is there or it cannot be asked about (no real entry has
// attributes of 0: a plain file has FILE_ATTRIBUTE_NORMAL). The one way the
// stub asks, so that "exists" means the same everywhere.
DWORD GetPathAttributes(const char* path);
