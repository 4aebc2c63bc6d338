// The progress page: starts the extraction worker when it is entered; the
// worker then fills its bar and texts, and its final Next moves on.
#include <windows.h>

#include "extract/win32/extraction_worker.h"
#include "startup/win32/ui_texts.h"
#include "wizard/frame.h"
#include "wizard/wizard.h"

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ApplyDialogTexts(page, ProgressPageTexts);
        ProgressPageWindow = page;
        return FALSE;
    case WM_PAGE_ENTER:
        ShowPage(PAGE_PROGRESS);
        StartWorkerThread(ExtractionWorker);
        return TRUE;
    case WM_PAGE_NEXT:
        NavigateFrom(CurrentPageIndex + 1, 1);
        return TRUE;
    }
    return FALSE;
}
