// Reading a password on Windows: the console read key by key, without
// echo, and the environment through the wide calls.
#include "password_input.h"

#include <windows.h>

#include "crypto/secure_wipe.h"
#include "interruption.h"
#include "output_text.h"
#include "packer_error.h"
#include "password_input_shared.h"
#include "wide_text.h"

namespace packer {

namespace {

// How often a wait for the next key looks whether Ctrl-C was pressed.
constexpr DWORD kKeyWaitMilliseconds = 50;

// Ctrl-C as a character: Wine puts it into the input of a key-by-key read
// instead of calling the console control handler as Windows does.
constexpr wchar_t kControlC = 0x03;
// Ctrl-Z, which ends the input of a console.
constexpr wchar_t kControlZ = 0x1A;

enum class LineEnd { kEnter, kInterrupted, kClosed };

// Appends what is typed to line until Enter. A whole-line read of the
// console cannot be interrupted (under Wine, Ctrl-C does not end it), so
// keys are taken one at a time, with a look at the interrupt flag, which
// the console control handler sets, between them.
LineEnd ReadKeys(HANDLE input, std::wstring& line)
{
    for (;;) {
        if (InterruptRequested())
            return LineEnd::kInterrupted;
        DWORD waited = WaitForSingleObject(input, kKeyWaitMilliseconds);
        if (waited == WAIT_TIMEOUT)
            continue;
        INPUT_RECORD record;
        DWORD count = 0;
        if (waited != WAIT_OBJECT_0 || !ReadConsoleInputW(input, &record, 1, &count))
            return LineEnd::kClosed;
        if (count == 0 || record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
            continue;
        wchar_t typed = record.Event.KeyEvent.uChar.UnicodeChar;
        WORD repeat = record.Event.KeyEvent.wRepeatCount;
        SecureWipe(&record, sizeof record);
        if (typed == L'\r' || typed == L'\n')
            return LineEnd::kEnter;
        if (typed == kControlC)
            return LineEnd::kInterrupted;
        if (typed == kControlZ)
            return LineEnd::kClosed;
        if (typed == L'\b') {
            for (; repeat > 0 && !line.empty(); repeat--) {
                bool pair = line.size() >= 2 && IS_LOW_SURROGATE(line.back());
                line.resize(line.size() - (pair ? 2 : 1));
            }
        } else if (typed >= L' ') {
            line.append(repeat, typed);
        }
    }
}

}  // namespace

std::string ReadPasswordEnvironment(const std::string& variable)
{
    std::wstring name = Utf8ToWide(variable);
    DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0)
        throw PackerError("the environment variable " + variable + " is not set");
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name.c_str(), &value[0], size));
    std::string utf8 = WideToUtf8(value);
    SecureWipe(&value[0], static_cast<uint32_t>(value.size() * sizeof(wchar_t)));
    return utf8;
}

std::string PromptLine(const char* prompt)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode))
        throw PackerError("no console to ask for the password; use --password-file or --password-env");
    // Ctrl-C stays the system's (processed input), to call the handler.
    SetConsoleMode(input, (mode & ~(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT)) | ENABLE_PROCESSED_INPUT);
    WriteText(stderr, prompt);
    std::wstring line;
    line.reserve(256);   // no copies left behind by growing, for passwords of usual length
    LineEnd end = ReadKeys(input, line);
    SetConsoleMode(input, mode);
    WriteText(stderr, "\n");
    std::string utf8 = WideToUtf8(line);
    if (!line.empty())
        SecureWipe(&line[0], static_cast<uint32_t>(line.size() * sizeof(wchar_t)));
    if (end != LineEnd::kEnter)
        WipePassword(utf8);
    if (end == LineEnd::kInterrupted)
        throw PackerError("interrupted");
    if (end == LineEnd::kClosed)
        throw PackerError("no password was typed");
    return utf8;
}

}  // namespace packer
