// Definitions of the extraction's process-wide values; extract_state.h says
// who writes what and when.
#include "extract/win32/extract_state.h"

char TargetFolder[MAX_PATH];
BYTE ExtractionFolderMade;
uint8_t* OutputBuffer;
uint64_t BytesTotal;
uint64_t ProgressDivisor;
uint64_t BytesDone;
HWND ProgressBar;
HWND ProgressPageWindow;
