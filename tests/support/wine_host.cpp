// Reaching the Linux host from a Windows test program under Wine.
#include "support/wine_host.h"
#include "support/process_start.h"

#include <windows.h>

#include <cstdlib>

namespace winehost {

namespace {

// Only a guard against a command that never ends.
const int kUnixCommandPatienceMs = 120000;

// Wine's kernel32 exports this; on Windows there is no such function.
typedef char*(CDECL* UnixFileNameFn)(LPCWSTR);

UnixFileNameFn UnixFileName()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<UnixFileNameFn>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                  : nullptr;
}

std::wstring Wide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length > 0 ? length - 1 : 0));
    return wide;
}

// A Windows name as Wine spells it on the Linux side.
std::string UnixName(const std::wstring& name)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length > 0 ? length - 1 : 0));
    return utf8;
}

// A word for the shell: a Linux path in single quotes, so that blanks and
// the shell's own characters stay part of it.
std::string ShellWord(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

}  // namespace

bool Available()
{
    return UnixFileName() != nullptr;
}

std::string UnixPath(const std::wstring& windowsPath)
{
    UnixFileNameFn convert = UnixFileName();
    if (convert == nullptr)
        return {};
    char* unixPath = convert(windowsPath.c_str());
    if (unixPath == nullptr)
        return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

std::string UnixPath(const std::string& windowsPath)
{
    return UnixPath(Wide(windowsPath));
}

// Wine starts a Linux program without a process handle to wait on, so the
// command runs under a shell that leaves its exit code in a status file,
// written under a temporary name and renamed when complete.
int RunUnixCommand(const std::string& commandLine)
{
    static LONG counter = 0;
    char folder[MAX_PATH];
    if (GetTempPathA(MAX_PATH, folder) == 0)
        return -1;
    std::string name = "sfx-unix-status-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(InterlockedIncrement(&counter));
    std::string unixFolder = UnixPath(folder);
    if (unixFolder.empty())
        return -1;
    std::string statusPath = std::string(folder) + name;
    std::string unixStatus = unixFolder + "/" + name;
    std::string line = "/bin/sh -c \"" + commandLine + "; echo $? >" + unixStatus + ".part && mv " + unixStatus +
                       ".part " + unixStatus + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD error = 0;
    auto start = [&] {
        return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    };
    if (!testsupport::StartProcessPatiently(start, &error))
        return -1;
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    for (int waited = 0; waited < kUnixCommandPatienceMs; waited += 20) {
        HANDLE status = CreateFileA(statusPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (status != INVALID_HANDLE_VALUE) {
            char text[16] = {};
            DWORD got = 0;
            ReadFile(status, text, sizeof text - 1, &got, nullptr);
            CloseHandle(status);
            DeleteFileA(statusPath.c_str());
            return std::atoi(text);
        }
        Sleep(20);
    }
    return -1;
}

bool MakeLink(const std::wstring& linkPath, const std::wstring& target)
{
    std::string unixTarget = UnixPath(target);
    size_t slash = linkPath.find_last_of(L"\\/");
    if (unixTarget.empty() || slash == std::wstring::npos)
        return false;
    std::string unixFolder = UnixPath(linkPath.substr(0, slash));
    if (unixFolder.empty())
        return false;
    std::string unixLink = unixFolder + "/" + UnixName(linkPath.substr(slash + 1));
    return RunUnixCommand("/bin/ln -s " + ShellWord(unixTarget) + " " + ShellWord(unixLink)) == 0;
}

bool MakeLink(const std::string& linkPath, const std::string& target)
{
    return MakeLink(Wide(linkPath), Wide(target));
}

bool RemoveLink(const std::wstring& linkPath)
{
    std::string unixLink = UnixPath(linkPath);
    return !unixLink.empty() && RunUnixCommand("/bin/rm " + ShellWord(unixLink)) == 0;
}

}  // namespace winehost
