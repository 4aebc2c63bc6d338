// The wizard frame: title, button texts, and the ways out. The pages come
// with the wizard itself; until then the frame shows its bare template.
#include "frame.h"

#include "../../res/resource_ids.h"
#include "../extract/cleanup_journal.h"
#include "../startup/config_trailer.h"
#include "../startup/ui_texts.h"

HWND FrameWindow;
volatile DWORD WorkerThreadId;
volatile BYTE CancelRequested;

static void SetFrameTitle(HWND frame)
{
    if (SfxSettings.title.text == NULL)
        SfxSettings.title.text = LoadUiString(IDS_DEFAULT_TITLE);
    SetWindowTextA(frame, SfxSettings.title.text);
}

static void ExitWizard(void)
{
    RunCleanup();
    if (FrameWindow != NULL)
        DestroyWindow(FrameWindow);
    ExitProcess(0);
}

static void OnCommand(int id)
{
    // Escape (IDCANCEL) never ends the wizard: only the Cancel button does.
    if (id == IDC_CANCEL)
        ExitWizard();
}

INT_PTR CALLBACK FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FrameWindow = window;
        SetFrameTitle(window);
        ApplyDialogTexts(window, FrameButtonTexts);
        return FALSE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        PostMessageA(FrameWindow, WM_COMMAND, IDC_CANCEL, 0);
        return TRUE;
    }
    return FALSE;
}
