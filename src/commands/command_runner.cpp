// The command runner: runs the configured commands in order, in the
// extraction folder, and reports to the frame once, at its end.
#include "commands/command_runner.h"

#include "commands/process_calls.h"
#include "commands/program_search.h"
#include "extract/path_helpers.h"
#include "extract/win32/extract_state.h"
#include "extract/win32/target_folder.h"
#include "startup/settings.h"
#include "startup/win32/checked_alloc.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/system_reason.h"
#include "startup/win32/unattended_run.h"
#include "resource_ids.h"
#include "wizard/frame_link.h"

#define ALIAS_NAME_START 4   // after the quote, two separators and '!'
#define UNREADABLE_EXIT_CODE 255
#define FAILURE_FORMAT_SIZE 128

char CommandFailure[COMMAND_FAILURE_SIZE];
DWORD CommandExitCode;

int HasCommandsToRun(void)
{
    if (RunSwitches.given & SWITCH_EXTRACT_ONLY)
        return 0;
    return SfxSettings.command1.text != NULL || SfxSettings.command2.text != NULL;
}

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

// Puts the message for a program that could not be started into
// CommandFailure: its name, and the system's reason on a second line.
static void NoteStartFailure(const char* program, int programLength, DWORD error)
{
    char format[FAILURE_FORMAT_SIZE];
    char name[MAX_PATH];
    char reason[SYSTEM_REASON_SIZE];
    if (LoadStringA(ModuleInstance, IDS_ERR_START_PROGRAM + UiStringOffset, format, FAILURE_FORMAT_SIZE) <= 0)
        return;
    if (programLength >= MAX_PATH)
        programLength = MAX_PATH - 1;
    CopyMemory(name, program, (SIZE_T)programLength);
    name[programLength] = 0;
    FormatSystemReason(error, reason);
    // wsprintfA writes at most 1024 bytes, which is the buffer's size.
    wsprintfA(CommandFailure, format, name, reason);
}

// The program's name as the line gives it: the text in quotes, or the first
// word. Its length goes to length.
static const char* ProgramWord(const char* line, int* length)
{
    const char* end;
    if (*line == '"') {
        line++;
        for (end = line; *end != 0 && *end != '"'; end++) {
        }
    } else {
        for (end = line; *end != 0 && *end != ' ' && *end != '\t'; end++) {
        }
    }
    *length = (int)(end - line);
    return line;
}

// Waits for a started process and takes its exit code, 255 when unreadable.
// Hides the frame once the process exists.
static int64_t WaitForProcess(HANDLE process)
{
    // A silent run has no frame.
    if ((SfxSettings.flags & FLAG_HIDE_FRAME) && FrameWindow != NULL)
        SetFrameShown(FrameWindow, FALSE);
    if (process == NULL)
        return UNREADABLE_EXIT_CODE;
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process, &exitCode))
        exitCode = UNREADABLE_EXIT_CODE;
    CloseHandle(process);
    return exitCode;
}

// A program whose manifest asks for administrator rights (or that the
// system's installer detection flags) is refused by CreateProcessA with
// ERROR_ELEVATION_REQUIRED; only the shell can ask the user for consent.
// The same program, its arguments and folder go to it with the verb
// "runas". NOASYNC: the process must exist when the call returns, since
// this thread waits for it at once. -1 when it could not be started, the
// user's refusal (ERROR_CANCELLED) included; the error is left for the
// caller.
static int64_t RunElevated(const char* program, const char* parameters)
{
    SHELLEXECUTEINFOA execute;
    ZeroMemory(&execute, sizeof execute);
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    execute.hwnd = FrameWindow;
    execute.lpVerb = "runas";
    execute.lpFile = program;
    execute.lpParameters = parameters;
    execute.lpDirectory = TargetFolder;
    execute.nShow = SW_SHOWNORMAL;
    if (!ProcessCalls.shellExecuteEx(&execute))
        return -1;
    return WaitForProcess(execute.hProcess);
}

// Starts the program with the line and waits for it; its exit code, 255
// when unreadable, or -1 when it could not be started (the system's error
// in CommandFailure). parameters is the line behind the program's name,
// which is what the shell takes when the program needs elevation.
static int64_t RunCommandLine(const char* program, char* line, const char* parameters)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (ProcessCalls.createProcess(program, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        return WaitForProcess(process.hProcess);
    }
    DWORD error = GetLastError();
    if (error == ERROR_ELEVATION_REQUIRED) {
        int64_t exitCode = RunElevated(program, parameters);
        if (exitCode >= 0)
            return exitCode;
        error = GetLastError();
    }
    NoteStartFailure(program, lstrlenA(program), error);
    return -1;
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
    if (FindCommandProgram(line, &program) != 0) {
        int length;
        const char* name = ProgramWord(line, &length);
        NoteStartFailure(name, length, ERROR_FILE_NOT_FOUND);
        return -1;
    }
    const char* application = program.path;
    const char* parameters = program.arguments;
    char interpreter[MAX_PATH];
    if (IsBatchProgram(program.path)) {
        line = BuildBatchLine(interpreter, &program);
        if (line == NULL)
            return -1;
        application = interpreter;
        // Behind the interpreter's quoted path and its blank.
        parameters = line + 1 + lstrlenA(interpreter) + 2;
    }
    LogLine("command", line);
    int64_t exitCode = RunCommandLine(application, line, parameters);
    if (exitCode < 0)
        return -1;
    CommandExitCode = (DWORD)exitCode;
    LogNumber("command's exit code", CommandExitCode);
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
