// The packer behind main(): main_win.cpp and main_posix.cpp hand it the
// command line, each in the way its system needs.
#pragma once

namespace packer {

// Parses the command line and runs the command; returns the exit code.
int Main(int argc, char** argv);

}  // namespace packer
