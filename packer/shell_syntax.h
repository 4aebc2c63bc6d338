// How a command line is written in the shell people call the packer from:
// the POSIX shell on Linux (and in the man page), cmd.exe on Windows. The
// help's examples are written in it, and what one shell does and the other
// does not (cmd.exe keeps single quotes; "/?" asks for help there) is told
// from it. Both syntaxes exist on both systems; main_win.cpp and
// main_posix.cpp say which one their system's users type.
#pragma once

#include <string>
#include <vector>

namespace packer {

enum class ShellSyntax {
    kPosix,   // sh, bash: 'single' and "double" quotes, export NAME=value
    kCmd,     // cmd.exe: "double" quotes only, set NAME=value
};

// The prompt an example line starts with: "$ " or "> ".
const char* ShellPrompt(ShellSyntax shell);

// A word quoted so that the shell hands it to the program whole and as it
// is; as it stands when it needs no quotes. POSIX: double quotes unless the
// word holds what is special in them (a backslash, $, `, ", !), then
// single quotes. cmd.exe: double quotes around blanks and & | < > ^ ( ),
// with backslashes before a closing quote doubled, as the C runtime reads
// them.
std::string QuoteWord(const std::string& word, ShellSyntax shell);

// The words as one command line, each quoted as it needs.
std::string CommandLine(const std::vector<std::string>& words, ShellSyntax shell);

// The line that sets an environment variable for the commands after it:
// "export NAME='value'" or "set NAME=value".
std::string SetVariableLine(const std::string& name, const std::string& value, ShellSyntax shell);

// True for the words that ask for help in this shell's tradition beside
// -h and --help: "/?" and "-?" in cmd.exe, where '?' can be in no file
// name. A POSIX shell could expand either to a file name, so there they are
// left alone.
bool IsHelpAlias(const std::string& word, ShellSyntax shell);

// True for a value that starts and ends with a single quote: cmd.exe hands
// such quotes on as part of the value, where a POSIX shell takes them away.
bool IsSingleQuoted(const std::string& value);

}  // namespace packer
