// The wizard's page table and navigation: which page is current, how the
// pages take their turn, and the messages between the frame, the pages and
// the worker threads. Windows code, as is all of wizard/.
#pragma once
#include <windows.h>
#include <stdint.h>

/* Messages of the wizard; wParam and lParam are always 0. */
#define WM_PAGE_ENTER     0x1401   // sent to a page offered the turn
#define WM_PAGE_LEAVE     0x1403   // sent to the current page before Next and Back
#define WM_PAGE_NEXT      0x1404   // Next pressed (or posted by the extraction worker)
#define WM_PAGE_BACK      0x1405   // Back pressed
#define WM_RUN_COMMANDS   0x1406   // posted by the finish page to the frame
// The runner's reports, 0x1407 and 0x1408, are in frame_link.h.

#define PAGE_CAN_BACK 0x1u
#define PAGE_CAN_NEXT 0x2u

#define PAGE_INTRO    0
#define PAGE_PASSWORD 1
#define PAGE_FOLDER   2
#define PAGE_PROGRESS 3
#define PAGE_FINISH   4
#define PAGE_EXIT     5
#define PAGE_COUNT    6

struct WizardPage {
    uint32_t dialogId;
    DLGPROC pageProc;
    uint32_t buttons;   // PAGE_CAN_*; only the finish page changes its own
    BYTE skip;          // set by the page itself when it has nothing to show
    HWND window;        // null until the pages are created
};

/* The six pages in wizard order. Rows are fixed; the pages write their own
   skip (and the finish page its buttons) while they are created, and the
   frame writes the windows. GUI thread only. */
extern WizardPage WizardPageTable[PAGE_COUNT];

/* Index of the page shown last; -1 until the first page shows itself.
   Written only by ShowPage and ShowPageFocus. */
extern int CurrentPageIndex;

// Offers the pages from index on in direction (+1 forward, below 1 backward)
// until one shows itself; false, with nothing changed, when none does.
int NavigateFrom(int index, int direction);

// Makes the page current, sets Back and Next from its buttons and moves the
// focus to Next, else Back.
void ShowPage(int index);

// The same, with the focus on the page's own control controlId.
void ShowPageFocus(int index, int controlId);


/* The page procedures, reached only through the page table. */
INT_PTR CALLBACK IntroPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PasswordPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ExitPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
