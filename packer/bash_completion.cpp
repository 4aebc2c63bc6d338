// Writing the bash completion script.
#include "bash_completion.h"

#include "command_help.h"

namespace packer {

namespace {

enum class ValueKind { kNone, kWord, kFile, kFolder, kVariable, kCommand, kChoice };

// The value's name says what fits: options added later complete well as
// long as they name their values as the others do.
ValueKind KindOf(const CLI::Option* option)
{
    std::string name = option->get_positional() ? option->get_name(true, false) : option->get_option_text();
    if (!option->get_positional() && option->get_expected_max() == 0)
        return ValueKind::kNone;
    if (name.find("FOLDER") != std::string::npos)
        return ValueKind::kFolder;
    for (const char* file : {"FILE", "SOURCE", "PACKAGE"})
        if (name.find(file) != std::string::npos)
            return ValueKind::kFile;
    if (name == "VAR")
        return ValueKind::kVariable;
    if (name == "COMMAND")
        return ValueKind::kCommand;
    if (name.find('|') != std::string::npos)
        return ValueKind::kChoice;   // as_invoker|highest_available|...
    return ValueKind::kWord;
}

// valueName: the option's, for a choice's words.
std::string Completer(ValueKind kind, std::string valueName = "")
{
    switch (kind) {
    case ValueKind::kChoice:
        for (char& c : valueName)
            if (c == '|')
                c = ' ';
        return "_sfxpack_reply -W \"" + valueName + "\"";
    case ValueKind::kFile:
        return "_sfxpack_reply -f";
    case ValueKind::kFolder:
        return "_sfxpack_reply -d";
    case ValueKind::kVariable:
        return "_sfxpack_reply -e";
    case ValueKind::kCommand:
        return "_sfxpack_reply -W \"$commands $topics\"";
    default:
        return "COMPREPLY=()";
    }
}

// What a word without a dash completes to: the command's first argument.
std::string ArgumentCompleter(const CLI::App& command)
{
    for (const CLI::Option* option : command.get_options())
        if (!option->get_group().empty() && option->get_positional())
            return Completer(KindOf(option));
    return Completer(ValueKind::kNone);
}

// The case branch of one command: a value after an option that takes one,
// the options after a dash, else what arguments completes to.
std::string CommandBranch(const CLI::App& command, const std::string& arguments)
{
    std::string options;
    std::string values;
    for (const CLI::Option* option : command.get_options()) {
        if (option->get_group().empty() || option->get_positional())
            continue;
        std::string names;
        for (const std::string& name : option->get_snames())
            names += (names.empty() ? "-" : "|-") + name;
        for (const std::string& name : option->get_lnames())
            names += (names.empty() ? "--" : "|--") + name;
        options += (options.empty() ? "" : " ") + names;
        ValueKind kind = KindOf(option);
        if (kind != ValueKind::kNone)
            values += "            " + names + ") " + Completer(kind, option->get_option_text()) + "; return ;;\n";
    }
    for (char& c : options)
        if (c == '|')
            c = ' ';
    std::string branch;
    if (!values.empty())
        branch += "        case $prev in\n" + values + "        esac\n";
    branch += "        if [[ $cur == -* ]]; then\n"
              "            _sfxpack_reply -W \"" + options + "\"\n"
              "        else\n"
              "            " + arguments + "\n"
              "        fi\n";
    return branch;
}

}  // namespace

std::string BashCompletionScript(const CLI::App& program, const std::vector<std::string>& topics)
{
    std::string commands;
    for (const std::string& name : VisibleCommandNames(program))
        commands += (commands.empty() ? "" : " ") + name;
    std::string topicWords;
    for (const std::string& name : topics)
        topicWords += (topicWords.empty() ? "" : " ") + name;

    std::string script =
        "# bash completion for sfxpack, written by the build from the packer's own\n"
        "# option definitions.\n"
        "\n"
        "# Fills COMPREPLY from compgen (its options, then the word at hand), one\n"
        "# match per line, so that names with spaces stay whole.\n"
        "_sfxpack_reply()\n"
        "{\n"
        "    local line\n"
        "    COMPREPLY=()\n"
        "    case $1 in -f|-d) compopt -o filenames 2>/dev/null ;; esac\n"
        "    while IFS= read -r line; do\n"
        "        COMPREPLY+=(\"$line\")\n"
        "    done < <(compgen \"$@\" -- \"$cur\")\n"
        "}\n"
        "\n"
        "_sfxpack()\n"
        "{\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]}\n"
        "    local prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
        "    local commands=\"" + commands + "\"\n"
        "    local topics=\"" + topicWords + "\"\n"
        "    local command= i\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        case ${COMP_WORDS[i]} in\n"
        "            -*) ;;\n"
        "            *) command=${COMP_WORDS[i]}; break ;;\n"
        "        esac\n"
        "    done\n"
        "    case $command in\n";
    for (const CLI::App* command : program.get_subcommands({})) {
        if (command->get_group().empty() || command->get_name().empty())
            continue;
        script += "    " + command->get_name() + ")\n" + CommandBranch(*command, ArgumentCompleter(*command)) +
                  "        ;;\n";
    }
    // Before a command, a word without a dash is the command.
    script += "    \"\")\n" + CommandBranch(program, "_sfxpack_reply -W \"$commands\"") +
              "        ;;\n"
              "    *)\n"
              "        COMPREPLY=()\n"
              "        ;;\n"
              "    esac\n"
              "}\n"
              "complete -F _sfxpack sfxpack\n";
    return script;
}

}  // namespace packer
