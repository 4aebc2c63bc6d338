// The command runner: runs the configured commands in order, in the
// extraction folder, and reports to the frame once, at its end.
#include "command_runner.h"

#include "../extract/path_helpers.h"
#include "../extract/target_folder.h"
#include "../startup/config_trailer.h"
#include "../startup/settings.h"
#include "../wizard/frame.h"
#include "../wizard/wizard.h"

#define ALIAS_NAME_START 4   // after the quote, two separators and '!'
#define UNREADABLE_EXIT_CODE 255

int IsAliasCommand(const char* line)
{
    return line[0] == '"' && IsPathSeparator(line[1]) && IsPathSeparator(line[2]) && line[3] == '!';
}

int RebuildAliasCommand(char* line, const char* configured)
{
    const char* name = configured + ALIAS_NAME_START;
    const char* rest = name;
    while (*rest != 0 && *rest != '"' && !IsPathSeparator(*rest))
        rest++;
    line[0] = '"';
    if (ResolvePathAlias(line + 1, name, (int)(rest - name)) != 0)
        return -1;
    // A line cut short would start something else than configured.
    size_t used = 1 + lstrlenA(line + 1);
    size_t restLength = lstrlenA(rest);
    if (used + restLength + 1 > COMMAND_LINE_SIZE)
        return -1;
    CopyMemory(line + used, rest, restLength + 1);
    return 0;
}

// Starts the line and waits for it; its exit code, 255 when unreadable, or
// -1 when it could not be started. Hides the frame once the process exists.
static int64_t RunCommandLine(char* line)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return -1;
    if (SfxSettings.flags & FLAG_HIDE_FRAME)
        SetFrameShown(FrameWindow, FALSE);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode))
        exitCode = UNREADABLE_EXIT_CODE;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// 0 when the slot is empty or its command ran with exit code 0, 1 when it
// ended otherwise (the sequence stops as after success), -1 on failure.
static int RunSlot(const LocalizedText* slot)
{
    if (slot->text == NULL)
        return 0;
    // A plain line goes to the system as it stands, whatever its length; it
    // lies in the trailer's heap block, which CreateProcessA may write into.
    char rebuilt[COMMAND_LINE_SIZE];
    char* line = (char*)slot->text;
    if (IsAliasCommand(slot->text)) {
        if (RebuildAliasCommand(rebuilt, slot->text) != 0)
            return -1;
        line = rebuilt;
    }
    int64_t exitCode = RunCommandLine(line);
    if (exitCode < 0)
        return -1;
    return exitCode == 0 ? 0 : 1;
}

static DWORD FinishRunner(const char* savedDirectory, UINT message)
{
    SetCurrentDirectoryA(savedDirectory);
    // Cleared before the report, so that Cancel on the exit page it brings
    // always finds no worker running.
    WorkerThreadId = 0;
    PostMessageA(FrameWindow, message, 0, 0);
    return message == WM_COMMANDS_DONE ? 0 : 1;
}

DWORD WINAPI CommandRunner(LPVOID)
{
    char savedDirectory[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, savedDirectory);
    SetCurrentDirectoryA(TargetFolder);
    const LocalizedText* slots[2] = {&SfxSettings.command1, &SfxSettings.command2};
    for (int i = 0; i < 2; i++) {
        int result = RunSlot(slots[i]);
        if (result < 0)
            return FinishRunner(savedDirectory, WM_COMMAND_FAILED);
        if (result > 0)
            break;
    }
    return FinishRunner(savedDirectory, WM_COMMANDS_DONE);
}
