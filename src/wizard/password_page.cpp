// The password page: shown only for an encrypted archive, it lets the user
// try passwords until one is accepted, and then never asks again.
#include <windows.h>

#include "crypto/password_check.h"
#include "crypto/secure_wipe.h"
#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/fatal_error.h"
#include "startup/win32/ui_texts.h"
#include "wizard/wizard.h"

// A count of 127 takes at most 126 characters from the field: a longer
// password is checked by its first 126, which is what packages are made for.
#define PASSWORD_BUFFER_SIZE 128
#define PASSWORD_MAX_COUNT   127

static void CheckPasswordAndGoOn(HWND page)
{
    if (!SfxSettings.passwordAccepted) {
        char password[PASSWORD_BUFFER_SIZE];
        UINT length = GetDlgItemTextA(page, IDC_PASSWORD_EDIT, password, PASSWORD_MAX_COUNT);
        int verdict = VerifyPassword(&SfxSettings, (const uint8_t*)password, length);
        SecureWipe(password, sizeof password);
        // Without memory for the cipher no password could ever be checked;
        // calling that a wrong password would send the user guessing.
        if (verdict == PASSWORD_NO_MEMORY)
            ShowFatalError(IDS_ERR_NO_MEMORY);
        // The verdict is the flag, not the result: it also covers the case
        // of a password accepted earlier in this run.
        if (!SfxSettings.passwordAccepted) {
            ApplyDialogTexts(page, WrongPasswordTexts);
            SetDlgItemTextA(page, IDC_PASSWORD_EDIT, "");
            SetFocus(GetDlgItem(page, IDC_PASSWORD_EDIT));
            return;
        }
    }
    NavigateFrom(CurrentPageIndex + 1, 1);
}

INT_PTR CALLBACK PasswordPageProc(HWND page, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        if (SfxSettings.passwordAccepted)
            WizardPageTable[PAGE_PASSWORD].skip = 1;
        else
            ApplyDialogTexts(page, PasswordPromptTexts);
        return FALSE;
    case WM_PAGE_ENTER:
        if (!WizardPageTable[PAGE_PASSWORD].skip)
            ShowPageFocus(PAGE_PASSWORD, IDC_PASSWORD_EDIT);
        return TRUE;
    case WM_PAGE_NEXT:
        CheckPasswordAndGoOn(page);
        return TRUE;
    case WM_PAGE_BACK:
        NavigateFrom(CurrentPageIndex - 1, -1);
        return TRUE;
    }
    return FALSE;
}
