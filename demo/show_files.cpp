// The demo package's command: shows the user what the package extracted,
// from the folder it was started in, and ends with 0. Plain Win32 calls
// keep it small, as a program carried inside a package should be.
#include <windows.h>

#include <string>

// Appends the files and folders below folder (shown relative to it).
static void ListFolder(const std::string& folder, const std::string& shown, std::string* text)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            *text += "  [" + shown + name + "]\n";
            ListFolder(folder + "\\" + name, shown + name + "\\", text);
        } else {
            *text += "  " + shown + name + "\n";
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    std::string text = "This program was started from the package's extracted files in\n";
    text += folder;
    text += "\n\nIt found:\n";
    ListFolder(folder, "", &text);
    text += "\nWhen the wizard ends, all of them are deleted again.";
    MessageBoxA(NULL, text.c_str(), "Demo command", MB_OK | MB_ICONINFORMATION);
    return 0;
}
