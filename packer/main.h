// The packer behind main(): main_win.cpp and main_posix.cpp hand it the
// command line, each in the way its system needs.
#pragma once

#include "shell_syntax.h"

namespace packer {

// Parses the command line and runs the command; returns the exit code.
// shell: how the system's users write command lines, for the help's
// examples and what that shell's users type.
int Main(int argc, char** argv, ShellSyntax shell);

}  // namespace packer
