// Runs the demo package on a machine without a user: starts it, goes
// through every page as a user would, takes a picture of each (the frame as
// the screen shows it, title bar included), and says what it did. A
// password of "-" stands for the quick package, which asks nothing: it
// opens on the progress page.
// Usage: demo_driver PACKAGE PASSWORD|- [PICTURE_FOLDER PREFIX]
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "resource_ids.h"
#include "stub_driver.h"

namespace {

std::string pictureFolder, picturePrefix;
int pictureCount = 0;

void Say(const std::string& text)
{
    std::printf("demo: %s\n", text.c_str());
    std::fflush(stdout);
}

// Copies the window's screen rectangle into a 24-bit BMP file. Read from
// the screen, not from the window, so that the title bar drawn around the
// frame is in the picture as well.
void TakePicture(HWND window, const std::string& name, DWORD settleMs = 300)
{
    if (pictureFolder.empty())
        return;
    Sleep(settleMs);   // let the page finish painting
    RECT rect = driver::windowRect(window);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    DWORD rowSize = (width * 3 + 3) & ~3u, imageSize = rowSize * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    char number[8];
    std::snprintf(number, sizeof number, "%02d", ++pictureCount);
    std::string path = pictureFolder + "\\" + picturePrefix + "-" + number + "-" + name + ".bmp";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), imageSize);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}

// Waits for the page holding control, says what it shows, takes its picture.
HWND Page(HWND frame, int control, const char* name, const std::string& what, int quotedControl = 0)
{
    HWND page = driver::waitForPage(frame, control);
    Say(quotedControl == 0 ? what : what + ": \"" + driver::itemText(page, quotedControl) + "\"");
    TakePicture(frame, name);
    return page;
}

// From the finish page on, both packages go the same way: the command, the
// exit page, and the check that the extracted folder is gone.
int FinishAndCheck(const driver::StubProcess& stub, HWND frame)
{
    Page(frame, IDC_FINISH_TEXT, "finish", "finish page", IDC_FINISH_TEXT);
    driver::clickButton(frame, IDC_NEXT);

    // The command is a process of its own: its window is found by title.
    HWND box = nullptr;
    if (!driver::waitUntil([&] { return (box = FindWindowA(nullptr, "Demo command")) != nullptr; }))
        throw driver::DriverError("the demo command did not show its window");
    Say("the package ran its command from the extracted files; it shows:");
    std::string shown = driver::itemText(box, driver::kMessageBoxTextId);
    std::printf("%s\n", shown.c_str());
    // The second line of the command's text names the extraction folder.
    std::size_t start = shown.find('\n') + 1;
    std::string extracted = shown.substr(start, shown.find('\n', start) - start);
    TakePicture(box, "command");
    driver::clickButton(box, IDOK);

    Page(frame, IDC_EXIT_TEXT, "exit", "exit page", IDC_EXIT_TEXT);
    driver::clickButton(frame, IDC_NEXT);
    DWORD code = stub.waitForExit();
    bool removed = GetFileAttributesA(extracted.c_str()) == INVALID_FILE_ATTRIBUTES;
    Say("the package ended with exit code " + std::to_string(code) + "; " + extracted +
        (removed ? " is gone again" : " is STILL THERE"));
    return code == 0 && removed ? 0 : 1;
}

// The package that asks nothing: extracting from its first sight.
int RunQuickPackage(const driver::StubProcess& stub, HWND frame)
{
    if (driver::pageShows(frame, IDC_PROGRESS_BAR)) {
        Say("the first page is the progress page: no intro, no password, no folder to choose");
        TakePicture(frame, "progress", 150);
    } else if (!driver::pageShows(frame, IDC_FINISH_TEXT)) {
        throw driver::DriverError("the quick package did not open extracting");
    }
    return FinishAndCheck(stub, frame);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: demo_driver PACKAGE PASSWORD|- [PICTURE_FOLDER PREFIX]\n");
        return 2;
    }
    if (argc >= 5) {
        pictureFolder = argv[3];
        picturePrefix = argv[4];
    }
    try {
        driver::StubProcess stub(argv[1]);
        HWND frame = stub.waitForFrame();
        Say("the package started; its window is titled \"" + driver::windowText(frame) + "\"");
        if (std::string(argv[2]) == "-")
            return RunQuickPackage(stub, frame);
        Page(frame, IDC_INTRO_TEXT, "intro", "intro page", IDC_INTRO_TEXT);
        driver::clickButton(frame, IDC_NEXT);

        HWND password = Page(frame, IDC_PASSWORD_EDIT, "password", "password page: the archive is encrypted");
        driver::typeText(password, IDC_PASSWORD_EDIT, "not the password");
        driver::clickButton(frame, IDC_NEXT);
        driver::settle(frame);
        Say("typed a wrong password: the page says \"" + driver::itemText(password, IDC_PASSWORD_PROMPT) + "\"");
        TakePicture(frame, "password-wrong");
        driver::typeText(password, IDC_PASSWORD_EDIT, argv[2]);
        driver::clickButton(frame, IDC_NEXT);

        HWND folder = driver::waitForPage(frame, IDC_FOLDER_EDIT);
        Say("folder page: extracting below " + driver::itemText(folder, IDC_FOLDER_EDIT));
        TakePicture(frame, "folder");
        driver::clickButton(frame, IDC_NEXT);

        if (driver::waitUntil([&] { return driver::pageShows(frame, IDC_PROGRESS_BAR); }, 2000))
            TakePicture(frame, "progress", 150);
        return FinishAndCheck(stub, frame);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo: failed: %s\n", error.what());
        return 1;
    }
}
