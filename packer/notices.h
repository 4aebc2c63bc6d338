// What the packer tells its user besides errors: notes (something it did on
// its own, such as skipping a link) and warnings (a likely mistake that does
// not stop it). Both go to standard error, so that standard output carries
// only the command's own result.
#pragma once

#include <string>

namespace packer {

void PrintNote(const std::string& text);
void PrintWarning(const std::string& text);

}  // namespace packer
