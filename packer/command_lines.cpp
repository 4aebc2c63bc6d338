// Reading the program of a command line and finding it in the package.
#include "command_lines.h"

#include <algorithm>
#include <array>

#include "extract/path_helpers.h"

namespace packer {

namespace {

// Programs every Windows has in its system folder, which a package's
// command may well start by its bare name.
constexpr std::array<std::string_view, 24> kSystemPrograms = {
    "attrib", "certutil", "cmd", "cscript", "dism", "expand", "explorer", "icacls",
    "msiexec", "net", "netsh", "notepad", "pnputil", "powershell", "reg", "regedit",
    "regsvr32", "robocopy", "rundll32", "sc", "schtasks", "taskkill", "wscript", "xcopy",
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string AsciiLower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

bool HasParentComponent(const std::string& program)
{
    std::string component;
    for (char c : program + "/") {
        if (!IsPathSeparator(c)) {
            component += c;
            continue;
        }
        if (component == "..")
            return true;
        component.clear();
    }
    return false;
}

// How the stub takes a program's name: a full path (drive and root, a root,
// a share) as it stands; a relative one searched for; a drive without a
// root or a ".." component never, as they lead to a folder the stub did not
// choose.
enum class NameKind { Relative, Full, Refused };

NameKind KindOfName(const std::string& program)
{
    if (program.size() >= 2 && program[1] == ':')
        return program.size() >= 3 && IsPathSeparator(program[2]) ? NameKind::Full : NameKind::Refused;
    if (HasParentComponent(program))
        return NameKind::Refused;
    return !program.empty() && IsPathSeparator(program[0]) ? NameKind::Full : NameKind::Relative;
}

// A relative program path as an entry name: '/' between folders, "." dropped.
std::string EntryNameFor(const std::string& program)
{
    std::string name;
    std::string component;
    for (char c : program + "/") {
        if (!IsPathSeparator(c)) {
            component += c;
            continue;
        }
        if (!component.empty() && component != ".")
            name += (name.empty() ? "" : "/") + component;
        component.clear();
    }
    return name;
}

// True when the last part of the name has a dot; the stub, like Windows,
// adds ".exe" to a name without one.
bool HasExtension(const std::string& program)
{
    for (auto c = program.rbegin(); c != program.rend() && !IsPathSeparator(*c); ++c) {
        if (*c == '.')
            return true;
    }
    return false;
}

// True when the package holds a file of that entry name, case ignored as
// on Windows.
bool PackageHoldsFile(const std::vector<SourceEntry>& entries, const std::string& name)
{
    const SourceEntry* entry = name.empty() ? nullptr : FindEntryIgnoringCase(entries, name);
    return entry != nullptr && !entry->directory;
}

// True when the package holds the file the stub would start for a
// relative program: the name, with ".exe" when it has no extension.
bool PackageHoldsProgram(const std::vector<SourceEntry>& entries, const std::string& program)
{
    std::string name = EntryNameFor(program);
    return !name.empty() && PackageHoldsFile(entries, HasExtension(program) ? name : name + ".exe");
}

bool IsSystemProgram(const std::string& program)
{
    std::string name = AsciiLower(program);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return std::find(kSystemPrograms.begin(), kSystemPrograms.end(), name) != kSystemPrograms.end();
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// What may go wrong with the program of a plain line; empty when nothing.
std::string ProgramProblem(const std::string& line, const std::vector<SourceEntry>& entries)
{
    std::vector<std::string> names = CommandProgramNames(line);
    if (names.empty())
        return {};
    const std::string& first = names.front();
    switch (KindOfName(first)) {
    case NameKind::Full:
        return {};
    case NameKind::Refused:
        return "the program " + Quoted(first) +
               (HasParentComponent(first) ? " leads out of the extraction folder with \"..\""
                                          : " names a drive without its root folder") +
               "; the stub will not start it. Give its full path, or its path inside the package";
    case NameKind::Relative:
        break;
    }
    if (PackageHoldsProgram(entries, first))
        return {};
    auto held = std::find_if(names.begin() + 1, names.end(), [&](const std::string& name) {
        return KindOfName(name) == NameKind::Relative && PackageHoldsProgram(entries, name);
    });
    if (held != names.end())
        return "the program " + Quoted(*held) + " has a blank and no quotes; the stub starts " +
               Quoted(HasExtension(first) ? first : first + ".exe") +
               " instead should the system folders or PATH hold one. Put the name in double quotes";
    if (first == "." || (first[0] == '.' && IsPathSeparator(first[1])))
        return "the program " + Quoted(first) +
               " is not in the package, and a name starting with \".\" is looked for in the extraction folder only";
    if (!HasExtension(first) && PackageHoldsFile(entries, EntryNameFor(first)))
        return "the program " + Quoted(first) + " is started as " + Quoted(first + ".exe") +
               ", which the package does not hold; a name without an extension gets \".exe\"";
    if (first.find_first_of("/\\") == std::string::npos && IsSystemProgram(first))
        return {};
    return "the program " + Quoted(first) +
           " is not in the package; the stub will look for it in the system folder, the Windows folder and the "
           "folders of PATH. Give its full path, for a program of Windows in alias form (\"\\\\!winsystem\\...\")";
}

}  // namespace

bool IsAliasCommand(std::string_view line)
{
    return line.size() >= 4 && line[0] == '"' && IsPathSeparator(line[1]) && IsPathSeparator(line[2]) &&
           line[3] == '!';
}

std::vector<std::string> CommandProgramNames(std::string_view line)
{
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        start++;
    line.remove_prefix(start);
    if (!line.empty() && line[0] == '"') {
        std::size_t close = line.find('"', 1);
        std::string name(line.substr(1, close == std::string_view::npos ? close : close - 1));
        return name.empty() ? std::vector<std::string>{} : std::vector<std::string>{name};
    }
    std::vector<std::string> names;
    std::size_t end = 0;
    while (end < line.size()) {
        while (end < line.size() && !IsBlank(line[end]))
            end++;
        names.emplace_back(line.substr(0, end));
        while (end < line.size() && IsBlank(line[end]))
            end++;
    }
    return names;
}

void WarnAboutCommandPrograms(const PackageSettings& settings, const std::vector<SourceEntry>& entries,
                              std::vector<std::string>& warnings)
{
    for (SettingId setting : {kCommand1Setting, kCommand2Setting}) {
        for (std::size_t l = 0; l < kLanguageCount; l++) {
            const std::optional<std::string>& line = settings.text(setting, l);
            if (!line)
                continue;
            std::string_view trimmed(*line);
            while (!trimmed.empty() && IsBlank(trimmed.front()))
                trimmed.remove_prefix(1);
            if (IsAliasCommand(trimmed))
                continue;
            std::string problem = ProgramProblem(std::string(trimmed), entries);
            if (!problem.empty())
                warnings.push_back(SettingPlace(setting, l) + ": " + problem);
        }
    }
}

}  // namespace packer
