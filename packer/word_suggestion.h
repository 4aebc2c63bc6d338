// What a mistyped word probably meant: for unknown commands, options and
// config keys alike.
#pragma once

#include <string>
#include <vector>

namespace packer {

// The one candidate the word most likely meant: the only one it begins (3
// letters at least), or the nearest within two single-character edits
// that is not nearly all edits. Empty when none is that near.
std::string NearestName(const std::string& word, const std::vector<std::string>& candidates);

// "; did you mean NAME?" for the nearest candidate, or nothing.
std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace packer
