// The wizard frame: the program's only top-level window.
#pragma once
#include <windows.h>

/* The frame's window, set first thing in its WM_INITDIALOG; null before.
   Owner of message boxes and target of the workers' posted messages. */
extern HWND FrameWindow;

INT_PTR CALLBACK FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
