// A program the end-to-end tests configure as a package's command. It
// reports what it sees (working folder, command line, the files below its
// working folder), can make a file there, can wait until the test lets it
// go, and ends with the exit code it was given. Arguments, in any order:
//   report=PATH  where to write the report
//   make=NAME    a file to create in the working folder
//   wait=PATH    ends only once PATH exists (at most 60 seconds)
//   exit=N       the exit code (default 0)
// The report names the program file that ran, so a test can tell two
// copies of the probe apart.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitArguments(const std::string& line)
{
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any)
                args.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any)
        args.push_back(current);
    return args;
}

std::string Value(const std::vector<std::string>& args, const std::string& key)
{
    for (const std::string& arg : args) {
        if (arg.compare(0, key.size() + 1, key + "=") == 0)
            return arg.substr(key.size() + 1);
    }
    return "";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::string line = GetCommandLineA();
    std::vector<std::string> args = SplitArguments(line);
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);

    std::string make = Value(args, "make");
    if (!make.empty())
        std::ofstream(make) << "made by the command\n";

    std::string report = Value(args, "report");
    if (!report.empty()) {
        std::ofstream out(report + ".part");
        char program[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, program, MAX_PATH);
        out << "cwd=" << cwd << "\n" << "line=" << line << "\n" << "program=" << program << "\n";
        for (const auto& entry : fs::recursive_directory_iterator(cwd))
            out << "file=" << fs::relative(entry.path(), cwd).generic_string() << "\n";
        out.close();
        MoveFileA((report + ".part").c_str(), report.c_str());   // complete or absent
    }

    std::string wait = Value(args, "wait");
    for (int i = 0; !wait.empty() && i < 3000 && GetFileAttributesA(wait.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(20);
    std::string code = Value(args, "exit");
    return code.empty() ? 0 : std::atoi(code.c_str());
}
