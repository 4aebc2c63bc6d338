// The demo package's command: shows the user what the package extracted,
// from the folder it was started in, and ends with 0.
#include <windows.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    std::string text = "This program was started from the package's extracted files in\n";
    text += folder;
    text += "\n\nIt found:\n";
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::string name = fs::relative(entry.path(), folder).string();
        text += entry.is_directory() ? "  [" + name + "]\n" : "  " + name + "\n";
    }
    text += "\nWhen the wizard ends, all of them are deleted again.";
    MessageBoxA(NULL, text.c_str(), "Demo command", MB_OK | MB_ICONINFORMATION);
    return 0;
}
