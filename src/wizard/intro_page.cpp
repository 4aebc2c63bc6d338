// The intro page: the package's own introduction, and a link line that the
// shell opens when clicked. Without an intro text the page never shows.
#include <windows.h>
#include <shellapi.h>

#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "wizard/frame.h"
#include "wizard/wizard.h"

static void FillIntroPage(HWND page)
{
    if (SfxSettings.introText.text == NULL) {
        WizardPageTable[PAGE_INTRO].skip = 1;
        return;
    }
    SetDlgItemTextA(page, IDC_INTRO_TEXT, SfxSettings.introText.text);
    if (SfxSettings.introLink.text != NULL)
        SetDlgItemTextA(page, IDC_INTRO_LINK, SfxSettings.introLink.text);
}

// The link line is plain text: what it shows is what the shell opens.
static void OpenIntroLink(void)
{
    if (SfxSettings.introLink.text != NULL)
        ShellExecuteA(FrameWindow, "open", SfxSettings.introLink.text, NULL, NULL, SW_HIDE);
}

INT_PTR CALLBACK IntroPageProc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FillIntroPage(page);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_INTRO_LINK)
            OpenIntroLink();
        return TRUE;
    case WM_PAGE_ENTER:
        if (!WizardPageTable[PAGE_INTRO].skip)
            ShowPage(PAGE_INTRO);
        return TRUE;
    case WM_PAGE_NEXT:
        NavigateFrom(CurrentPageIndex + 1, 1);
        return TRUE;
    }
    return FALSE;
}
