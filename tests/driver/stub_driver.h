// Drives a running package the way a user would: finds its windows, reads
// their texts, types and presses buttons, waits for the end. Every wait has
// a time-out, so a hung stub fails its test instead of hanging the run.
#pragma once
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace driver {

constexpr DWORD kDefaultTimeoutMs = 30000;
constexpr int kMessageBoxTextId = 0xFFFF;   // the static text of a message box

class DriverError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A started package. Ends the process if it is still running when destroyed.
class StubProcess {
  public:
    // arguments follow the quoted program path on the command line.
    explicit StubProcess(const std::string& exePath, const std::string& workingDir = "",
                         const std::string& arguments = "");
    ~StubProcess();
    StubProcess(const StubProcess&) = delete;
    StubProcess& operator=(const StubProcess&) = delete;

    DWORD pid() const { return info_.dwProcessId; }

    // The first visible top-level window of the process that matches; throws on time-out.
    HWND waitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs = kDefaultTimeoutMs) const;
    // The wizard frame: a dialog that has a Next button.
    HWND waitForFrame(DWORD timeoutMs = kDefaultTimeoutMs) const;
    // A message box: a dialog with the message box's text control.
    HWND waitForMessageBox(DWORD timeoutMs = kDefaultTimeoutMs) const;

    // Waits for the process to end and returns its exit code; throws on time-out.
    DWORD waitForExit(DWORD timeoutMs = kDefaultTimeoutMs) const;
    bool hasExited() const;

  private:
    PROCESS_INFORMATION info_{};
};

std::string windowText(HWND window);
std::string itemText(HWND dialog, int itemId);
bool itemEnabled(HWND dialog, int itemId);
bool isDialogWith(HWND window, int itemId);
// Presses a button as a click would: nothing happens when it is disabled.
void clickButton(HWND dialog, int itemId);
void typeText(HWND dialog, int itemId, const std::string& text);
// The page the user sees: the frame's child dialog on top of the others.
HWND currentPage(HWND frame);
// True when the page the user sees holds control itemId.
bool pageShows(HWND frame, int itemId);
// Waits until the page holding control itemId is on top and returns it.
HWND waitForPage(HWND frame, int itemId, DWORD timeoutMs = kDefaultTimeoutMs);
// Presses a key in the control that has the focus in window's thread, as
// the keyboard would, and waits until the thread has handled it.
void pressKey(HWND window, WPARAM key);
// Waits until window's thread has handled everything posted to it so far.
void settle(HWND window);
// Screen rectangle of a window.
RECT windowRect(HWND window);
// Polls cond every 20 ms until it holds; false on time-out.
bool waitUntil(const std::function<bool()>& cond, DWORD timeoutMs = kDefaultTimeoutMs);

}  // namespace driver
