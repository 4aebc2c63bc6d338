// Matching entry paths against exclude patterns.
#include "exclude_patterns.h"

#include "packer_error.h"
#include "text_encoding.h"

namespace packer {

namespace {

// Upper case to lower case for the letters of Latin-1, which hold every
// letter a package name may carry; other characters compare as they are.
char32_t FoldCase(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c - U'A' + U'a';
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    return c;
}

std::u32string Folded(std::u32string text)
{
    for (char32_t& c : text)
        c = c == U'\\' ? U'/' : FoldCase(c);
    return text;
}

// The end of the set that starts at pattern[at] ('['), at its ']'; npos
// when there is none. A ']' right after "[" or "[!" belongs to the set.
std::size_t SetEnd(const std::u32string& pattern, std::size_t at)
{
    std::size_t i = at + 1;
    if (i < pattern.size() && (pattern[i] == U'!' || pattern[i] == U'^'))
        i++;
    if (i < pattern.size() && pattern[i] == U']')
        i++;
    while (i < pattern.size() && pattern[i] != U']')
        i++;
    return i < pattern.size() ? i : std::u32string::npos;
}

bool InSet(const std::u32string& pattern, std::size_t open, std::size_t close, char32_t c)
{
    std::size_t i = open + 1;
    bool negated = pattern[i] == U'!' || pattern[i] == U'^';
    if (negated)
        i++;
    bool found = false;
    for (; i < close; i++) {
        if (i + 2 < close && pattern[i + 1] == U'-') {
            found = found || (c >= pattern[i] && c <= pattern[i + 2]);
            i += 2;
        } else {
            found = found || c == pattern[i];
        }
    }
    return found != negated;
}

// Matches pattern[p..] against path[s..] whole. Patterns are short, so
// plain backtracking serves.
bool Match(const std::u32string& pattern, std::size_t p, const std::u32string& path, std::size_t s)
{
    while (p < pattern.size()) {
        char32_t c = pattern[p];
        if (c == U'*') {
            std::size_t after = p;
            while (after < pattern.size() && pattern[after] == U'*')
                after++;
            if (after - p >= 2) {
                // "**/" between folders also stands for no folder at all.
                bool wholeName = (p == 0 || pattern[p - 1] == U'/') && after < pattern.size() &&
                                 pattern[after] == U'/';
                if (wholeName && Match(pattern, after + 1, path, s))
                    return true;
                for (std::size_t k = s; k <= path.size(); k++)
                    if (Match(pattern, after, path, k))
                        return true;
                return false;
            }
            for (std::size_t k = s;; k++) {
                if (Match(pattern, after, path, k))
                    return true;
                if (k == path.size() || path[k] == U'/')
                    return false;
            }
        }
        if (s == path.size())
            return false;
        if (c == U'?' || c == U'[') {
            if (path[s] == U'/')
                return false;
            if (c == U'[') {
                std::size_t close = SetEnd(pattern, p);
                if (!InSet(pattern, p, close, path[s]))
                    return false;
                p = close;
            }
        } else if (c != path[s]) {
            return false;
        }
        p++;
        s++;
    }
    return s == path.size();
}

}  // namespace

ExcludePatterns::ExcludePatterns(const std::vector<std::string>& patterns)
{
    for (const std::string& text : patterns) {
        std::string where = "exclude pattern \"" + text + "\": ";
        std::u32string decoded;
        if (!DecodeUtf8(text, decoded))
            throw PackerError(where + "not UTF-8 text");
        Pattern pattern;
        pattern.glob = Folded(decoded);
        while (!pattern.glob.empty() && pattern.glob.back() == U'/') {
            pattern.glob.pop_back();
            pattern.foldersOnly = true;
        }
        pattern.anchored = pattern.glob.find(U'/') != std::u32string::npos;
        while (!pattern.glob.empty() && pattern.glob.front() == U'/')
            pattern.glob.erase(0, 1);
        if (pattern.glob.empty())
            throw PackerError(where + "matches no name");
        for (std::size_t i = 0; i < pattern.glob.size(); i++) {
            if (pattern.glob[i] != U'[')
                continue;
            i = SetEnd(pattern.glob, i);
            if (i == std::u32string::npos)
                throw PackerError(where + "a '[' without its ']'; [[] matches a '[' itself");
        }
        patterns_.push_back(std::move(pattern));
    }
}

bool ExcludePatterns::matches(const Pattern& pattern, const std::u32string& path, bool folder) const
{
    if (pattern.foldersOnly && !folder)
        return false;
    if (Match(pattern.glob, 0, path, 0))
        return true;
    if (pattern.anchored)
        return false;
    for (std::size_t slash = path.find(U'/'); slash != std::u32string::npos; slash = path.find(U'/', slash + 1))
        if (Match(pattern.glob, 0, path.substr(slash + 1), 0))
            return true;
    return false;
}

bool ExcludePatterns::excludes(const std::string& path, bool folder) const
{
    if (patterns_.empty())
        return false;
    std::u32string decoded;
    if (!DecodeUtf8(path, decoded))
        return false;
    decoded = Folded(decoded);
    for (const Pattern& pattern : patterns_)
        if (matches(pattern, decoded, folder))
            return true;
    return false;
}

bool ExcludePatterns::excludesWithParents(const std::string& path, bool folder) const
{
    if (patterns_.empty())
        return false;
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (excludes(path.substr(0, slash), true))
            return true;
    return excludes(path, folder);
}

}  // namespace packer
