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
// sentence for each change. problems receives a line, naming the list's
// line, for every name the stub cannot map or that would leave the
// extraction folder; nothing is returned then.
std::optional<std::vector<std::uint8_t>> PrepareDeleteList(const std::string& shownName,
                                                           const std::vector<std::uint8_t>& content,
                                                           std::vector<std::string>& notes,
                                                           std::vector<std::string>& problems);
// The same; throws PackerError holding the problems, one a line.
std::optional<std::vector<std::uint8_t>> PrepareDeleteList(const std::string& shownName,
                                                           const std::vector<std::uint8_t>& content,
                                                           std::vector<std::string>& notes);

}  // namespace packer
