// The folder page: where the archive goes. The field's text becomes the
// target folder whenever the page is left, by Next or by Back.
#include <windows.h>
#include <shlobj.h>

#include "extract/win32/target_folder.h"
#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/ui_texts.h"
#include "wizard/frame.h"
#include "wizard/wizard.h"

#define BROWSE_FLAGS (BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN)

// The shell hands out its item lists from its own allocator.
static void FreeItemList(LPITEMIDLIST item)
{
    IMalloc* allocator = NULL;
    if (SHGetMalloc(&allocator) == S_OK && allocator != NULL) {
        allocator->Free(item);
        allocator->Release();
    }
}

// Only the field changes; the target folder follows when the page is left.
static void BrowseForFolder(HWND page)
{
    char displayName[MAX_PATH];
    BROWSEINFOA browse;
    ZeroMemory(&browse, sizeof browse);
    browse.hwndOwner = FrameWindow;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = "Choose a folder to extract this archive to.";
    browse.ulFlags = BROWSE_FLAGS;
    LPITEMIDLIST item = SHBrowseForFolderA(&browse);
    if (item == NULL)
        return;
    char path[MAX_PATH];
    if (SHGetPathFromIDListA(item, path))
        SetDlgItemTextA(page, IDC_FOLDER_EDIT, path);
    FreeItemList(item);
}

INT_PTR CALLBACK FolderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ResolveFolderTemplate();
        ApplyDialogTexts(page, FolderPageTexts);
        // The template's folder is taken as it stands; most packages
        // extract into a temporary folder that goes at the end anyway.
        if (SfxSettings.flags & FLAG_SKIP_FOLDER_PAGE)
            WizardPageTable[PAGE_FOLDER].skip = 1;
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_FOLDER_BROWSE)
            BrowseForFolder(page);
        return TRUE;
    case WM_PAGE_ENTER:
        if (WizardPageTable[PAGE_FOLDER].skip)
            return TRUE;
        SetDlgItemTextA(page, IDC_FOLDER_EDIT, TargetFolder);
        ShowPage(PAGE_FOLDER);
        return TRUE;
    case WM_PAGE_LEAVE:
        GetDlgItemTextA(page, IDC_FOLDER_EDIT, TargetFolder, MAX_PATH);
        return TRUE;
    case WM_PAGE_NEXT:
        NavigateFrom(CurrentPageIndex + 1, 1);
        return TRUE;
    case WM_PAGE_BACK:
        NavigateFrom(CurrentPageIndex - 1, -1);
        return TRUE;
    }
    return FALSE;
}
