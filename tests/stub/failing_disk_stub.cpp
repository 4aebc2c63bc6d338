// The stub on a failing system: the real program, started through its own
// start routine, with one of its file calls made to fail at its n-th use, or
// without memory for the cipher at the password check, or on a system that
// asks for elevation: the n-th CreateProcessA refused with
// ERROR_ELEVATION_REQUIRED, as user account control refuses a program that
// needs administrator rights (and, with "elevationDeclined", the user then
// declining the prompt). Packages are made
// from this program as from the stub, and the end-to-end tests drive them
// the same way. The environment variable SFX_FAULT names the call and n:
//   SFX_FAULT=createDirectory 2
//   SFX_FAULT=cipherState 1
//   SFX_FAULT=elevation 1
// A failing call reports what a full or refused disk reports; a failing
// CloseHandle still closes, as the system does when it reports a late
// write error.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "commands/process_calls.h"
#include "crypto/cipher.h"
#include "extract/win32/file_calls.h"
#include "program_start.h"

namespace {

LONG Remaining = -1;   // calls to let through before the one that fails

bool FailsNow()
{
    return InterlockedDecrement(&Remaining) == 0;
}

HANDLE WINAPI FailingCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (FailsNow()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI FailingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (FailsNow()) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

BOOL WINAPI FailingCreateDirectory(LPCSTR name, LPSECURITY_ATTRIBUTES security)
{
    if (FailsNow()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return CreateDirectoryA(name, security);
}

BOOL WINAPI FailingCloseHandle(HANDLE handle)
{
    BOOL closed = CloseHandle(handle);
    if (FailsNow()) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return closed;
}

BOOL WINAPI FailingDeleteFile(LPCSTR name)
{
    if (FailsNow()) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return DeleteFileA(name);
}

BOOL WINAPI RefusingCreateProcess(LPCSTR application, LPSTR line, LPSECURITY_ATTRIBUTES processSecurity,
                                  LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags, LPVOID environment,
                                  LPCSTR folder, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION process)
{
    if (FailsNow()) {
        SetLastError(ERROR_ELEVATION_REQUIRED);
        return FALSE;
    }
    return CreateProcessA(application, line, processSecurity, threadSecurity, inherit, flags, environment, folder,
                          startup, process);
}

// The shell's elevation as it would look from the stub: a call that does not
// ask for consent with the program's full path, in a folder of its own,
// with its process handle kept, is refused; one that does is started as
// the shell would start it.
bool AsksForConsent(const SHELLEXECUTEINFOA* execute)
{
    const ULONG needed = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    return execute->lpVerb != nullptr && std::strcmp(execute->lpVerb, "runas") == 0 &&
           (execute->fMask & needed) == needed && execute->lpFile != nullptr && execute->lpFile[1] == ':' &&
           execute->lpDirectory != nullptr && execute->lpDirectory[0] != 0;
}

BOOL WINAPI ElevatingShellExecute(SHELLEXECUTEINFOA* execute)
{
    if (!AsksForConsent(execute)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ShellExecuteExA(execute);
}

BOOL WINAPI DecliningShellExecute(SHELLEXECUTEINFOA* execute)
{
    SetLastError(AsksForConsent(execute) ? ERROR_CANCELLED : ERROR_INVALID_PARAMETER);
    return FALSE;
}

// The stub allocates through HeapAlloc's import pointer. This program
// defines that pointer itself, so the import library's one is never linked
// and every allocation of the stub's code passes through here.
LPVOID WINAPI FailingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);

}  // namespace

#ifdef _WIN64
extern "C" decltype(&FailingHeapAlloc) HeapAllocImport asm("__imp_HeapAlloc");
#else
extern "C" decltype(&FailingHeapAlloc) HeapAllocImport asm("__imp__HeapAlloc@12");
#endif
decltype(&FailingHeapAlloc) HeapAllocImport = FailingHeapAlloc;

namespace {

LONG RemainingCipherStates = -1;   // cipher states to allocate before the one that fails

LPVOID WINAPI FailingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    static decltype(&FailingHeapAlloc) real = reinterpret_cast<decltype(&FailingHeapAlloc)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "HeapAlloc")));
    if (size == sizeof(CipherState) && InterlockedDecrement(&RemainingCipherStates) == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return real(heap, flags, size);
}

void InstallFault(const char* call, long n)
{
    if (std::strcmp(call, "cipherState") == 0)
        RemainingCipherStates = n;
    else
        Remaining = n;
    if (std::strcmp(call, "createFile") == 0)
        FileCalls.createFile = FailingCreateFile;
    else if (std::strcmp(call, "writeFile") == 0)
        FileCalls.writeFile = FailingWriteFile;
    else if (std::strcmp(call, "createDirectory") == 0)
        FileCalls.createDirectory = FailingCreateDirectory;
    else if (std::strcmp(call, "closeHandle") == 0)
        FileCalls.closeHandle = FailingCloseHandle;
    else if (std::strcmp(call, "deleteFile") == 0)
        FileCalls.deleteFile = FailingDeleteFile;
    else if (std::strcmp(call, "elevation") == 0 || std::strcmp(call, "elevationDeclined") == 0) {
        ProcessCalls.createProcess = RefusingCreateProcess;
        ProcessCalls.shellExecuteEx = std::strcmp(call, "elevation") == 0 ? ElevatingShellExecute : DecliningShellExecute;
    }
}

}  // namespace

// The fault comes in the environment, SFX_FAULT="CALL N": the command line
// is the stub's own, which reads its switches from there.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    char call[32] = {};
    char fault[64] = {};
    DWORD length = GetEnvironmentVariableA("SFX_FAULT", fault, sizeof fault);
    const char* commandLine = length < sizeof fault ? fault : "";
    const char* space = std::strchr(commandLine, ' ');
    if (space != nullptr && static_cast<size_t>(space - commandLine) < sizeof call) {
        std::memcpy(call, commandLine, static_cast<size_t>(space - commandLine));
        InstallFault(call, std::atol(space + 1));
    }
    return RunProgram(instance);
}
