// Tries a process start again after a passing failure; see process_start.h.
#include "process_start.h"

namespace testsupport {

namespace {
const int kStartTries = 5;
const DWORD kFirstPauseMs = 250;
}  // namespace

BOOL StartProcessPatiently(const std::function<BOOL()>& start, DWORD* lastError)
{
    DWORD pause = kFirstPauseMs;
    for (int attempt = 1;; ++attempt) {
        if (start())
            return TRUE;
        *lastError = GetLastError();
        if (attempt == kStartTries)
            return FALSE;
        Sleep(pause);
        pause *= 2;
    }
}

}  // namespace testsupport
