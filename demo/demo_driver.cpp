// Runs the demo package on a machine without a user: starts it, goes
// through every page as a user would, takes a picture of each (the frame as
// the screen shows it, title bar included), and says what it did.
// Usage: demo_driver PACKAGE PASSWORD [PICTURE_FOLDER PREFIX]
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: demo_driver PACKAGE PASSWORD [PICTURE_FOLDER PREFIX]\n");
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
        Page(frame, 1019, "intro", "intro page", 1019);
        driver::clickButton(frame, 1018);

        HWND password = Page(frame, 1038, "password", "password page: the archive is encrypted");
        driver::typeText(password, 1038, "not the password");
        driver::clickButton(frame, 1018);
        driver::settle(frame);
        Say("typed a wrong password: the page says \"" + driver::itemText(password, 1037) + "\"");
        TakePicture(frame, "password-wrong");
        driver::typeText(password, 1038, argv[2]);
        driver::clickButton(frame, 1018);

        HWND folder = driver::waitForPage(frame, 1027);
        Say("folder page: extracting below " + driver::itemText(folder, 1027));
        TakePicture(frame, "folder");
        driver::clickButton(frame, 1018);

        if (driver::waitUntil([&] { return driver::pageShows(frame, 1029); }, 2000))
            TakePicture(frame, "progress", 150);
        Page(frame, 1025, "finish", "finish page", 1025);
        driver::clickButton(frame, 1018);

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

        Page(frame, 1036, "exit", "exit page", 1036);
        driver::clickButton(frame, 1018);
        DWORD code = stub.waitForExit();
        bool removed = GetFileAttributesA(extracted.c_str()) == INVALID_FILE_ATTRIBUTES;
        Say("the package ended with exit code " + std::to_string(code) + "; " + extracted +
            (removed ? " is gone again" : " is STILL THERE"));
        return code == 0 && removed ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo: failed: %s\n", error.what());
        return 1;
    }
}
