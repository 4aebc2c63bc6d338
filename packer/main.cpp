// sfxpack: makes self-extracting packages from a folder or a ZIP file, and
// inspects, lists, tests and extracts finished ones. The argument parsing
// lives here; each command is a file of its own, run by the callback it is
// defined with.
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "bash_completion.h"
#include "command_examples.h"
#include "command_help.h"
#include "commands.h"
#include "config_file.h"
#include "entry_compression.h"
#include "exit_codes.h"
#include "interruption.h"
#include "main.h"
#include "notes.h"
#include "output_text.h"
#include "package_builder.h"
#include "parallel_compression.h"
#include "packaging/trailer_writer.h"
#include "packer_error.h"
#include "progress.h"
#include "reference_pages.h"
#include "setting_options.h"
#include "stub_file.h"
#include "text_encoding.h"
#include "word_suggestion.h"

#ifndef SFX_VERSION
#define SFX_VERSION "unknown"
#endif

namespace packer {

namespace {

struct BuildArguments {
    std::string source;
    std::string output;
    std::string config;
    std::string stub;
    bool want64 = false;
    unsigned threads = 0;   // 0: one per core
    int level = kDefaultLevel;
    bool encrypt = false;
    PasswordSource password;
    SettingOptions settingOptions;   // they win over the config file
    bool followLinks = false;
};

struct ReadArguments {
    std::string package;
    bool json = false;
    PasswordSource password;
    std::string folder = ".";
    std::vector<std::string> names;
    bool overwrite = false;
    bool sync = false;
};

void AddPasswordOptions(CLI::App* command, PasswordSource& password)
{
    CLI::Option* file = command->add_option("--password-file", password.file,
                                            "read the password from the first line of FILE");
    CLI::Option* environment = command->add_option("--password-env", password.environment,
                                                   "read the password from the environment variable VAR");
    file->option_text("FILE");
    environment->option_text("VAR");
    file->excludes(environment);
}

std::string ShowSize(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 10 * 1024)
        std::snprintf(text, sizeof text, "%u bytes", static_cast<unsigned>(bytes));
    else if (bytes < 10 * 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
    return text;
}

// Messages quote names from packages and file systems. Most are escaped
// where they were read; this catches the rest, and keeps the line breaks
// that lists in messages are made of.
void ReportError(const char* message)
{
    std::fflush(stdout);
    PrintTo(stderr, "sfxpack: error: %s\n", EscapeControls(message, true).c_str());
}

int RunBuild(BuildArguments& arguments)
{
    BuildRequest request;
    request.source = PathFromUtf8(arguments.source);
    request.output = PathFromUtf8(arguments.output);
    if (!arguments.config.empty()) {
        request.config = PathFromUtf8(arguments.config);
        request.settings = ReadConfigFile(request.config);
    }
    request.settings.overrideWith(arguments.settingOptions.settings());
    std::optional<fs::path> stub;
    if (!arguments.stub.empty())
        stub = PathFromUtf8(arguments.stub);
    request.stub = LocateStub(stub, arguments.want64);
    request.stubKind = arguments.want64 ? StubKind::k64 : stub ? StubKind::kAny : StubKind::k32;
    request.password = arguments.password;
    request.password.prompt = arguments.encrypt;
    request.level = arguments.level;
    request.threads = arguments.threads == 0 ? DefaultBuildThreads() : arguments.threads;
    request.progress = ProgressWanted(Quiet());
    request.followLinks = arguments.followLinks;
    request.latestTime = SourceDateEpoch();

    BuildSummary summary = BuildPackage(request);
    if (!Quiet())
        PrintTo(stdout, "%s: %u files, %u folder entries, %s packed into %s%s\n",
                EscapeControls(arguments.output).c_str(), summary.files, summary.folders,
                ShowSize(summary.bytes).c_str(), ShowSize(summary.packageSize).c_str(),
                summary.encrypted ? ", encrypted" : "");
    return kExitSuccess;
}

// A package is written to a temporary file and renamed when complete, so
// that a failed build leaves nothing half made; a stream cannot do that.
std::string RefuseStandardOutput(const std::string& output)
{
    if (output == "-")
        return "- would be standard output, but a package is written to a file; name one, for example -o setup.exe";
    return "";
}

// A command and what runs it. A command is added only with its run, so that
// each runs its own code and none falls through to another's.
struct Command {
    CLI::App* app;
    std::function<int()> run;
};

CLI::App* AddCommand(CLI::App& app, std::vector<Command>& commands, const std::string& name,
                     const std::string& description, std::function<int()> run)
{
    CLI::App* command = app.add_subcommand(name, description);
    commands.push_back({command, std::move(run)});
    return command;
}

// A password for test and extract is asked for only when the package turns
// out to be encrypted and no other source was given.
PasswordSource PromptUnlessGiven(PasswordSource password)
{
    password.prompt = password.file.empty() && password.environment.empty();
    return password;
}

void DefineBuild(CLI::App& app, std::vector<Command>& commands, BuildArguments& arguments, ShellSyntax shell)
{
    CLI::App* build = AddCommand(app, commands, "build", "make a package from a folder or a ZIP file",
                                 [&arguments] { return RunBuild(arguments); });
    build->add_option("SOURCE", arguments.source, "the folder (walked recursively) or ZIP file to pack")
        ->required();
    build->add_option("-o,--output", arguments.output, "the package to write")
        ->required()
        ->option_text("FILE")
        ->check(CLI::Validator(RefuseStandardOutput, "", "not -"));
    build->add_option("-c,--config", arguments.config,
                      "config file with the settings and the texts per language (TOML; 'sfxpack help config')")
        ->option_text("FILE");
    CLI::Option* stub = build->add_option("--stub", arguments.stub, "the stub program to put in front");
    build->add_flag("--64", arguments.want64, "use the 64-bit stub (default: the 32-bit one)");
    stub->option_text("FILE");
    build->add_option("--level", arguments.level,
                      "compression level, 0 to 9, default 6: for deflate 0 stores every file, for lzma they "
                      "are liblzma's presets")
        ->check(CLI::Range(kMinLevel, kMaxLevel))
        ->option_text("0-9");
    build->add_option("--threads", arguments.threads,
                      "threads that compress files, 1 to 256; default: one per core. The package is the same "
                      "bytes whatever their number")
        ->check(CLI::Range(1, 256))
        ->option_text("N");
    CLI::Option* encrypt = build->add_flag("--encrypt", arguments.encrypt,
                                           "encrypt every entry with a password asked for on the terminal");
    AddPasswordOptions(build, arguments.password);
    encrypt->excludes("--password-file")->excludes("--password-env");
    build->add_flag("--follow-links", arguments.followLinks,
                    "pack what links to folders lead to (default: skip them with a note)");
    arguments.settingOptions.define(*build);
    build->footer(ExamplesText("build", shell));
}

void DefineReading(CLI::App& app, std::vector<Command>& commands, ReadArguments& read, ShellSyntax shell)
{
    CLI::App* inspect =
        AddCommand(app, commands, "inspect", "list a package's trailer records and entries",
                   [&read] { return InspectPackage(PathFromUtf8(read.package), read.json, stdout); });
    inspect->add_option("PACKAGE", read.package, "the package")->required();
    inspect->add_flag("--json", read.json, "print JSON for scripts");
    inspect->footer(ExamplesText("inspect", shell));

    CLI::App* test = AddCommand(app, commands, "test", "check a package whole: trailer, archive, every entry's CRC-32",
                                [&read] {
                                    return TestPackage(PathFromUtf8(read.package), PromptUnlessGiven(read.password),
                                                       ProgressWanted(Quiet()), stdout);
                                });
    test->add_option("PACKAGE", read.package, "the package")->required();
    AddPasswordOptions(test, read.password);
    test->footer(ExamplesText("test", shell));

    CLI::App* extract = AddCommand(app, commands, "extract", "unpack a package into a folder", [&read] {
        ExtractOptions options;
        options.folder = PathFromUtf8(read.folder);
        options.names = read.names;
        options.overwrite = read.overwrite;
        options.sync = read.sync;
        options.progress = ProgressWanted(Quiet());
        return ExtractPackage(PathFromUtf8(read.package), PromptUnlessGiven(read.password), options, stdout);
    });
    extract->add_option("PACKAGE", read.package, "the package")->required();
    extract->add_option("NAME", read.names,
                        "only these entries, and what lies in folders of these names (case ignored); a name that "
                        "matches nothing stops the run before anything is written");
    extract->add_option("-d,--directory", read.folder, "the folder to extract into; default: the current one")
        ->option_text("FOLDER");
    extract->add_flag("--overwrite", read.overwrite, "replace files that exist");
    extract->add_flag("--sync", read.sync,
                      "return only when the files are on the disk (as the sync command does, for all at once)");
    AddPasswordOptions(extract, read.password);
    extract->footer(ExamplesText("extract", shell));

    CLI::App* list = AddCommand(app, commands, "list", "list a package's entries: names, sizes and times",
                                [&read] { return ListPackage(PathFromUtf8(read.package), read.json, stdout); });
    list->add_option("PACKAGE", read.package, "the package")->required();
    list->add_flag("--json", read.json, "print JSON for scripts");
    list->footer(ExamplesText("list", shell));
}

// -q on every command that has none of its own, so that commands added
// later take it too; help has nothing to silence.
void AddQuietOptions(CLI::App& app, bool& quiet)
{
    for (CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == "help" || command->get_option_no_throw("--quiet") != nullptr)
            continue;
        command->add_flag("-q,--quiet", quiet, "no progress, notes, warnings or summary; errors only");
    }
}

// One line per stub the packer would take by default, with the version
// that stub carries: a stub from another build shows here.
std::string DescribeDefaultStub(bool want64)
{
    std::string line = want64 ? "64-bit stub: " : "32-bit stub: ";
    fs::path path;
    try {
        path = LocateStub(std::nullopt, want64);
    } catch (const PackerError&) {
        return line + "none found (build takes one with --stub)";
    }
    try {
        std::optional<std::string> version = StubVersion(LoadStub(path, want64 ? StubKind::k64 : StubKind::k32));
        return line + (version ? *version : "no version resource") + " (" + PathToUtf8(path) + ")";
    } catch (const std::exception& error) {
        return line + error.what();
    }
}

std::string VersionText()
{
    return std::string("sfxpack ") + SFX_VERSION + "\n" + DescribeDefaultStub(false) + "\n" + DescribeDefaultStub(true);
}

// What a failed parse tells the user: the word that was not understood, or
// CLI11's reason, then the usage line and where to read on.
void ReportUsageError(const CLI::App& app, const CLI::ParseError& error)
{
    const CLI::App& command = CommandInUse(app);
    bool isProgram = &command == &app;
    std::string message = DescribeUnknownWord(app);
    if (message.empty() && isProgram && dynamic_cast<const CLI::RequiredError*>(&error))
        message = "no command given; the commands are " + CLI::detail::join(VisibleCommandNames(app), ", ");
    if (message.empty())
        message = error.what();
    std::string name = isProgram ? "sfxpack" : "sfxpack " + command.get_name();
    std::string usage = HelpFormatter().make_usage(&command, name);
    std::fflush(stdout);
    PrintTo(stderr, "sfxpack: error: %s\n  %s  '%s' explains every option.\n", message.c_str(), usage.c_str(),
            isProgram ? "sfxpack help" : ("sfxpack help " + command.get_name()).c_str());
}

// The arguments after the program's name, last first, as CLI11's parse
// takes them; a word that asks for help in the shell's tradition becomes
// --help.
std::vector<std::string> ArgumentWords(int argc, char** argv, ShellSyntax shell)
{
    std::vector<std::string> words;
    for (int i = argc - 1; i > 0; i--)
        words.push_back(IsHelpAlias(argv[i], shell) ? "--help" : argv[i]);
    return words;
}

// cmd.exe hands single quotes on as part of a value: a value copied from a
// POSIX example ('\\!winpersonal\Demo') would be stored with them.
void WarnAboutSingleQuotes(const CLI::App& app)
{
    std::vector<const CLI::App*> parsed = {&app};
    for (const CLI::App* command : app.get_subcommands())
        parsed.push_back(command);
    for (const CLI::App* command : parsed) {
        for (const CLI::Option* option : command->get_options()) {
            for (const std::string& value : option->results()) {
                if (!IsSingleQuoted(value))
                    continue;
                std::string bare = value.substr(1, value.size() - 2);
                Warn(option->get_name() + " " + value + ": the single quotes are kept as part of the value, since "
                     "cmd.exe passes them on; in cmd.exe, quote with double quotes: \"" + bare + "\"");
            }
        }
    }
}

// Topics of `sfxpack help` beside the commands.
struct HelpTopic {
    const char* name;
    ReferencePage (*page)();
};
constexpr HelpTopic kHelpTopics[] = {
    {"config", ConfigReference},
    {"switches", PackageSwitchesReference},
};

std::vector<std::string> HelpTopicNames()
{
    std::vector<std::string> names;
    for (const HelpTopic& topic : kHelpTopics)
        names.push_back(topic.name);
    return names;
}

// sfxpack help [COMMAND]: the same text as --help; or a topic's page.
int ShowHelp(const CLI::App& app, const std::string& topic)
{
    if (topic.empty()) {
        // Not app.help(): it would hand over to the command given, help.
        WriteText(stdout, app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal));
        return kExitSuccess;
    }
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == topic && !command->get_group().empty()) {
            WriteText(stdout, command->help(app.get_name()));
            return kExitSuccess;
        }
    }
    for (const HelpTopic& each : kHelpTopics) {
        if (topic == each.name) {
            WriteText(stdout, RenderText(each.page()));
            return kExitSuccess;
        }
    }
    std::vector<std::string> known = VisibleCommandNames(app);
    for (const std::string& name : HelpTopicNames())
        known.push_back(name);
    PrintTo(stderr, "sfxpack: error: unknown command %s%s\n  the commands are %s; the topics %s\n",
            topic.c_str(), DidYouMean(topic, known).c_str(),
            CLI::detail::join(VisibleCommandNames(app), ", ").c_str(),
            CLI::detail::join(HelpTopicNames(), ", ").c_str());
    return kExitUsage;
}

