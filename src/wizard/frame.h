// The wizard frame: the program's only top-level window, holding the
// picture, the buttons and the pages, and receiving the workers' reports.
#pragma once
#include <windows.h>

/* The frame's window, set first thing in its WM_INITDIALOG; null before.
   Owner of message boxes and target of the workers' posted messages. */
extern HWND FrameWindow;

/* Id of the running worker thread (extraction or commands), 0 when none
   runs. Written by the GUI thread when it starts one, and cleared by the
   thread itself just before or after its final message to the frame. */
extern volatile DWORD WorkerThreadId;

/* Set to 1 by Cancel while a worker runs; polled by the extraction worker
   between entries; never cleared. */
extern volatile BYTE CancelRequested;

INT_PTR CALLBACK FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the six pages right of the picture, each on top of the ones before.
void CreatePages(void);

// Starts a worker thread (extraction or commands) with its id already in
// WorkerThreadId when it begins; a fatal message when it cannot start.
void StartWorkerThread(LPTHREAD_START_ROUTINE worker);
