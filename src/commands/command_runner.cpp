// The command runner: runs the configured commands in order, in the
// extraction folder, and reports to the frame once, at its end.
#include "command_runner.h"

#include "../extract/path_helpers.h"
#include "../extract/target_folder.h"
#include "../startup/checked_alloc.h"
#include "../startup/config_trailer.h"
#include "../startup/settings.h"
#include "../wizard/frame_link.h"
#include "program_search.h"

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

// The command line that starts a batch file. Not every system runs one
// given as the application name, and the documented way is the command
// interpreter with "/c" and the batch file; the interpreter is named by its
// full path from the system folder, as any program is. With "/s" it takes
// away exactly the first and the last quote of what follows "/c" and runs
// the rest as it stands: the batch file's full path in quotes of its own
// (any folder name stays one word, and "&" or "^" in it stay letters), then
// the arguments as the package wrote them:
//   "C:\Windows\system32\cmd.exe" /s /c ""C:\Temp\_X04AB12\install.cmd" /quiet"
// A heap block, with the interpreter's path in interpreter; null when the
// system folder cannot be had.
static char* BuildBatchLine(char interpreter[MAX_PATH], const CommandProgram* program)
{
    UINT folderLength = GetSystemDirectoryA(interpreter, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH || PathJoin(interpreter, MAX_PATH, "cmd.exe") == NULL)
        return NULL;
    static const char Switches[] = "\" /s /c \"\"";
    int interpreterLength = lstrlenA(interpreter);
    int pathLength = lstrlenA(program->path);
    int argumentsLength = lstrlenA(program->arguments);
    // The quote, the interpreter, the switches, the path, its quote, a blank,
    // the arguments, the last quote and the zero.
    uint32_t size = 1 + interpreterLength + (sizeof Switches - 1) + pathLength + 1 + 1 + argumentsLength + 1 + 1;
    char* line = (char*)CheckedAlloc(size);
    char* at = line;
    *at++ = '"';
    CopyMemory(at, interpreter, (SIZE_T)interpreterLength);
    at += interpreterLength;
    CopyMemory(at, Switches, sizeof Switches - 1);
    at += sizeof Switches - 1;
    CopyMemory(at, program->path, (SIZE_T)pathLength);
    at += pathLength;
    *at++ = '"';
    if (argumentsLength > 0) {
        *at++ = ' ';
        CopyMemory(at, program->arguments, (SIZE_T)argumentsLength);
        at += argumentsLength;
    }
    *at++ = '"';
    *at = 0;
    return line;
}

// Starts the program with the line and waits for it; its exit code, 255
// when unreadable, or -1 when it could not be started. Hides the frame once
// the process exists.
static int64_t RunCommandLine(const char* program, char* line)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
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
    // The line goes to the system as the package wrote it (an alias line as
    // rebuilt), with the program found here as the application name, so that
    // the system searches no folder of its own for it. The line lies in the
    // trailer's heap block, which CreateProcessA may write into.
    char rebuilt[COMMAND_LINE_SIZE];
    char* line = (char*)SkipBlanks(slot->text);
    if (IsAliasCommand(line)) {
        if (RebuildAliasCommand(rebuilt, line) != 0)
            return -1;
        line = rebuilt;
    }
    CommandProgram program;
    if (FindCommandProgram(line, &program) != 0)
        return -1;
    const char* application = program.path;
    char interpreter[MAX_PATH];
    if (IsBatchProgram(program.path)) {
        line = BuildBatchLine(interpreter, &program);
        if (line == NULL)
            return -1;
        application = interpreter;
    }
    int64_t exitCode = RunCommandLine(application, line);
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