// What the program's own help says after its commands and examples: where
// stubs are found and the exit status.
std::string ProgramNotes()
{
    return "\n" + RenderText(StubPlacesReference()) + "\n" + RenderText(ExitStatusReference()) +
           "\n'sfxpack help COMMAND' (or COMMAND --help) explains a command's options,\n"
           "'sfxpack help config' the config file.\n";
}

// The man page's sections beyond the help: the config file, the exit
// status, where stubs are found. help2man takes them as an include file.
std::string ManSections()
{
    return RenderManSections({ConfigReference(), PackageSwitchesReference(), ExitStatusReference(), StubPlacesReference()});
}

// A command that prints text the build writes into a file, then ends the
// parse as --help does. Hidden from people.
void AddBuildOutputFlag(CLI::App& app, const std::string& name, std::function<std::string()> text)
{
    app.add_flag_callback(name, [text] {
           WriteText(stdout, text());
           throw CLI::Success();
       })->group("");
}

}  // namespace

int Main(int argc, char** argv, ShellSyntax shell)
{
    CLI::App app{"Makes self-extracting packages for Windows, and inspects, tests and extracts them."};
    app.name("sfxpack");
    auto formatter = std::make_shared<HelpFormatter>();
    formatter->programNotes(ProgramNotes());
    app.formatter(formatter);
    app.require_subcommand(1);
    app.set_help_flag("-h,--help", shell == ShellSyntax::kCmd ? "print this help and exit (/? and -? too)"
                                                               : "print this help and exit");
    app.set_version_flag("--version", VersionText, "print the packer's version and its stubs' and exit");
    app.set_help_all_flag("--help-all", "print the help of every command and exit");
    // The build writes the completion script and the man page's sections
    // with the packer it made.
    AddBuildOutputFlag(app, "--bash-completion", [&app] { return BashCompletionScript(app, HelpTopicNames()); });
    AddBuildOutputFlag(app, "--man-sections", ManSections);
    std::vector<Command> commands;
    BuildArguments build;
    DefineBuild(app, commands, build, shell);
    ReadArguments read;
    DefineReading(app, commands, read, shell);
    std::string helpTopic;
    CLI::App* help = AddCommand(app, commands, "help",
                                "explain a command, the config file (config), a package's switches (switches), "
                                "or sfxpack",
                                [&app, &helpTopic] { return ShowHelp(app, helpTopic); });
    help->add_option("COMMAND", helpTopic, "the command or topic to explain");
    help->footer(ExamplesText("help", shell));
    for (CLI::App* command : app.get_subcommands({})) {
        command->group("Commands");
        command->set_help_all_flag();   // taken over from the program, where it belongs alone
    }
    bool quiet = false;
    AddQuietOptions(app, quiet);
    // Last: commands made after it would take it over as their own.
    app.footer(ExamplesText("", shell));

    std::vector<std::string> words = ArgumentWords(argc, argv, shell);
    try {
        app.parse(words);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            // Help and the version, through the packer's own output.
            std::ostringstream out;
            std::ostringstream err;
            int code = app.exit(error, out, err);
            WriteText(stdout, out.str());
            WriteText(stderr, err.str());
            return code;
        }
        ReportUsageError(app, error);
        return kExitUsage;
    }
    SetQuiet(quiet);
    if (shell == ShellSyntax::kCmd)
        WarnAboutSingleQuotes(app);

    InstallInterruptHandler();
    for (const Command& command : commands) {
        if (!command.app->parsed())
            continue;
        try {
            return command.run();
        } catch (const PackerError& error) {
            ReportError(error.what());
        } catch (const packaging::FormatError& error) {
            ReportError(error.what());
        } catch (const std::exception& error) {
            ReportError(error.what());
        }
        return kExitFailure;
    }
    // require_subcommand(1) lets no parse end here.
    ReportError("no command to run");
    return kExitUsage;
}

}  // namespace packer
