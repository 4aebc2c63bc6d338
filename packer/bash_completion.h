// A bash completion script written from the CLI11 definitions: the
// commands, each command's options, and for every value the kind of word
// that fits it, told by the value's name (FILE, FOLDER, SOURCE, PACKAGE:
// file names; FOLDER: folders only; VAR: environment variables; COMMAND:
// the commands and the help's topics). The build writes it once with the
// packer it just made.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace packer {

// topics: the words `help` takes besides the commands.
std::string BashCompletionScript(const CLI::App& program, const std::vector<std::string>& topics);

}  // namespace packer
