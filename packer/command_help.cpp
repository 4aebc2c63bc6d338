// The help layout and the unknown-word message, from the CLI11 definitions.
#include "command_help.h"

#include <algorithm>

#include "word_suggestion.h"

namespace packer {

namespace {

constexpr std::size_t kOptionColumn = 30;
constexpr std::size_t kLineWidth = 79;

bool Hidden(const CLI::Option* option)
{
    return option->get_group().empty();
}

// What follows an option in the help and the usage: its value's name
// ("FILE"), or nothing for a flag.
std::string ValueName(const CLI::Option* option)
{
    if (!option->get_option_text().empty())
        return option->get_option_text();
    if (option->get_expected_max() == 0)
        return "";
    return option->get_type_name();
}

// "-o" before "--output": the short form is the one people type.
std::string FirstName(const CLI::Option* option)
{
    if (!option->get_snames().empty())
        return "-" + option->get_snames().front();
    return "--" + option->get_lnames().front();
}

std::vector<std::string> AllNames(const CLI::Option* option)
{
    std::vector<std::string> names;
    for (const std::string& name : option->get_snames())
        names.push_back("-" + name);
    for (const std::string& name : option->get_lnames())
        names.push_back("--" + name);
    return names;
}

std::string Join(const std::vector<std::string>& items, const std::string& between)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : between) + item;
    return text;
}

// "prefix a, b, c" broken into lines of at most kLineWidth, the following
// lines indented by indent spaces.
std::string WrapList(const std::string& prefix, const std::vector<std::string>& items, std::size_t indent)
{
    std::string text = prefix;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < items.size(); i++) {
        std::string item = items[i] + (i + 1 < items.size() ? "," : "");
        if (text.size() - lineStart + 1 + item.size() > kLineWidth) {
            text += "\n";
            lineStart = text.size();
            text += std::string(indent, ' ') + item;
        } else {
            text += " " + item;
        }
    }
    return text;
}

std::string UnknownOption(const CLI::App& command, const std::string& word, bool isProgram)
{
    std::string name = word.substr(0, word.find('='));
    std::vector<std::string> candidates;
    for (const CLI::Option* option : command.get_options())
        if (!Hidden(option) && option->nonpositional())
            for (const std::string& each : AllNames(option))
                candidates.push_back(each);
    std::string who = isProgram ? "sfxpack" : command.get_name();
    std::string message = "unknown option " + name + (isProgram ? "" : " for " + who) + DidYouMean(name, candidates);
    message += "\n" + WrapList("  " + who + " takes:", VisibleOptionNames(command), 4);
    if (isProgram)
        message += "\n" + WrapList("  and the commands", VisibleCommandNames(command), 4);
    return message;
}

}  // namespace

HelpFormatter::HelpFormatter()
{
    column_width(kOptionColumn);
    label("Positionals", "Arguments");
}

// CLI11's layout leaves two empty lines where a hidden option ends a group.
std::string HelpFormatter::make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const
{
    std::string text = CLI::Formatter::make_help(app, name, mode);
    for (std::size_t at; (at = text.find("\n\n\n")) != std::string::npos;)
        text.erase(at, 1);
    if (mode == CLI::AppFormatMode::Normal && app->get_parent() == nullptr)
        text += programNotes_;
    return text;
}

// The description set off from the usage line by an empty line.
std::string HelpFormatter::make_description(const CLI::App* app) const
{
    std::string text = CLI::Formatter::make_description(app);
    return text.empty() ? text : text + "\n";
}

