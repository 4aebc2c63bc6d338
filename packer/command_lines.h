// What the packer can tell about a package's command lines before it is
// shipped: which program a plain line starts, and whether the package
// holds it. The stub looks for a plain line's program itself: in the
// extraction folder, then in the system folder, the Windows folder and the
// folders of PATH. A program the package does not hold thus comes from the
// user's system, which is right for the system's own programs and a
// surprise for anything else.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "package_settings.h"
#include "source_entries.h"

namespace packer {

// True for a line in alias form: a double quote, two separators and "!".
bool IsAliasCommand(std::string_view line);

// The names the stub tries, in order, for the program of a plain line
// (leading blanks are no part of it): the text in double quotes when the
// line starts with one; else each run of words from the start ("my", "my
// setup.exe", ...), as the system cannot tell where a name with blanks ends.
std::vector<std::string> CommandProgramNames(std::string_view line);

// Adds a warning for each plain command line whose program the stub would
// not take from the package and which is no usual program of Windows, or
// which the stub will not start at all.
void WarnAboutCommandPrograms(const PackageSettings& settings, const std::vector<SourceEntry>& entries,
                              std::vector<std::string>& warnings);

}  // namespace packer
