// The finish and exit pages: the last words before and after the commands,
// with the Next button recaptioned for each.
#include <windows.h>

#include "resource_ids.h"
#include "startup/settings.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/ui_texts.h"
#include "wizard/frame.h"
#include "wizard/wizard.h"

static void CaptionNextButton(const LocalizedText* caption, uint32_t defaultId)
{
    if (caption->text != NULL)
        SetDlgItemTextA(FrameWindow, IDC_NEXT, caption->text);
    else
        SetItemText(FrameWindow, IDC_NEXT, defaultId);
}

static void FillFinishPage(HWND page)
{
    if (SfxSettings.finishText.text == NULL) {
        WizardPageTable[PAGE_FINISH].skip = 1;
        return;
    }
    SetDlgItemTextA(page, IDC_FINISH_TEXT, SfxSettings.finishText.text);
    // The text stays on screen while the commands run, with nothing to press.
    if (SfxSettings.flags & FLAG_FINISH_NO_WAIT)
        WizardPageTable[PAGE_FINISH].buttons = 0;
}

// The finish page always stops the navigation; without a text, or with
// no waiting, it asks for the commands at once.
static void EnterFinishPage(void)
{
    ShowPage(PAGE_FINISH);
    if (WizardPageTable[PAGE_FINISH].skip || (SfxSettings.flags & FLAG_FINISH_NO_WAIT))
        PostMessageA(FrameWindow, WM_RUN_COMMANDS, 0, 0);
    else
        CaptionNextButton(&SfxSettings.finishButtonText, IDS_FINISH);
}

INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FillFinishPage(page);
        return FALSE;
    case WM_PAGE_ENTER:
        EnterFinishPage();
        return TRUE;
    case WM_PAGE_NEXT:
        PostMessageA(FrameWindow, WM_RUN_COMMANDS, 0, 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK ExitPageProc(HWND page, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        if (SfxSettings.exitText.text != NULL)
            SetDlgItemTextA(page, IDC_EXIT_TEXT, SfxSettings.exitText.text);
        else
            WizardPageTable[PAGE_EXIT].skip = 1;
        return FALSE;
    case WM_PAGE_ENTER:
        if (WizardPageTable[PAGE_EXIT].skip)
            ExitWizard();
        ShowPage(PAGE_EXIT);
        CaptionNextButton(&SfxSettings.exitButtonText, IDS_EXIT);
        return TRUE;
    case WM_PAGE_NEXT:
        ExitWizard();
        return TRUE;
    }
    return FALSE;
}
