// Starting child processes in the Windows tests. Under Wine on a busy
// machine a start now and then fails for a moment (Wine could not bring up
// the new process), which says nothing about the program under test; the
// tests try again a few times before they count it as a failure.
#pragma once
#include <windows.h>

#include <functional>

namespace testsupport {

// Calls start (a CreateProcess call) until it succeeds, at most five times
// with a growing pause between tries. Returns its last result; on failure
// *lastError holds GetLastError of the last try.
BOOL StartProcessPatiently(const std::function<BOOL()>& start, DWORD* lastError);

}  // namespace testsupport
