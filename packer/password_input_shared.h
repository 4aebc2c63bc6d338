// What reading a password takes from each system (password_input_win.cpp,
// password_input_posix.cpp), and the helper those halves share with
// password_input.cpp. Nothing else includes it.
#pragma once

#include <string>

namespace packer {

// Cuts text at its first line end; the cut part is wiped.
void DropLineEnd(std::string& text);

// The variable's value in UTF-8, copies wiped. Throws PackerError when it is
// not set.
std::string ReadPasswordEnvironment(const std::string& variable);

// Shows prompt on stderr and reads a line with the echo off. Throws
// PackerError when there is no terminal or nothing was typed.
std::string PromptLine(const char* prompt);

}  // namespace packer
