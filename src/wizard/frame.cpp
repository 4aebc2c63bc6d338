// The wizard frame: title, button texts, and the ways out. Until the wizard
// pages exist the frame goes straight to extraction into the template's
// folder, shows the progress page, and waits for Cancel when it is done.
#include "frame.h"

#include "../../res/resource_ids.h"
#include "../extract/cleanup_journal.h"
#include "../extract/extraction_worker.h"
#include "../extract/target_folder.h"
#include "../startup/config_trailer.h"
#include "../startup/fatal_error.h"
#include "../startup/startup_state.h"
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

static INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        ApplyDialogTexts(page, ProgressPageTexts);
    return FALSE;
}

// Pages sit right of the picture, 8 pixels apart, at its top.
static void PlacePage(HWND frame, HWND page)
{
    RECT picture;
    GetWindowRect(GetDlgItem(frame, IDC_PICTURE), &picture);
    POINT origin = {picture.right + 8, picture.top};
    ScreenToClient(frame, &origin);
    SetWindowPos(page, HWND_TOP, origin.x, origin.y, 0, 0, SWP_NOSIZE);
}

static void StartExtraction(HWND frame)
{
    ResolveFolderTemplate();
    ProgressPageWindow = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PROGRESS), frame,
                                            ProgressPageProc, 0);
    PlacePage(frame, ProgressPageWindow);
    EnableWindow(GetDlgItem(frame, IDC_BACK), FALSE);
    EnableWindow(GetDlgItem(frame, IDC_NEXT), FALSE);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(NULL, 0, ExtractionWorker, NULL, 0, &threadId);
    if (thread == NULL)
        ShowFatalError(IDS_ERR_START);
    WorkerThreadId = threadId;
    CloseHandle(thread);
}

static void OnCommand(int id)
{
    // Escape (IDCANCEL) never ends the wizard: only the Cancel button does.
    if (id == IDC_CANCEL) {
        if (WorkerThreadId != 0)
            CancelRequested = 1;
        else
            ExitWizard();
    } else if (id == IDC_NEXT && WorkerThreadId == 0) {
        // The worker is done; the files stay until the program ends.
        EnableWindow(GetDlgItem(FrameWindow, IDC_NEXT), TRUE);
    }
}

INT_PTR CALLBACK FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FrameWindow = window;
        SetFrameTitle(window);
        ApplyDialogTexts(window, FrameButtonTexts);
        StartExtraction(window);
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
