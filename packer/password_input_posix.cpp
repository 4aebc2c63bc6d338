// Reading a password on Linux: the terminal with its echo off, and the
// environment.
#include "password_input.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "file_system.h"
#include "interruption.h"
#include "output_text.h"
#include "packer_error.h"
#include "password_input_shared.h"

namespace packer {

std::string ReadPasswordEnvironment(const std::string& variable)
{
    const char* value = std::getenv(variable.c_str());
    if (value == nullptr)
        throw PackerError("the environment variable " + variable + " is not set");
    return value;
}

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
    WriteText(stderr, prompt);
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
        WriteText(stderr, "\n");
        CheckInterrupted();
        throw PackerError("no password was typed");
    }
    DropLineEnd(line);
    return line;
}

}  // namespace packer