// "Usage: sfxpack build SOURCE -o FILE [OPTIONS]": what must be given is
// spelled out, everything else is in the list below it; an argument that
// may come many times ends in "...".
std::string HelpFormatter::make_usage(const CLI::App* app, std::string name) const
{
    std::string usage = get_label("Usage") + ": " + name;
    bool moreOptions = false;
    std::string optionalArguments;
    for (const CLI::Option* option : app->get_options()) {
        if (Hidden(option))
            continue;
        if (option->get_positional()) {
            std::string argument = option->get_name(true, false);
            if (option->get_expected_max() > 1)
                argument += "...";
            if (option->get_required())
                usage += " " + argument;
            else
                optionalArguments += " [" + argument + "]";
        } else if (option->get_required()) {
            std::string value = ValueName(option);
            usage += " " + FirstName(option) + (value.empty() ? "" : " " + value);
        } else {
            moreOptions = true;
        }
    }
    usage += optionalArguments;
    if (moreOptions)
        usage += " [" + get_label("OPTIONS") + "]";
    if (!VisibleCommandNames(*app).empty())
        usage += " COMMAND [ARGUMENTS]";
    return usage + "\n";
}

// The value's name and whether the option is required; CLI11's own text
// leaves REQUIRED out once a value name is set, and the value types and
// exclusions it adds say less than the descriptions.
std::string HelpFormatter::make_option_opts(const CLI::Option* option) const
{
    if (option->get_positional())
        return "";
    std::string value = ValueName(option);
    std::string text = value.empty() ? "" : " " + value;
    if (option->get_required())
        text += " " + get_label("REQUIRED");
    return text;
}

// A command within the help of all commands, laid out so that help2man
// makes a sub-section of it: its name and a colon, then indented
// paragraphs with empty lines between them (CLI11's own block has none, and
// leaves out the examples).
std::string HelpFormatter::make_expanded(const CLI::App* command) const
{
    std::string program = command->get_parent() ? command->get_parent()->get_name() + " " : "";
    std::string name = program + command->get_name();
    std::string text = name + ":\n  " + make_usage(command, name) + "\n";
    if (!command->get_description().empty())
        text += "  " + command->get_description() + "\n\n";
    std::string options;
    for (bool positional : {true, false})
        for (const CLI::Option* option : command->get_options())
            if (!Hidden(option) && option->get_positional() == positional && option != command->get_help_ptr())
                options += make_option(option, positional);
    if (!options.empty())
        text += options + "\n";
    std::string footer = command->get_footer();
    if (!footer.empty()) {
        text += "  ";
        for (char c : footer)
            text += c == '\n' ? std::string("\n  ") : std::string(1, c);
        text += "\n";
    }
    return text;
}

// The help of all commands: the list as in the program's help, then each
// command's block.
std::string HelpFormatter::make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const
{
    bool all = mode == CLI::AppFormatMode::All;
    std::string text = CLI::Formatter::make_subcommands(app, all ? CLI::AppFormatMode::Normal : mode);
    if (all)
        for (const CLI::App* command : app->get_subcommands({}))
            if (!command->get_group().empty() && !command->get_name().empty())
                text += "\n" + make_expanded(command);
    return text;
}

std::vector<std::string> VisibleOptionNames(const CLI::App& app)
{
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options())
        if (!Hidden(option) && option->nonpositional())
            names.push_back(Join(AllNames(option), "/"));
    return names;
}

std::vector<std::string> VisibleCommandNames(const CLI::App& app)
{
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands({}))
        if (!command->get_group().empty() && !command->get_name().empty())
            names.push_back(command->get_name());
    return names;
}

const CLI::App& CommandInUse(const CLI::App& app)
{
    std::vector<CLI::App*> given = app.get_subcommands();
    return given.empty() ? app : *given.front();
}

std::string DescribeUnknownWord(const CLI::App& app)
{
    std::vector<std::string> words = app.remaining(true);
    words.erase(std::remove(words.begin(), words.end(), "--"), words.end());
    if (words.empty())
        return "";
    const std::string& word = words.front();
    const CLI::App& command = CommandInUse(app);
    bool isProgram = &command == &app;
    if (word.size() > 1 && word[0] == '-')
        return UnknownOption(command, word, isProgram);
    if (isProgram) {
        std::vector<std::string> commands = VisibleCommandNames(app);
        return "unknown command " + word + DidYouMean(word, commands) + "\n" +
               WrapList("  the commands are", commands, 4);
    }
    return "unexpected argument " + word + " for " + command.get_name();
}

}  // namespace packer
