// What the worker threads and the fatal path may touch of the wizard frame:
// its window, the worker's id, the cancel request, the reports they post,
// and moving the frame off the screen and back. Everything else of the
// wizard belongs to the GUI thread. Windows code, as is all of wizard/.
#pragma once
#include <windows.h>

/* The frame's window, set first thing in its WM_INITDIALOG; null before.
   Owner of message boxes and target of the workers' posted messages. */
extern HWND FrameWindow;

/* Id of the running worker thread (extraction or commands), 0 when none
   runs. Written by the GUI thread when it starts one, and cleared by the
   thread itself just before its final message to the frame. */
extern volatile DWORD WorkerThreadId;

/* Set to 1 by Cancel while a worker runs; polled by the extraction worker
   between entries; never cleared. */
extern volatile BYTE CancelRequested;

/* The workers' reports to the frame; wParam and lParam are always 0. The
   extraction worker ends with WM_COMMAND and the id of the frame's Next
   (all written) or Cancel (cancelled) button instead. */
#define WM_COMMANDS_DONE  0x1407   // the command runner: all ran, or one ended nonzero
#define WM_COMMAND_FAILED 0x1408   // the command runner: a command could not start

// Moves a window 10,000 pixels above the screen (show false) or back; each
// direction does nothing when the window is already there.
void SetFrameShown(HWND window, int show);
