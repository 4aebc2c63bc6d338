// The frame's side that the worker threads and the fatal path share: its
// window, the worker's id, the cancel request, and moving the frame off the
// screen and back. Apart from the rest of the frame, so that the code below
// the wizard reaches it without reaching the wizard.
#include "wizard/frame_link.h"

HWND FrameWindow;
volatile DWORD WorkerThreadId;
volatile BYTE CancelRequested;

#define OFF_SCREEN_PIXELS 10000
#define OFF_SCREEN_LIMIT  (-1000)

void SetFrameShown(HWND window, int show)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int top = rect.top;
    if (show) {
        if (top >= OFF_SCREEN_LIMIT)
            return;
        top += OFF_SCREEN_PIXELS;
    } else {
        if (top < OFF_SCREEN_LIMIT)
            return;
        top -= OFF_SCREEN_PIXELS;
    }
    SetWindowPos(window, HWND_TOP, rect.left, top, 0, 0, SWP_NOSIZE);
}
