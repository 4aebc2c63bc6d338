// Page navigation: each page decides on its WM_PAGE_ENTER whether it shows
// itself, and the navigation learns the decision from CurrentPageIndex.
#include "wizard/wizard.h"

#include "resource_ids.h"
#include "wizard/frame_link.h"

WizardPage WizardPageTable[PAGE_COUNT] = {
    {IDD_INTRO, IntroPageProc, PAGE_CAN_NEXT, 0, NULL},
    {IDD_PASSWORD, PasswordPageProc, PAGE_CAN_BACK | PAGE_CAN_NEXT, 0, NULL},
    {IDD_FOLDER, FolderPageProc, PAGE_CAN_BACK | PAGE_CAN_NEXT, 0, NULL},
    {IDD_PROGRESS, ProgressPageProc, 0, 0, NULL},
    {IDD_FINISH, FinishPageProc, PAGE_CAN_NEXT, 0, NULL},
    {IDD_EXIT, ExitPageProc, PAGE_CAN_NEXT, 0, NULL},
};

int CurrentPageIndex = -1;

int NavigateFrom(int index, int direction)
{
    int step = direction >= 1 ? 1 : -1;
    for (int i = index; i >= 0 && i < PAGE_COUNT; i += step) {
        SendMessageA(WizardPageTable[i].window, WM_PAGE_ENTER, 0, 0);
        if (CurrentPageIndex == i)
            return 1;
    }
    return 0;
}

static int ClampPageIndex(int index)
{
    if (index < 0)
        return 0;
    return index >= PAGE_COUNT ? PAGE_COUNT - 1 : index;
}

// Raises the page above its siblings, sets the two buttons for it, puts
// the focus on focus (when there is one) and makes the page current.
static void MakePageCurrent(int index, HWND focus)
{
    const WizardPage* row = &WizardPageTable[index];
    SetWindowPos(row->window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EnableWindow(GetDlgItem(FrameWindow, IDC_BACK), (row->buttons & PAGE_CAN_BACK) != 0);
    EnableWindow(GetDlgItem(FrameWindow, IDC_NEXT), (row->buttons & PAGE_CAN_NEXT) != 0);
    if (focus != NULL)
        SetFocus(focus);
    CurrentPageIndex = index;
}

void ShowPage(int index)
{
    index = ClampPageIndex(index);
    uint32_t buttons = WizardPageTable[index].buttons;
    HWND focus = NULL;
    if (buttons & PAGE_CAN_NEXT)
        focus = GetDlgItem(FrameWindow, IDC_NEXT);
    else if (buttons & PAGE_CAN_BACK)
        focus = GetDlgItem(FrameWindow, IDC_BACK);
    MakePageCurrent(index, focus);
}

void ShowPageFocus(int index, int controlId)
{
    index = ClampPageIndex(index);
    MakePageCurrent(index, GetDlgItem(WizardPageTable[index].window, controlId));
}
