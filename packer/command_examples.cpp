// The examples of the help texts, and how they are written out.
#include "command_examples.h"

namespace packer {

const std::vector<CommandExample>& CommandExamples()
{
    // Each runs as printed in a folder that holds payload/, payload.zip,
    // setup.toml and password.txt, in this order (build makes what the
    // others read); the tests run them so.
    static const std::vector<CommandExample> examples = {
        {"build", "", "", {"build", "payload", "-o", "setup.exe", "--title", "Demo setup", "--command1", "install.cmd"}},
        {"build",
         "SETUP_PASSWORD",
         "only for the demo",
         {"build", "payload.zip", "-o", "secret.exe", "-c", "setup.toml", "--password-env", "SETUP_PASSWORD"}},
        {"build",
         "",
         "",
         {"build", "payload", "-o", "setup64.exe", "--64", "--folder-template", "\\\\!winprograms\\Demo", "-q"}},
        {"inspect", "", "", {"inspect", "setup.exe"}},
        {"inspect", "", "", {"inspect", "secret.exe", "--json"}},
        {"test", "", "", {"test", "setup.exe"}},
        {"test", "", "", {"test", "secret.exe", "--password-file", "password.txt"}},
        {"extract", "", "", {"extract", "setup.exe", "-d", "unpacked"}},
        {"extract", "", "", {"extract", "setup.exe", "docs", "install.cmd", "-d", "some"}},
        {"extract",
         "",
         "",
         {"extract", "secret.exe", "-d", "unpacked", "--overwrite", "--password-env", "SETUP_PASSWORD"}},
        {"list", "", "", {"list", "setup.exe"}},
        {"list", "", "", {"list", "setup.exe", "--json"}},
        {"help", "", "", {"help"}},
        {"help", "", "", {"help", "extract"}},
        {"help", "", "", {"help", "config"}},
        {"", "", "", {"build", "payload", "-o", "setup.exe", "--title", "Demo setup", "--command1", "install.cmd"}},
        {"", "", "", {"test", "setup.exe"}},
        {"", "", "", {"help", "build"}},
    };
    return examples;
}

std::string ExamplesText(const std::string& command, ShellSyntax shell)
{
    std::string text = "Examples:";
    std::string start = std::string("\n  ") + ShellPrompt(shell);
    for (const CommandExample& example : CommandExamples()) {
        if (example.command != command)
            continue;
        if (!example.variable.empty())
            text += start + SetVariableLine(example.variable, example.value, shell);
        text += start + "sfxpack " + CommandLine(example.words, shell);
    }
    return text;
}

}  // namespace packer
