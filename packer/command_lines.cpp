// Reading the program of a command line and finding it in the package.
#include "command_lines.h"

#include "extract/path_helpers.h"

namespace packer {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A drive ("C:"), a root ("\Setup") or a share ("\\server"): Windows
// takes such a path as it stands and searches no folder for it.
bool IsFullPath(const std::string& program)
{
    return (!program.empty() && IsPathSeparator(program[0])) || (program.size() >= 2 && program[1] == ':');
}

// A relative program path as an entry name: '/' between folders, "."
// dropped. Empty when no entry can have it (a ".." component).
std::string EntryNameFor(const std::string& program)
{
    std::string name;
    std::string component;
    for (char c : program + "/") {
        if (!IsPathSeparator(c)) {
            component += c;
            continue;
        }
        if (component == "..")
            return {};
        if (!component.empty() && component != ".")
            name += (name.empty() ? "" : "/") + component;
        component.clear();
    }
    return name;
}

// True when the package holds a file of that name, case ignored as on Windows.
bool PackageHolds(const std::vector<SourceEntry>& entries, const std::string& name)
{
    const SourceEntry* entry = FindEntryIgnoringCase(entries, name);
    return entry != nullptr && !entry->directory;
}

// Why the program of a plain line may start from outside the package;
// empty when it cannot.
std::string ProgramProblem(const std::string& program, const std::vector<SourceEntry>& entries)
{
    if (program.empty() || IsFullPath(program))
        return {};
    std::string name = EntryNameFor(program);
    if (!name.empty() && PackageHolds(entries, name))
        return {};
    // The stub, like CreateProcess, tries a bare name without an extension
    // with ".exe" added.
    bool bare = program.find_first_of("/\\") == std::string::npos;
    if (bare && !name.empty() && program.find('.') == std::string::npos && PackageHolds(entries, name + ".exe"))
        return {};
    return "the program \"" + program + "\" is not in the package and has no full path";
}

}  // namespace

bool IsAliasCommand(std::string_view line)
{
    return line.size() >= 4 && line[0] == '"' && IsPathSeparator(line[1]) && IsPathSeparator(line[2]) &&
           line[3] == '!';
}

std::string CommandProgram(std::string_view line)
{
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        start++;
    if (start < line.size() && line[start] == '"') {
        std::size_t close = line.find('"', start + 1);
        return std::string(line.substr(start + 1, close == std::string_view::npos ? close : close - start - 1));
    }
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end]))
        end++;
    return std::string(line.substr(start, end - start));
}

void WarnAboutCommandPrograms(const PackageSettings& settings, const std::vector<SourceEntry>& entries,
                              std::vector<std::string>& warnings)
{
    for (SettingId setting : {kCommand1Setting, kCommand2Setting}) {
        for (std::size_t l = 0; l < kLanguageCount; l++) {
            const std::optional<std::string>& line = settings.text(setting, l);
            if (!line || IsAliasCommand(*line))
                continue;
            std::string problem = ProgramProblem(CommandProgram(*line), entries);
            if (!problem.empty())
                warnings.push_back(SettingPlace(setting, l) + ": " + problem +
                                   "; Windows looks for it in the folder the package was started from first, "
                                   "where a file of that name may wait. Give its full path, for a program of "
                                   "Windows in alias form (\"\\\\!winsystem\\...\")");
        }
    }
}

}  // namespace packer
