// The extraction worker: the thread that turns the embedded archive into
// files in a fresh folder, with progress, and ends by telling the frame.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "../archive/archive_reader.h"

#define OUTPUT_BUFFER_SIZE 131072
#define PROGRESS_RANGE_MAX 50000
#define ENTRY_NAME_SIZE    MAX_PATH
#define ENTRY_PATH_SIZE    264

/* Extraction state, written only by the worker while it runs. */
extern uint8_t* OutputBuffer;       // allocated on the first extracted file
/* Byte counts are 64-bit: 65,535 entries of up to 4 GiB each add up to far
   more than 32 bits hold, and a wrapped total would make the bar run over. */
extern uint64_t BytesTotal;         // uncompressed bytes of all entries
extern uint64_t ProgressDivisor;    // power of two keeping the range at most 50,000
extern uint64_t BytesDone;          // uncompressed bytes written so far
extern HWND ProgressBar;            // control 1029 of the progress page

/* The progress page the worker reports to; set by the page before it starts
   the worker. Without one the progress messages go nowhere. */
extern HWND ProgressPageWindow;

DWORD WINAPI ExtractionWorker(LPVOID unused);

// Extracts the current entry of reader; 0 (also for a skipped folder entry)
// or -1 with LastErrorId set.
int ExtractEntry(ArchiveReader* reader, const ArchiveEntryInfo* info, const char* name);

// The entry's name in the active ANSI code page: a UTF-8 name (flag bit 11)
// converted exactly, an OEM name with its umlauts mapped. 0, or -1 when the
// name cannot be had there or does not fit ENTRY_NAME_SIZE.
int EntryNameToAnsi(const ArchiveEntryInfo* info, const char* name, char out[ENTRY_NAME_SIZE]);

// Creates every missing folder above the last separator of path, journaling
// each; 0, or -1 with LastErrorId set.
int CreateParentDirectories(const char* path);

// The divisor that keeps total / divisor at most PROGRESS_RANGE_MAX.
uint64_t ProgressDivisorFor(uint64_t total);
