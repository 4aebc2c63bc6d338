// The test driver. Texts are read with WM_GETTEXT, which Windows and Wine
// both carry across processes; buttons are pressed with BM_CLICK, which, like
// a mouse click, does nothing on a disabled button.
#include "stub_driver.h"
#include "resource_ids.h"
#include "support/process_start.h"

#include <vector>

namespace driver {

StubProcess::StubProcess(const std::string& exePath, const std::string& workingDir, const std::string& arguments)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exePath + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    DWORD error = 0;
    auto start = [&] {
        return CreateProcessA(exePath.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info_);
    };
    if (!testsupport::StartProcessPatiently(start, &error))
        throw DriverError("cannot start " + exePath + ", error " + std::to_string(error));
}

StubProcess::~StubProcess()
{
    if (!hasExited()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool StubProcess::hasExited() const
{
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
}

namespace {

struct WindowSearch {
    DWORD pid;
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid && IsWindowVisible(window) && (*search->match)(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND StubProcess::waitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) const
{
    HWND found = nullptr;
    bool ok = waitUntil(
        [&] {
            WindowSearch search{pid(), &match, nullptr};
            EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
            found = search.found;
            return found != nullptr || hasExited();
        },
        timeoutMs);
    if (!ok)
        throw DriverError("no matching window within " + std::to_string(timeoutMs) + " ms");
    if (found == nullptr)
        throw DriverError("the process ended before the window appeared");
    return found;
}

HWND StubProcess::waitForFrame(DWORD timeoutMs) const
{
    return waitForWindow([](HWND w) { return isDialogWith(w, IDC_NEXT); }, timeoutMs);
}

HWND StubProcess::waitForMessageBox(DWORD timeoutMs) const
{
    return waitForWindow([](HWND w) { return isDialogWith(w, kMessageBoxTextId); }, timeoutMs);
}

DWORD StubProcess::waitForExit(DWORD timeoutMs) const
{
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        throw DriverError("the process did not end within " + std::to_string(timeoutMs) + " ms");
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

bool isDialogWith(HWND window, int itemId)
{
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    return std::string(className) == "#32770" && GetDlgItem(window, itemId) != nullptr;
}

std::string windowText(HWND window)
{
    char text[4096] = {};
    DWORD_PTR length = 0;
    // A thread that has only just made its window (a worker's message box)
    // can count as hung for a moment on a busy machine; ask again before
    // giving up, as long as the window exists.
    for (int attempt = 0;; attempt++) {
        if (SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                5000, &length))
            return std::string(text, length);
        if (attempt == 20 || !IsWindow(window))
            throw DriverError("window does not answer WM_GETTEXT");
        Sleep(250);
    }
}

std::string itemText(HWND dialog, int itemId)
{
    HWND item = GetDlgItem(dialog, itemId);
    if (item == nullptr)
        throw DriverError("no control " + std::to_string(itemId));
    return windowText(item);
}

bool itemEnabled(HWND dialog, int itemId)
{
    return IsWindowEnabled(GetDlgItem(dialog, itemId)) != FALSE;
}

void clickButton(HWND dialog, int itemId)
{
    HWND button = GetDlgItem(dialog, itemId);
    if (button == nullptr)
        throw DriverError("no button " + std::to_string(itemId));
    PostMessageA(button, BM_CLICK, 0, 0);
}

void typeText(HWND dialog, int itemId, const std::string& text)
{
    HWND item = GetDlgItem(dialog, itemId);
    if (item == nullptr)
        throw DriverError("no control " + std::to_string(itemId));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
}

HWND currentPage(HWND frame)
{
    // Pages are never hidden, only raised: the first dialog in the frame's
    // z-order of children is the one on top.
    for (HWND child = GetWindow(frame, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = {};
        GetClassNameA(child, className, sizeof className);
        if (std::string(className) == "#32770")
            return child;
    }
    return nullptr;
}

bool pageShows(HWND frame, int itemId)
{
    HWND page = currentPage(frame);
    return page != nullptr && GetDlgItem(page, itemId) != nullptr;
}

HWND waitForPage(HWND frame, int itemId, DWORD timeoutMs)
{
    if (!waitUntil([&] { return pageShows(frame, itemId); }, timeoutMs))
        throw DriverError("the page with control " + std::to_string(itemId) + " did not show");
    return currentPage(frame);
}

namespace {

BOOL CALLBACK FindEdit(HWND child, LPARAM param)
{
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Edit") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

}  // namespace

void settle(HWND window)
{
    // A message sent from another thread is handled before the posted ones
    // waiting in the queue, so a round trip alone proves nothing about a
    // posted click. Posted messages of one thread are handled in order, so
    // a marker posted after them, which can be read back, is: an edit
    // control's text limit, set to values far above any real limit.
    static LPARAM marker = 0x7FFF0000;
    HWND edit = nullptr;
    EnumChildWindows(window, FindEdit, reinterpret_cast<LPARAM>(&edit));
    DWORD_PTR ignored = 0;
    if (edit == nullptr) {
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        return;
    }
    WPARAM value = static_cast<WPARAM>(++marker);
    PostMessageA(edit, EM_SETLIMITTEXT, value, 0);
    waitUntil([&] {
        DWORD_PTR limit = 0;
        return SendMessageTimeoutA(edit, EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 5000, &limit) && limit == value;
    }, 5000);
}

void pressKey(HWND window, WPARAM key)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    HWND target = GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr ? info.hwndFocus : window;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    settle(window);
}

RECT windowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

bool waitUntil(const std::function<bool()>& cond, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

}  // namespace driver
