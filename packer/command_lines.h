// What the packer can tell about a package's command lines before it is
// shipped: which program a plain line starts, and whether the package
// holds it. A plain line goes to CreateProcess without an application
// name, and Windows looks for a program given by a bare or relative name
// in the folder of the running package first, usually the Downloads
// folder, where a file of that name may already wait.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "package_settings.h"
#include "source_entries.h"

namespace packer {

// True for a line in alias form: a double quote, two separators and "!".
bool IsAliasCommand(std::string_view line);

// The program a plain line starts, as CreateProcess reads it from a line
// without an application name: the text in double quotes when the line
// starts with one, else everything up to the first space or tab.
std::string CommandProgram(std::string_view line);

// Adds a warning for each plain command line whose program is neither a
// full path nor a file the package holds under that name.
void WarnAboutCommandPrograms(const PackageSettings& settings, const std::vector<SourceEntry>& entries,
                              std::vector<std::string>& warnings);

}  // namespace packer
