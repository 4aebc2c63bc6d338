// Process-wide values of the extraction: the extraction folder and the
// worker's progress. The folder page, the worker, the cleanup and the
// commands share them without a lock; the order of the wizard's pages and
// threads keeps their writes apart (each comment says who writes when).
#pragma once
#include <windows.h>
#include <stdint.h>

/* The extraction folder path. Empty until the folder page resolves the
   template; written by the folder page when it is left, then once by the
   extraction worker at its start; read by the cleanup and the commands. */
extern char TargetFolder[MAX_PATH];

/* 1 once MakeUniqueSubfolder has made the extraction folder; written once
   by the extraction worker. Until then TargetFolder is a folder this run
   did not make, and the cleanup must not look into it. */
extern BYTE ExtractionFolderMade;

/* The worker's output buffer, OUTPUT_BUFFER_SIZE bytes, allocated on the
   first extracted file and kept. */
#define OUTPUT_BUFFER_SIZE 131072
extern uint8_t* OutputBuffer;

/* Progress, written only by the worker while it runs. Byte counts are
   64-bit: 65,535 entries of up to 4 GiB each add up to far more than 32
   bits hold, and a wrapped total would make the bar run over. */
extern uint64_t BytesTotal;         // uncompressed bytes of all entries
extern uint64_t ProgressDivisor;    // power of two keeping the range at most 50,000
extern uint64_t BytesDone;          // uncompressed bytes written so far
extern HWND ProgressBar;            // control 1029 of the progress page

/* The progress page the worker reports to; set by the page before it starts
   the worker. Without one the progress messages go nowhere. */
extern HWND ProgressPageWindow;
