// The delete list inside a package: a text file of paths, one per line,
// that the stub deletes from the extraction folder when it ends. Its lines
// are file names, so they must be in the stub's OEM name bytes, and a path
// that leads out of the folder would delete the user's own files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace packer {

// Checks a delete list's content and returns the content to pack when it
// must change: UTF-8 names turned into OEM bytes, and a line end added to
// a last line without one (the stub ignores such a line). notes receives a
// sentence for each change. Throws PackerError naming the line for a name
// the stub cannot map or one that would leave the extraction folder.
std::optional<std::vector<std::uint8_t>> PrepareDeleteList(const std::string& shownName,
                                                           const std::vector<std::uint8_t>& content,
                                                           std::vector<std::string>& notes);

}  // namespace packer
