// The fatal path. The cleanup runs before the message box, so the extracted
// files are already gone while the user reads the message.
#include "startup/win32/fatal_error.h"

#include <windows.h>

#include "extract/win32/cleanup_journal.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/startup_state.h"
#include "wizard/frame_link.h"

#define FATAL_TEXT_SIZE 512

void ShowFatalError(uint32_t baseMessageId)
{
    char text[FATAL_TEXT_SIZE];
    if (LoadStringA(ModuleInstance, baseMessageId + UiStringOffset, text, FATAL_TEXT_SIZE) <= 0)
        lstrcpyA(text, UiLanguage == LANGUAGE_GERMAN ? "Unbekannter Fehler!" : "Unknown error!");
    ShowFatalText(text);
}

void ShowFatalText(const char* text)
{
    RunCleanup();
    // Before the frame exists there is no owner, and without a title record
    // the caption is left to the system.
    MessageBoxA(FrameWindow, text, SfxSettings.title.text, MB_ICONERROR | MB_OK);
    ExitProcess(1);
}
