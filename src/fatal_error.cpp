// The fatal path. The cleanup runs before the message box, so the extracted
// files are already gone while the user reads the message.
#include "startup/win32/fatal_error.h"

#include <windows.h>

#include "extract/win32/cleanup_journal.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/system_reason.h"
#include "startup/win32/unattended_run.h"
#include "wizard/frame_link.h"

#define FATAL_TEXT_SIZE 512
// The message, a line with the name concerned and the system's reason.
#define DETAILED_TEXT_SIZE (FATAL_TEXT_SIZE + MAX_PATH + SYSTEM_REASON_SIZE + 8)

// Appends part to text (DETAILED_TEXT_SIZE bytes); what does not fit is cut.
static void AppendText(char* text, const char* part)
{
    int used = lstrlenA(text);
    if (used < DETAILED_TEXT_SIZE - 1)
        lstrcpynA(text + used, part, DETAILED_TEXT_SIZE - used);
}

// A file or folder failure says which one, and why in the system's words, on
// a line of its own: "Could not create file" alone leaves a user nothing to
// act on.
static void AppendFailureDetails(char* text)
{
    int length = lstrlenA(text);
    if (length > 0 && text[length - 1] != '\n')
        AppendText(text, "\n");
    AppendText(text, LastErrorName);
    if (LastErrorCode != 0) {
        char reason[SYSTEM_REASON_SIZE];
        FormatSystemReason(LastErrorCode, reason);
        AppendText(text, ": ");
        AppendText(text, reason);
    }
}

void ShowFatalError(uint32_t baseMessageId)
{
    char text[DETAILED_TEXT_SIZE];
    if (LoadStringA(ModuleInstance, baseMessageId + UiStringOffset, text, FATAL_TEXT_SIZE) <= 0)
        lstrcpyA(text, UiLanguage == LANGUAGE_GERMAN ? "Unbekannter Fehler!" : "Unknown error!");
    else if (baseMessageId == LastErrorId && LastErrorName[0] != 0)
        AppendFailureDetails(text);
    ShowFatalText(text, baseMessageId);
}

void ShowFatalText(const char* text, uint32_t messageId)
{
    RunCleanup();
    LogLine("message", text);
    if (IsSilentRun())
        EndRun(EXIT_CODE_BASE + messageId);
    // Before the frame exists there is no owner, and without a title record
    // the caption is left to the system.
    MessageBoxA(FrameWindow, text, SfxSettings.title.text, MB_ICONERROR | MB_OK);
    EndRun(1);
}
