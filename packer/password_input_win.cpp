// Reading a password on Windows: the console with its echo off, and the
// environment through the wide calls.
#include "password_input.h"

#include <windows.h>

#include <cstdio>

#include "crypto/secure_wipe.h"
#include "packer_error.h"
#include "password_input_shared.h"
#include "wide_text.h"

namespace packer {

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
    SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT);
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    std::wstring line;
    wchar_t buffer[256];
    DWORD got = 0;
    bool ok = true;
    while (line.find(L'\n') == std::wstring::npos && line.find(L'\r') == std::wstring::npos) {
        if (!ReadConsoleW(input, buffer, 256, &got, nullptr) || got == 0) {
            ok = false;
            break;
        }
        line.append(buffer, got);
    }
    SecureWipe(buffer, sizeof buffer);
    SetConsoleMode(input, mode);
    std::fputs("\n", stderr);
    std::string utf8 = WideToUtf8(line);
    SecureWipe(&line[0], static_cast<uint32_t>(line.size() * sizeof(wchar_t)));
    if (!ok)
        throw PackerError("no password was typed");
    DropLineEnd(utf8);
    return utf8;
}

}  // namespace packer
