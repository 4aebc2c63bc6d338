// The switches' process-wide values and the run's log.
#include "startup/win32/unattended_run.h"

#include "resource_ids.h"
#include "startup/win32/startup_state.h"

// The time, the step, a blank and a text as long as the longest message.
#define LOG_LINE_SIZE 1280
#define LOG_NUMBER_SIZE 16

CommandSwitches RunSwitches;
HANDLE RunLogFile = INVALID_HANDLE_VALUE;

int IsSilentRun(void)
{
    return (RunSwitches.given & SWITCH_SILENT) != 0;
}

// The log is opened before the extraction folder exists, and that folder
// is always made new or must be empty, so the log never lies inside it and
// the cleanup never takes it. Others may read it while the run goes on.
uint32_t ReadRunSwitches(void)
{
    ParseCommandSwitches(GetCommandLineA(), &RunSwitches);
    if (!(RunSwitches.given & SWITCH_LOG))
        return 0;
    RunLogFile = CreateFileA(RunSwitches.logFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (RunLogFile == INVALID_HANDLE_VALUE) {
        RecordFailure(IDS_ERR_CREATE_FILE, RunSwitches.logFile, GetLastError());
        return IDS_ERR_CREATE_FILE;
    }
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, program, MAX_PATH);
    program[length < MAX_PATH ? length : 0] = 0;
    LogLine("start", program);
    return 0;
}

void LogLine(const char* step, const char* text)
{
    if (RunLogFile == INVALID_HANDLE_VALUE)
        return;
    char line[LOG_LINE_SIZE];
    SYSTEMTIME now;
    GetLocalTime(&now);
    // wsprintfA writes at most 1024 bytes; the step is one of ours and short.
    int used = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u %s ", now.wYear, now.wMonth, now.wDay, now.wHour,
                         now.wMinute, now.wSecond, step);
    for (; *text != 0 && used < LOG_LINE_SIZE - 2; text++)
        line[used++] = (unsigned char)*text < ' ' ? ' ' : *text;
    line[used++] = '\r';
    line[used++] = '\n';
    DWORD written;
    WriteFile(RunLogFile, line, (DWORD)used, &written, NULL);
}

void LogNumber(const char* step, DWORD number)
{
    char text[LOG_NUMBER_SIZE];
    wsprintfA(text, "%lu", number);
    LogLine(step, text);
}

void EndRun(UINT code)
{
    LogNumber("end, exit code", code);
    ExitProcess(code);
}
