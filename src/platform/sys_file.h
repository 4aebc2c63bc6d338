// Read-only file access for the code that the stub and the host tools share
// (trailer and archive readers). On Windows it is a thin layer over
// CreateFileA/ReadFile/SetFilePointer; on the host over POSIX descriptors.
// Memory for those readers comes from here as well, so that the shared code
// never reaches for a platform call of its own.
#pragma once
#include <stdint.h>

typedef void* SysFile;                 // a HANDLE on Windows, a descriptor elsewhere
#define SYS_FILE_INVALID ((SysFile)(intptr_t)-1)

enum SysSeekOrigin { SYS_SEEK_BEGIN = 0, SYS_SEEK_END = 2 };

// Opens an existing file for reading, others may read it too.
SysFile SysFileOpenRead(const char* path);
void SysFileClose(SysFile file);

// Moves the read position; returns the new position from the file's start,
// or -1 (also for a position before the start).
int64_t SysFileSeek(SysFile file, int64_t offset, int origin);

// Moves the read position to an absolute offset; 0 when it got there, -1
// otherwise (also for an offset past what an int64_t holds).
int SysFileSeekTo(SysFile file, uint64_t position);

// Reads up to count bytes; *got receives how many arrived. Returns 0, or -1
// when the read itself failed.
int SysFileRead(SysFile file, void* buffer, uint32_t count, uint32_t* got);

// Reads exactly count bytes: 0 when they all arrived, -1 on a failed or short read.
int SysFileReadExact(SysFile file, void* buffer, uint32_t count);

#ifndef _WIN32
// Host tools only: reads of this file from now until SysFileClose go
// through a read-ahead buffer, and seeks cost no system call. The archive
// readers read a directory and each entry's header in pieces of a few
// dozen bytes, each after a seek; for a package of many small files those
// calls cost more than the data. Only for a file that nothing writes while
// it is open, and that is read through these functions alone.
void SysFileBufferReads(SysFile file);
#endif

// Zero-filled memory; null on failure. The stub keeps what it takes until
// the process ends; the host tools give it back with SysFree.
void* SysAlloc(uint32_t size);

// Gives back memory from SysAlloc; null is ignored.
void SysFree(void* memory);

// Memory that can be given back: pages of their own on Windows, so that a
// large buffer (an LZMA dictionary) returns to the system when a larger one
// replaces it. Not zero-filled; null on failure. SysFreeBlock takes null.
void* SysAllocBlock(uint32_t size);
void SysFreeBlock(void* block);

// The active ANSI code page: GetACP() on Windows. The host has none; it
// answers 1252, the code page of the systems packages are made for.
uint32_t SysAnsiCodePage(void);
