// What the command line tells a person about itself: the help layout (usage
// lines that show what is required, value names instead of types, each
// command's examples), and the message for a word it does not know. All of
// it is read from the CLI11 definitions, so an option added there shows up
// here without further work.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace packer {

// The help layout. Set on the program's App before any command is added:
// commands take their formatter from their parent when they are made.
class HelpFormatter : public CLI::Formatter {
  public:
    HelpFormatter();

    // Text the program's own help ends with (not the help of all commands,
    // whose reader, the man page, has it in sections of its own).
    void programNotes(std::string text) { programNotes_ = std::move(text); }

    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;
    std::string make_description(const CLI::App* app) const override;
    std::string make_usage(const CLI::App* app, std::string name) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override;
    std::string make_expanded(const CLI::App* command) const override;

  private:
    std::string programNotes_;
};

// The options a person can give to app, by all their names ("-o/--output"),
// and the commands below it; hidden ones (group "") are left out.
std::vector<std::string> VisibleOptionNames(const CLI::App& app);
std::vector<std::string> VisibleCommandNames(const CLI::App& app);

// After a failed parse: a message naming the first word that no command or
// option took, what is accepted in its place, and the nearest match when
// one is close. Empty when every word was taken (the parse failed for
// another reason, such as a missing value).
std::string DescribeUnknownWord(const CLI::App& app);

// The command whose help is meant: the one given, else the program.
const CLI::App& CommandInUse(const CLI::App& app);

}  // namespace packer
