// The rules an entry name must meet before it goes into a package: the
// stub's own refusals, and what Windows cannot create at all. Refusing here
// keeps a package from failing on the user's machine after it was shipped.
#include <algorithm>
#include <map>

#include "extract/path_helpers.h"
#include "packer_error.h"
#include "source_entries.h"
#include "text_encoding.h"

namespace packer {

namespace {

// A name as Windows compares it: one spelling for OEM and UTF-8 names, case
// ignored, both slashes the same, no trailing slash.
std::string FoldedName(const std::string& name, bool utf8Name)
{
    std::string utf8 = name;
    if (!utf8Name && !OemNameToUtf8(name, utf8))
        utf8 = name;
    std::string folded = FoldNameCase(utf8);
    for (char& c : folded)
        if (c == '\\')
            c = '/';
    while (!folded.empty() && folded.back() == '/')
        folded.pop_back();
    return folded;
}

// The C1 control characters in UTF-8 (C2 80 to C2 9F). No OEM name that the
// stub maps holds these bytes, so the test serves both kinds of names.
bool HoldsC1Control(const std::string& name)
{
    for (std::size_t i = 0; i + 1 < name.size(); i++)
        if (static_cast<unsigned char>(name[i]) == 0xC2 && (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80)
            return true;
    return false;
}

}  // namespace

std::string EntryNameProblem(const std::string& name)
{
    if (name.empty() || name == "/")
        return "empty name";
    if (name.size() > kMaxEntryNameLength)
        return "name of " + std::to_string(name.size()) + " bytes; Windows paths leave room for " +
               std::to_string(kMaxEntryNameLength);
    int fault = CheckEntryName(name.c_str());
    if (fault == NAME_PARENT_COMPONENT || fault == NAME_COLON || fault == NAME_CONTROL_BYTE || HoldsC1Control(name))
        return "the stub refuses names with \"..\", \":\" or control characters";
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

void FindEntryNameProblems(const std::vector<SourceEntry>& entries, std::vector<std::string>& problems)
{
    std::map<std::string, const SourceEntry*> seen;
    for (const SourceEntry& entry : entries) {
        std::string problem = EntryNameProblem(entry.name);
        if (!problem.empty()) {
            problems.push_back(entry.shownName + ": " + problem);
            continue;
        }
        auto [place, added] = seen.emplace(FoldedName(entry.name, entry.utf8Name), &entry);
        if (!added)
            problems.push_back(entry.shownName + ": the same name on Windows as " + place->second->shownName);
    }
    // A file cannot stand where another entry needs a folder.
    for (const SourceEntry& entry : entries) {
        std::string folded = FoldedName(entry.name, entry.utf8Name);
        for (std::size_t slash = folded.find('/'); slash != std::string::npos; slash = folded.find('/', slash + 1)) {
            auto parent = seen.find(folded.substr(0, slash));
            if (parent != seen.end() && !parent->second->directory) {
                problems.push_back(entry.shownName + ": needs a folder where the file " +
                                   parent->second->shownName + " is");
                break;
            }
        }
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
