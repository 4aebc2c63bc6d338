// The extraction worker: the thread that turns the embedded archive into
// files in a fresh folder, with progress, and ends by telling the frame.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "archive/archive_reader.h"
#include "extract/win32/extract_state.h"

#define PROGRESS_RANGE_MAX 50000
#define ENTRY_NAME_SIZE    MAX_PATH

DWORD WINAPI ExtractionWorker(LPVOID unused);

// Extracts the current entry of reader; 0 (also for a skipped folder entry)
// or -1 with LastErrorId set.
int ExtractEntry(ArchiveReader* reader, const ArchiveEntryInfo* info, const char* name);

// The entry's name in the active ANSI code page: a UTF-8 name (flag bit 11)
// converted exactly, an OEM name with its umlauts mapped. 0, or -1 when the
// name cannot be had there or does not fit ENTRY_NAME_SIZE.
int EntryNameToAnsi(const ArchiveEntryInfo* info, const char* name, char out[ENTRY_NAME_SIZE]);

// The divisor that keeps total / divisor at most PROGRESS_RANGE_MAX.
uint64_t ProgressDivisorFor(uint64_t total);
