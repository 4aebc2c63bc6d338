// Reading passwords without showing them.
#include "password_input.h"

#include <cstdio>
#include <cstdlib>

#include "crypto/password_check.h"
#include "crypto/secure_wipe.h"
#include "file_system.h"
#include "interruption.h"
#include "packer_error.h"
#include "text_encoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace packer {

namespace {

constexpr std::size_t kMaxPasswordFileSize = 4096;

void DropLineEnd(std::string& text)
{
    std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) {
        SecureWipe(&text[end], static_cast<uint32_t>(text.size() - end));
        text.resize(end);
    }
}

std::string ReadPasswordFile(const std::string& name)
{
    InputFile file(PathFromUtf8(name));
    std::string text(kMaxPasswordFileSize, '\0');
    std::size_t n = file.read(reinterpret_cast<std::uint8_t*>(&text[0]), text.size());
    text.resize(n);
    // The password is the first line, so that a file written by an editor
    // with its closing line end holds the password without it.
    DropLineEnd(text);
    return text;
}

std::string ReadPasswordEnvironment(const std::string& variable)
{
#ifdef _WIN32
    std::wstring name = Utf8ToWide(variable);
    DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0)
        throw PackerError("the environment variable " + variable + " is not set");
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name.c_str(), &value[0], size));
    std::string utf8 = WideToUtf8(value);
    SecureWipe(&value[0], static_cast<uint32_t>(value.size() * sizeof(wchar_t)));
    return utf8;
#else
    const char* value = std::getenv(variable.c_str());
    if (value == nullptr)
        throw PackerError("the environment variable " + variable + " is not set");
    return value;
#endif
}

#ifdef _WIN32
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
#else
std::string PromptLine(const char* prompt)
{
    if (!isatty(STDIN_FILENO))
        throw PackerError("no terminal to ask for the password; use --password-file or --password-env");
    struct termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        throw PackerError("cannot switch off the echo of the terminal: " + LastSystemError());
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // Echo off before the prompt shows: the flush drops what was typed
    // ahead, and an answer typed right after the prompt must not be lost.
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0)
        throw PackerError("cannot switch off the echo of the terminal: " + LastSystemError());
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    std::string line;
    bool ended = false;
    for (char c; read(STDIN_FILENO, &c, 1) == 1;) {
        if (c == '\n') {
            ended = true;
            break;
        }
        line.push_back(c);
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!ended) {
        WipePassword(line);
        std::fputs("\n", stderr);
        CheckInterrupted();
        throw PackerError("no password was typed");
    }
    DropLineEnd(line);
    return line;
}
#endif

}  // namespace

void WipePassword(std::string& password)
{
    if (!password.empty())
        SecureWipe(&password[0], static_cast<uint32_t>(password.size()));
    password.clear();
}

std::string ReadPassword(const PasswordSource& source, bool confirm)
{
    std::string typed;
    if (!source.file.empty()) {
        typed = ReadPasswordFile(source.file);
    } else if (!source.environment.empty()) {
        typed = ReadPasswordEnvironment(source.environment);
    } else {
        typed = PromptLine("Password: ");
        if (confirm) {
            std::string again = PromptLine("Password again: ");
            bool same = again == typed;
            WipePassword(again);
            if (!same) {
                WipePassword(typed);
                throw PackerError("the two passwords differ");
            }
        }
    }
    std::string password;
    bool encoded = Utf8ToAnsi(typed, password);
    WipePassword(typed);
    if (!encoded) {
        WipePassword(password);
        // The character itself stays unnamed: it is part of a secret.
        throw PackerError("the password holds a character that the stub's password page cannot take "
                          "(it reads Windows-1252)");
    }
    if (password.empty())
        throw PackerError("the password is empty");
    if (password.size() > PASSWORD_MAX_LENGTH) {
        std::size_t length = password.size();
        WipePassword(password);
        throw PackerError("the password is " + std::to_string(length) + " bytes long; the stub takes at most " +
                          std::to_string(PASSWORD_MAX_LENGTH));
    }
    return password;
}

}  // namespace packer
