// Safe loading of the system DLLs the stub needs at run time.
#pragma once

// Restricts the DLL search to the system folder, so that a DLL planted
// beside a downloaded package is never loaded.
void RestrictDllSearchPath(void);

// Loads comctl32 from the system folder and registers the progress bar
// class; returns 0, or -1 when that failed.
int RegisterProgressBarClass(void);
