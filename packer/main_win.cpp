// The packer's entry on Windows: the arguments in UTF-8, then the same
// Main as everywhere, for users who type cmd.exe lines.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "main.h"
#include "wide_text.h"

// Windows hands main() its arguments in the ANSI code page, which loses
// every character outside it; the wide command line has them all.
int main()
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; i++)
        arguments.push_back(packer::WideToUtf8(wide[i]));
    LocalFree(wide);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    // Output to a console is written as wide text (output_text_win.cpp),
    // which shows whatever the console's code page.
    return packer::Main(count, argv.data(), packer::ShellSyntax::kCmd);
}
