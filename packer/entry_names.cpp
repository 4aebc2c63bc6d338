// The rules an entry name must meet before it goes into a package: the
// stub's own refusals, and what Windows cannot create at all. Refusing here
// keeps a package from failing on the user's machine after it was shipped.
#include <algorithm>
#include <unordered_map>

#include "extract/path_helpers.h"
#include "packer_error.h"
#include "source_entries.h"
#include "text_encoding.h"

namespace packer {

namespace {

// A name as Windows compares it, for OEM and UTF-8 names alike.
std::string FoldedName(const std::string& name, bool utf8Name)
{
    std::string utf8 = name;
    if (!utf8Name && !OemNameToUtf8(name, utf8))
        utf8 = name;
    return FoldEntryName(utf8);
}

}  // namespace

std::string EntryNameProblem(const std::string& name)
{
    if (name.empty() || name == "/")
        return "empty name";
    if (name.size() > kMaxEntryNameLength)
        return "name of " + std::to_string(name.size()) + " bytes; Windows paths leave room for " +
               std::to_string(kMaxEntryNameLength);
    // No OEM name the stub maps holds a C1 or bidirectional control, so the
    // search serves both kinds of names.
    if (std::optional<char32_t> control = FirstNameControl(name))
        return "the stub refuses names with control characters; this one holds " + DescribeCharacter(*control);
    int fault = CheckEntryName(name.c_str());
    if (fault == NAME_PARENT_COMPONENT)
        return "the stub refuses names with a \"..\" component, which would lead out of its folder";
    if (fault == NAME_COLON)
        return "the stub refuses names with \":\", which would name a drive or a data stream";
    std::string last;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string component = name.substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            if (end == name.size())
                break;   // the '/' that ends a folder's name
            return "empty folder name";
        }
        if (component.find_first_of("<>\"|?*\\") != std::string::npos)
            return "Windows forbids the characters < > \" | ? * \\ in names";
        if (component != "." && (component.back() == '.' || component.back() == ' '))
            return "Windows drops a dot or space at the end of a name";
        if (CheckEntryName(component.c_str()) == NAME_DEVICE)
            return "\"" + component + "\" names a device on Windows";
    }
    return {};
}

void ThrowProblems(const std::string& heading, std::vector<std::string> problems)
{
    // Sorted, so that names come in order; each problem one line, whatever
    // its names hold.
    std::sort(problems.begin(), problems.end());
    std::string message = EscapeControls(heading);
    for (const std::string& problem : problems)
        message += "\n  " + EscapeControls(problem);
    throw PackerError(message);
}

std::string FoldEntryName(const std::string& utf8Name)
{
    std::string folded = FoldNameCase(utf8Name);
    for (char& c : folded)
        if (c == '\\')
            c = '/';
    while (!folded.empty() && folded.back() == '/')
        folded.pop_back();
    return folded;
}

std::vector<NameClash> FindNameClashes(const std::vector<ComparedName>& names)
{
    std::vector<NameClash> clashes;
    std::unordered_map<std::string, std::size_t> seen;
    seen.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); i++) {
        auto [place, added] = seen.emplace(names[i].folded, i);
        if (!added)
            clashes.push_back({i, place->second, false});
    }
    // A file cannot stand where another entry needs a folder.
    for (std::size_t i = 0; i < names.size(); i++) {
        const std::string& folded = names[i].folded;
        for (std::size_t slash = folded.find('/'); slash != std::string::npos; slash = folded.find('/', slash + 1)) {
            auto parent = seen.find(folded.substr(0, slash));
            if (parent != seen.end() && !names[parent->second].directory) {
                clashes.push_back({i, parent->second, true});
                break;
            }
        }
    }
    return clashes;
}

void FindEntryNameProblems(const std::vector<SourceEntry>& entries, std::vector<std::string>& problems)
{
    std::vector<const SourceEntry*> named;
    std::vector<ComparedName> names;
    for (const SourceEntry& entry : entries) {
        std::string problem = EntryNameProblem(entry.name);
        if (!problem.empty()) {
            problems.push_back(entry.shownName + ": " + problem);
            continue;
        }
        named.push_back(&entry);
        names.push_back({FoldedName(entry.name, entry.utf8Name), entry.directory});
    }
    for (const NameClash& clash : FindNameClashes(names)) {
        const std::string& shown = named[clash.entry]->shownName;
        const std::string& other = named[clash.other]->shownName;
        if (clash.belowFile)
            problems.push_back(shown + ": needs a folder where the file " + other + " is");
        else
            problems.push_back(shown + ": the same name on Windows as " + other);
    }
}

void CheckEntryNames(const std::vector<SourceEntry>& entries)
{
    std::vector<std::string> problems;
    FindEntryNameProblems(entries, problems);
    if (!problems.empty())
        ThrowProblems("these names cannot be written by the stub:", problems);
}

const SourceEntry* FindEntryIgnoringCase(const std::vector<SourceEntry>& entries, const std::string& utf8Name)
{
    std::string folded = FoldedName(utf8Name, true);
    for (const SourceEntry& entry : entries)
        if (FoldedName(entry.name, entry.utf8Name) == folded)
            return &entry;
    return nullptr;
}

}  // namespace packer
