// The wizard frame: the program's only top-level window, holding the
// picture, the buttons and the pages, and receiving the workers' reports.
// Windows code, as is all of wizard/.
#pragma once
#include <windows.h>

#include "wizard/frame_link.h"

INT_PTR CALLBACK FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the six pages right of the picture, each on top of the ones before.
void CreatePages(void);

// Starts a worker thread (extraction or commands) with its id already in
// WorkerThreadId when it begins; a fatal message when it cannot start.
void StartWorkerThread(LPTHREAD_START_ROUTINE worker);

// The normal end: cleanup, the windows destroyed, exit code 0.
void ExitWizard(void);
