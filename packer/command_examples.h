// The examples each help text ends with, defined once as the words a
// program receives and written out in the syntax of a shell
// (shell_syntax.h): the man page and the help on Linux show them for the
// POSIX shell, the help on Windows for cmd.exe.
#pragma once

#include <string>
#include <vector>

#include "shell_syntax.h"

namespace packer {

struct CommandExample {
    std::string command;    // whose help shows it; empty: the program's own
    std::string variable;   // an environment variable set first; empty: none
    std::string value;      // the variable's value
    std::vector<std::string> words;   // the arguments after "sfxpack"
};

// Every example, in the order the helps show them.
const std::vector<CommandExample>& CommandExamples();

// "Examples:" and the command's example lines ("" for the program's own),
// each after the shell's prompt and indented by two blanks.
std::string ExamplesText(const std::string& command, ShellSyntax shell);

}  // namespace packer
