// What every harness does with its input: puts it into one memory-backed
// file that the shared readers open like a package on disk, and gives back
// the memory the readers took for it once the input is done.
//
// The readers take a SysFile, which on the host is a POSIX descriptor, and
// the packer opens packages by path. A memfd serves both without a second
// file backend: the descriptor goes to the readers as it is, and
// /proc/self/fd/N opens the same bytes by name. It never touches the disk,
// and rewriting it costs two system calls per input.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/sys_file.h"

// Replaces the file's contents with the input; the read position is at its
// start. Aborts when no memfd can be made: nothing could be fuzzed then.
SysFile LoadFuzzInput(const uint8_t* data, size_t size);

// The file by name, for code that opens it itself.
const char* FuzzInputPath(void);

// Frees what SysAlloc handed out since the last call. The stub keeps that
// memory to the end of the process; a fuzzer runs millions of inputs in
// one, and LeakSanitizer would count every one of them.
void ReleaseReaderMemory(void);

// Stops the run with a message when a harness finds a broken promise of a
// reader (a text outside its block, more bytes than an entry holds):
// libFuzzer keeps the input that got there.
void FuzzCheck(int condition, const char* what);
