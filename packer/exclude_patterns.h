// Paths left out of a package: glob patterns from --exclude and the config
// file's exclude list, matched against each entry's path inside the
// package ('/' between folders).
//
// `*` matches within one name, `**` across folders (`a/**/b` also matches
// `a/b`), `?` one character, `[abc]`, `[a-z]` and `[!abc]` one of a set. A
// pattern without a '/' matches a name in any folder (`*.bak`, `.git`); one
// with a '/' matches the path from the top (a leading '/' only anchors it).
// A pattern that ends in '/' matches folders only. A backslash is a
// separator like '/', as names cannot hold one. Letters match without regard
// to case, as on Windows, where the package is extracted.
#pragma once

#include <string>
#include <vector>

namespace packer {

class ExcludePatterns {
  public:
    ExcludePatterns() = default;
    // Throws PackerError naming a pattern that cannot be used: an empty one,
    // a '[' without its ']', text that is not UTF-8.
    explicit ExcludePatterns(const std::vector<std::string>& patterns);

    bool empty() const { return patterns_.empty(); }

    // True when the entry at path (UTF-8, no '/' at the end) is left out.
    bool excludes(const std::string& path, bool folder) const;
    // The same, and true as well when a folder above path is left out: for
    // sources that list deep names without their folders (ZIP files).
    bool excludesWithParents(const std::string& path, bool folder) const;

  private:
    struct Pattern {
        std::u32string glob;    // case folded, separators as '/', no '/' at either end
        bool anchored = false;  // matches from the top only
        bool foldersOnly = false;
    };
    bool matches(const Pattern& pattern, const std::u32string& path, bool folder) const;

    std::vector<Pattern> patterns_;
};

}  // namespace packer
