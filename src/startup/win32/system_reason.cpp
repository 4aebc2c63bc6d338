// The system's text for an error code, in the wizard's language if it can.
#include "startup/win32/system_reason.h"

#include "startup/package_format.h"
#include "startup/win32/startup_state.h"

static DWORD FormatInLanguage(DWORD error, DWORD language, char reason[SYSTEM_REASON_SIZE])
{
    return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, language,
                          reason, SYSTEM_REASON_SIZE, NULL);
}

void FormatSystemReason(DWORD error, char reason[SYSTEM_REASON_SIZE])
{
    // A system without the wizard's language for its messages answers the
    // first call with ERROR_RESOURCE_LANG_NOT_FOUND; language 0 then lets it
    // pick its own.
    DWORD wanted = MAKELANGID(UiLanguage == LANGUAGE_GERMAN ? LANG_GERMAN : LANG_ENGLISH, SUBLANG_DEFAULT);
    DWORD length = FormatInLanguage(error, wanted, reason);
    if (length == 0)
        length = FormatInLanguage(error, 0, reason);
    if (length == 0 || length >= SYSTEM_REASON_SIZE) {
        wsprintfA(reason, "%lu", error);
        return;
    }
    while (length > 0 && (reason[length - 1] == '\r' || reason[length - 1] == '\n' || reason[length - 1] == ' '))
        length--;
    reason[length] = 0;
}
