// The command runner: runs the configured commands in order, in the
// extraction folder, and reports to the frame once, at its end.
#include "command_runner.h"

#include "../extract/path_helpers.h"
#include "../extract/target_folder.h"
#include "../startup/checked_alloc.h"
#include "../startup/config_trailer.h"
#include "../startup/settings.h"
#include "../wizard/frame_link.h"

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

// The program token of a plain line, as the system splits it: from a
// leading quote to the closing one, else up to the first blank. *rest
// points behind it (behind the closing quote).
static int FindProgramToken(const char* line, const char** token, const char** rest)
{
    const char* start = line;
    const char* end;
    if (*start == '"') {
        start++;
        end = start;
        while (*end != 0 && *end != '"')
            end++;
        *rest = *end == '"' ? end + 1 : end;
    } else {
        end = start;
        while (*end != 0 && *end != ' ' && *end != '\t')
            end++;
        *rest = end;
    }
    *token = start;
    return (int)(end - start);
}

static int IsExistingFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Finds the file a bare program name means in the extraction folder: the
// name itself, or without an extension the name and ".exe", as the system
// would look for it. 0 with the full path in path, or -1.
static int FindExtractedProgram(char path[MAX_PATH], const char* token, int length)
{
    char name[MAX_PATH];
    if (length == 0 || length + 5 > MAX_PATH)
        return -1;
    CopyMemory(name, token, (SIZE_T)length);
    name[length] = 0;
    for (int i = 0; i < length; i++)
        if (IsPathSeparator(name[i]) || name[i] == ':')
            return -1;
    lstrcpyA(path, TargetFolder);
    if (PathJoin(path, MAX_PATH, name) == NULL)
        return -1;
    if (IsExistingFile(path))
        return 0;
    for (int i = 0; i < length; i++)
        if (name[i] == '.')
            return -1;
    int pathLength = lstrlenA(path);
    if (pathLength + 5 > MAX_PATH)
        return -1;
    lstrcpyA(path + pathLength, ".exe");
    return IsExistingFile(path) ? 0 : -1;
}

char* PinProgramToExtractionFolder(const char* line)
{
    const char* token;
    const char* rest;
    int length = FindProgramToken(line, &token, &rest);
    char program[MAX_PATH];
    if (FindExtractedProgram(program, token, length) != 0)
        return NULL;
    int programLength = lstrlenA(program);
    char* pinned = (char*)CheckedAlloc((uint32_t)(programLength + lstrlenA(rest) + 3));
    pinned[0] = '"';
    CopyMemory(pinned + 1, program, (SIZE_T)programLength);
    pinned[programLength + 1] = '"';
    lstrcpyA(pinned + programLength + 2, rest);
    return pinned;
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
    // A plain line goes to the system as it stands, whatever its length,
    // unless its program lies in the extraction folder; it is then named by
    // its full path, so that no file of that name elsewhere is started. The
    // line lies in the trailer's heap block, which CreateProcessA may write into.
    char rebuilt[COMMAND_LINE_SIZE];
    char* line = (char*)slot->text;
    if (IsAliasCommand(slot->text)) {
        if (RebuildAliasCommand(rebuilt, slot->text) != 0)
            return -1;
        line = rebuilt;
    } else {
        char* pinned = PinProgramToExtractionFolder(slot->text);
        if (pinned != NULL)
            line = pinned;
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
    // Run anywhere else, the commands would start in the package's own
    // folder and find whatever lies there.
    if (!SetCurrentDirectoryA(TargetFolder))
        return FinishRunner(savedDirectory, WM_COMMAND_FAILED);
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
