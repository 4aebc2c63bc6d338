// The calls that start a command's program, made through one table of
// function pointers as the file calls are. The stub never changes it; tests
// point an entry at a stand-in, since a program that asks for elevation
// cannot be had under Wine, which enforces no user account control.
// Windows code, as is all of commands/.
#pragma once
#include <windows.h>
#include <shellapi.h>

// What CreateProcessA reports for a program that needs administrator
// rights; mingw's headers do not name it.
#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740
#endif

struct ProcessStartCalls {
    BOOL(WINAPI* createProcess)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION);
    BOOL(WINAPI* shellExecuteEx)(SHELLEXECUTEINFOA*);
};

/* The calls in use: the system's own, set at build time. Only tests write
   it, before the command runner starts. */
extern ProcessStartCalls ProcessCalls;
