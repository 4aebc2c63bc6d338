// Process-wide values of the start-up subsystem. All are written once on the
// main thread before any other thread exists, except LastErrorId.
#pragma once
#include <windows.h>
#include <stdint.h>

/* The module instance: set first thing in main; used for every resource
   load, the dialogs, and as the seed of the unique folder name. */
extern HINSTANCE ModuleInstance;

/* GetProcessHeap(), taken at language choice; CheckedAlloc uses it. */
extern HANDLE ProcessHeap;

/* 7 (German) or 9 (English), and the matching 0 or 1 added to every base
   string id; set by ChooseUiLanguage, never changed afterwards. */
extern uint32_t UiLanguage;
extern uint32_t UiStringOffset;

/* Base id of the message for the last extraction failure; 0 at start.
   Written by the extraction code right before it fails, read by the worker
   right after the failing call. */
extern uint32_t LastErrorId;

/* What the last extraction failure concerns: the file or folder's name
   (empty when the failure names none) and the system's error code (0 when
   there is none to tell). Written with LastErrorId by RecordFailure, read
   by the fatal path right after, on the same thread. */
extern char LastErrorName[MAX_PATH];
extern DWORD LastErrorCode;

// Sets LastErrorId, and the name (null: none; cut to fit; shown with
// backslashes) and system error of the failure; returns -1 for the caller
// to pass on.
int RecordFailure(uint32_t messageId, const char* name, DWORD systemError);

// Sets ProcessHeap, UiLanguage and UiStringOffset from the user's default language.
void ChooseUiLanguage(void);
