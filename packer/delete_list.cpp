// Checking and converting the delete list.
#include "delete_list.h"

#include "extract/path_helpers.h"
#include "packer_error.h"
#include "text_encoding.h"

namespace packer {

namespace {

bool AllHighBytesAreOemLetters(const std::string& text)
{
    std::string ignored;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (!OemNameToUtf8(text.substr(start, end - start), ignored))
            return false;
        start = end + 1;
    }
    return true;
}

// A line as the stub takes it: leading blanks and trailing spaces and CRs dropped.
std::string TrimmedLine(const std::string& line)
{
    std::size_t first = line.find_first_not_of(" \r");
    if (first == std::string::npos)
        return {};
    std::size_t last = line.find_last_not_of(" \r");
    return line.substr(first, last - first + 1);
}

// Why the stub would skip a line, said as what it is; empty when it would
// not. The stub joins each line to the extraction folder and deletes what
// it names.
std::string UnsafeLineProblem(const std::string& name)
{
    if (std::optional<char32_t> control = FirstNameControl(name))
        return "the delete list holds the control character " + DescribeCharacter(*control);
    bool absolute = name.size() >= 2 && IsPathSeparator(name[0]) && IsPathSeparator(name[1]);
    int fault = CheckEntryName(name.c_str());
    if (fault == NAME_DEVICE)
        return "the delete list names a device";
    if (fault == NAME_TRAILING_DOT_OR_SPACE)
        return "the delete list names a file ending in a dot or space, which Windows drops";
    if (fault != NAME_SAFE || absolute)
        return "the delete list names a file outside the extraction folder";
    return {};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> PrepareDeleteList(const std::string& shownName,
                                                           const std::vector<std::uint8_t>& content,
                                                           std::vector<std::string>& notes,
                                                           std::vector<std::string>& problems)
{
    std::string text(content.begin(), content.end());
    std::size_t problemsBefore = problems.size();
    bool changed = false;
    if (!AllHighBytesAreOemLetters(text)) {
        std::string converted;
        char32_t bad = 0;
        std::size_t line = 1;
        for (std::size_t start = 0; start <= text.size(); line++) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string oem;
            if (!Utf8ToOemName(text.substr(start, end - start), oem, &bad)) {
                problems.push_back(shownName + ":" + std::to_string(line) + ": the delete list holds " +
                                   DescribeCharacter(bad) + "; its names may hold ASCII and \xC3\xA4 \xC3\xB6 "
                                   "\xC3\xBC \xC3\x84 \xC3\x96 \xC3\x9C \xC3\x9F only");
                oem = text.substr(start, end - start);
            }
            converted += oem;
            if (end < text.size())
                converted += '\n';
            start = end + 1;
        }
        text = converted;
        changed = true;
        notes.push_back(shownName + ": names converted from UTF-8 to the stub's OEM code page");
    }

    std::size_t line = 1;
    for (std::size_t start = 0; start < text.size(); line++) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string problem = UnsafeLineProblem(TrimmedLine(text.substr(start, end - start)));
        if (!problem.empty())
            problems.push_back(shownName + ":" + std::to_string(line) + ": " + problem);
        start = end + 1;
    }
    if (problems.size() > problemsBefore) {
        notes.clear();
        return std::nullopt;
    }

    if (!text.empty() && text.back() != '\n') {
        text += text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        changed = true;
        notes.push_back(shownName + ": line end added to the last line, which the stub would skip without one");
    }
    if (!changed)
        return std::nullopt;
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::optional<std::vector<std::uint8_t>> PrepareDeleteList(const std::string& shownName,
                                                           const std::vector<std::uint8_t>& content,
                                                           std::vector<std::string>& notes)
{
    std::vector<std::string> problems;
    std::optional<std::vector<std::uint8_t>> prepared = PrepareDeleteList(shownName, content, notes, problems);
    if (!problems.empty()) {
        std::string message = problems.front();
        for (std::size_t i = 1; i < problems.size(); i++)
            message += "\n" + problems[i];
        throw PackerError(message);
    }
    return prepared;
}

}  // namespace packer
