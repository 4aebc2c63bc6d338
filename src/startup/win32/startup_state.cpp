// The start-up subsystem's process-wide values and the language choice.
#include "startup/win32/startup_state.h"

#include "startup/ui_language.h"

HINSTANCE ModuleInstance;
HANDLE ProcessHeap;
uint32_t UiLanguage = LANGUAGE_ENGLISH;
uint32_t UiStringOffset = 1;
uint32_t LastErrorId;
char LastErrorName[MAX_PATH];
DWORD LastErrorCode;

int RecordFailure(uint32_t messageId, const char* name, DWORD systemError)
{
    LastErrorId = messageId;
    LastErrorName[0] = 0;
    if (name != NULL)
        lstrcpynA(LastErrorName, name, MAX_PATH);
    // Entry names keep the archive's '/', which Windows takes as well; the
    // user reads the path as Windows writes it.
    for (char* c = LastErrorName; *c != 0; c++) {
        if (*c == '/')
            *c = '\\';
    }
    LastErrorCode = systemError;
    return -1;
}

void ChooseUiLanguage(void)
{
    ProcessHeap = GetProcessHeap();
    UiLanguage = UiLanguageForLangId(GetUserDefaultLangID());
    UiStringOffset = UiStringOffsetFor(UiLanguage);
}
