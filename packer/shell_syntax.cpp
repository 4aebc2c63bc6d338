// Quoting for the POSIX shell and for cmd.exe.
#include "shell_syntax.h"

namespace packer {

namespace {

// Characters that need no quotes in a POSIX shell's word.
bool IsPlainInPosix(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string("._/:=,+@%-").find(c) != std::string::npos;
}

std::string QuotePosix(const std::string& word)
{
    bool plain = !word.empty();
    for (char c : word)
        plain = plain && IsPlainInPosix(c);
    if (plain)
        return word;
    if (word.find_first_of("\\$`\"!") == std::string::npos)
        return "\"" + word + "\"";
    // In single quotes everything is literal but the quote itself, which
    // is closed, written escaped, and opened again.
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// cmd.exe takes & | < > ^ ( ) as its own outside double quotes; the C
// runtime splits the line at blanks outside them. Inside, backslashes are
// literal except before a quote, so those before the closing one double.
std::string QuoteCmd(const std::string& word)
{
    if (!word.empty() && word.find_first_of(" \t&|<>^()") == std::string::npos)
        return word;
    std::size_t trailing = word.size() - (word.find_last_not_of('\\') + 1);
    return "\"" + word + std::string(trailing, '\\') + "\"";
}

}  // namespace

const char* ShellPrompt(ShellSyntax shell)
{
    return shell == ShellSyntax::kCmd ? "> " : "$ ";
}

std::string QuoteWord(const std::string& word, ShellSyntax shell)
{
    return shell == ShellSyntax::kCmd ? QuoteCmd(word) : QuotePosix(word);
}

std::string CommandLine(const std::vector<std::string>& words, ShellSyntax shell)
{
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + QuoteWord(word, shell);
    return line;
}

std::string SetVariableLine(const std::string& name, const std::string& value, ShellSyntax shell)
{
    // cmd.exe takes everything after '=' to the line's end, blanks and
    // quotes included.
    if (shell == ShellSyntax::kCmd)
        return "set " + name + "=" + value;
    return "export " + name + "=" + QuoteWord(value, shell);
}

bool IsHelpAlias(const std::string& word, ShellSyntax shell)
{
    return shell == ShellSyntax::kCmd && (word == "/?" || word == "-?");
}

bool IsSingleQuoted(const std::string& value)
{
    return value.size() >= 2 && value.front() == '\'' && value.back() == '\'';
}

}  // namespace packer
