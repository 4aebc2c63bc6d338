// The wizard frame: title and buttons, the pages placed beside the picture,
// the three buttons, and the reports of the worker threads.
#include "wizard/frame.h"

#include "commands/command_runner.h"
#include "extract/win32/cleanup_journal.h"
#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/fatal_error.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/ui_texts.h"
#include "startup/win32/unattended_run.h"
#include "wizard/wizard.h"

#define PAGE_GAP_PIXELS   8
#define FRAME_MARGIN_DLU  5   // as left of the picture

// The default title also becomes the caption of every later message box.
static void SetFrameTitle(HWND frame)
{
    if (SfxSettings.title.text == NULL)
        SfxSettings.title.text = LoadUiString(IDS_DEFAULT_TITLE);
    SetWindowTextA(frame, SfxSettings.title.text);
}

// The page templates are wider than the room right of the picture, so a
// long text would wrap behind the frame's edge and be cut off. Controls
// that reach past the frame's client area end at its right margin instead.
static void FitPageToFrame(HWND page)
{
    RECT client, margin = {0, 0, FRAME_MARGIN_DLU, 0};
    GetClientRect(FrameWindow, &client);
    MapDialogRect(FrameWindow, &margin);
    int limit = client.right - margin.right;
    for (HWND item = GetWindow(page, GW_CHILD); item != NULL; item = GetWindow(item, GW_HWNDNEXT)) {
        RECT rect;
        GetWindowRect(item, &rect);
        MapWindowPoints(NULL, FrameWindow, (POINT*)&rect, 2);
        if (rect.right > limit && limit > rect.left)
            SetWindowPos(item, NULL, 0, 0, limit - rect.left, rect.bottom - rect.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CreatePages(void)
{
    RECT picture;
    GetWindowRect(GetDlgItem(FrameWindow, IDC_PICTURE), &picture);
    POINT origin = {picture.right + PAGE_GAP_PIXELS, picture.top};
    ScreenToClient(FrameWindow, &origin);
    for (int i = 0; i < PAGE_COUNT; i++) {
        WizardPage* row = &WizardPageTable[i];
        row->window = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(LOWORD(row->dialogId)),
                                         FrameWindow, row->pageProc, 0);
        SetWindowPos(row->window, HWND_TOP, origin.x, origin.y, 0, 0, SWP_NOSIZE);
        FitPageToFrame(row->window);
    }
}

void ExitWizard(void)
{
    RunCleanup();
    for (int i = 0; i < PAGE_COUNT; i++) {
        if (WizardPageTable[i].window != NULL)
            DestroyWindow(WizardPageTable[i].window);
    }
    if (FrameWindow != NULL)
        DestroyWindow(FrameWindow);
    EndRun(0);
}

void StartWorkerThread(LPTHREAD_START_ROUTINE worker)
{
    // Suspended first: a worker that ends at once clears WorkerThreadId, and
    // an id stored after that would leave Cancel waiting for no thread.
    DWORD threadId = 0;
    HANDLE thread = CreateThread(NULL, 0, worker, NULL, CREATE_SUSPENDED, &threadId);
    if (thread == NULL)
        ShowFatalError(IDS_ERR_START);
    WorkerThreadId = threadId;
    ResumeThread(thread);
    CloseHandle(thread);
}

static void StartCommandRunner(void)
{
    // Two quick presses of Finish post two requests; the commands, often
    // an installer, must still run only once.
    static BYTE started;
    if (started)
        return;
    started = 1;
    EnableWindow(GetDlgItem(FrameWindow, IDC_BACK), FALSE);
    EnableWindow(GetDlgItem(FrameWindow, IDC_NEXT), FALSE);
    StartWorkerThread(CommandRunner);
}

static void ShowExitPage(void)
{
    // The exit page ends the program itself when it has no text.
    if (NavigateFrom(PAGE_EXIT, 1))
        SetFrameShown(FrameWindow, TRUE);
    else
        ExitWizard();
}

// The current page is looked up again for each send: the leave may not move
// it, but the next send must reach whichever page is current.
static void SendToCurrentPage(UINT message)
{
    if (CurrentPageIndex >= 0 && CurrentPageIndex < PAGE_COUNT)
        SendMessageA(WizardPageTable[CurrentPageIndex].window, message, 0, 0);
}

static void OnButton(int id)
{
    switch (id) {
    case IDC_CANCEL:
        if (WorkerThreadId != 0)
            CancelRequested = 1;
        else
            ExitWizard();
        break;
    case IDC_BACK:
        SendToCurrentPage(WM_PAGE_LEAVE);
        SendToCurrentPage(WM_PAGE_BACK);
        break;
    case IDC_NEXT:
        SendToCurrentPage(WM_PAGE_LEAVE);
        SendToCurrentPage(WM_PAGE_NEXT);
        break;
    }
    // IDCANCEL (Escape) and everything else: nothing. Only the Cancel
    // button and closing the window end the wizard.
}

// The program's own icon in the title bar and the task switcher: the icon
// group the packer replaces with the package's, so the window shows what
// Explorer shows for the file, each size from its own image. A program
// without that group keeps the window's default icon. The icons are the
// window's until it is destroyed (ReleaseFrameIcons).
static void SetFrameIcons(HWND frame)
{
    HICON large = (HICON)LoadImageA(ModuleInstance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0);
    HICON little = (HICON)LoadImageA(ModuleInstance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                     GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
    if (large != NULL)
        SendMessageA(frame, WM_SETICON, ICON_BIG, (LPARAM)large);
    if (little != NULL)
        SendMessageA(frame, WM_SETICON, ICON_SMALL, (LPARAM)little);
}

// Each WM_SETICON hands back the icon it replaces.
static void ReleaseFrameIcons(HWND frame)
{
    HICON large = (HICON)SendMessageA(frame, WM_SETICON, ICON_BIG, 0);
    HICON little = (HICON)SendMessageA(frame, WM_SETICON, ICON_SMALL, 0);
    if (large != NULL)
        DestroyIcon(large);
    if (little != NULL)
        DestroyIcon(little);
}

static void InitFrame(HWND window)
{
    FrameWindow = window;
    SetFrameTitle(window);
    SetFrameIcons(window);
    ApplyDialogTexts(window, FrameButtonTexts);
    CreatePages();
    CurrentPageIndex = -1;
    NavigateFrom(PAGE_INTRO, 1);
}

INT_PTR CALLBACK FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitFrame(window);
        return FALSE;   // the page that showed itself has placed the focus
    case WM_COMMAND:
        OnButton(LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        PostMessageA(FrameWindow, WM_COMMAND, IDC_CANCEL, 0);
        return TRUE;
    case WM_DESTROY:
        ReleaseFrameIcons(window);
        return FALSE;
    case WM_RUN_COMMANDS:
        if (HasCommandsToRun())
            StartCommandRunner();
        else
            ShowExitPage();
        return TRUE;
    case WM_COMMANDS_DONE:
        ShowExitPage();
        return TRUE;
    case WM_COMMAND_FAILED:
        if (CommandFailure[0] != 0)
            ShowFatalText(CommandFailure, IDS_ERR_START_PROGRAM);
        ShowFatalError(IDS_ERR_START);
        return TRUE;
    }
    return FALSE;
}
