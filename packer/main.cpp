// sfxpack: makes self-extracting packages from a folder or a ZIP file, and
// inspects, tests and extracts finished ones. The argument parsing lives
// here; each subcommand is a file of its own.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "bash_completion.h"
#include "command_help.h"
#include "commands.h"
#include "config_file.h"
#include "interruption.h"
#include "main.h"
#include "notes.h"
#include "package_builder.h"
#include "packaging/trailer_writer.h"
#include "packer_error.h"
#include "progress.h"
#include "stub_file.h"
#include "text_encoding.h"

#ifndef SFX_VERSION
#define SFX_VERSION "unknown"
#endif

namespace packer {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct BuildArguments {
    std::string source;
    std::string output;
    std::string config;
    std::string stub;
    bool want64 = false;
    int level = 6;
    bool encrypt = false;
    PasswordSource password;
    PackageSettings settings;   // from options; they win over the config file
    std::vector<std::string> texts;   // --text language.key=value
    std::vector<std::string> versionInfo;   // --version-info key=value
    bool followLinks = false;
};

struct ReadArguments {
    std::string package;
    bool json = false;
    PasswordSource password;
    std::string folder = ".";
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

// --text german.title=Einrichtung
void ApplyTextOption(const std::string& option, PackageSettings& settings)
{
    std::size_t dot = option.find('.');
    std::size_t equals = option.find('=');
    if (dot == std::string::npos || equals == std::string::npos || dot > equals)
        throw PackerError("--text " + option + ": write LANGUAGE.KEY=TEXT, for example german.title=Einrichtung");
    int language = FindLanguage(option.substr(0, dot));
    int field = FindTextField(option.substr(dot + 1, equals - dot - 1));
    if (language < 0)
        throw PackerError("--text " + option + ": the languages are neutral, german and english");
    if (field < 0)
        throw PackerError("--text " + option + ": unknown key " + option.substr(dot + 1, equals - dot - 1));
    std::string text = option.substr(equals + 1);
    EncodeSettingText(kTextFields[static_cast<std::size_t>(field)], text, "--text");
    settings.texts[static_cast<std::size_t>(field)][static_cast<std::size_t>(language)] = text;
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
    std::fprintf(stderr, "sfxpack: error: %s\n", EscapeControls(message, true).c_str());
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
    for (std::size_t f = 0; f < kTextFieldCount; f++)
        if (const auto& text = arguments.settings.texts[f][0])
            EncodeSettingText(kTextFields[f], *text, std::string("--") + kTextFields[f].key);
    for (const std::string& text : arguments.texts)
        ApplyTextOption(text, arguments.settings);
    for (const std::string& value : arguments.versionInfo)
        ApplyVersionOption(value, arguments.settings.identity);
    if (arguments.settings.identity.icon && arguments.settings.identity.icon->empty())
        throw PackerError("--icon must name an .ico file");
    if (arguments.settings.identity.executionLevel)
        CheckExecutionLevel(*arguments.settings.identity.executionLevel, "--execution-level");
    request.settings.overrideWith(arguments.settings);
    std::optional<fs::path> stub;
    if (!arguments.stub.empty())
        stub = PathFromUtf8(arguments.stub);
    request.stub = LocateStub(stub, arguments.want64);
    request.stubKind = arguments.want64 ? StubKind::k64 : stub ? StubKind::kAny : StubKind::k32;
    request.password = arguments.password;
    request.password.prompt = arguments.encrypt;
    request.level = arguments.level;
    request.progress = ProgressWanted(Quiet());
    request.followLinks = arguments.followLinks;
    request.latestTime = SourceDateEpoch();

    BuildSummary summary = BuildPackage(request);
    if (!Quiet())
        std::printf("%s: %u files, %u folder entries, %s packed into %s%s\n",
                    EscapeControls(arguments.output).c_str(), summary.files, summary.folders,
                    ShowSize(summary.bytes).c_str(), ShowSize(summary.packageSize).c_str(),
                    summary.encrypted ? ", encrypted" : "");
    return 0;
}

// A package is written to a temporary file and renamed when complete, so
// that a failed build leaves nothing half made; a stream cannot do that.
std::string RefuseStandardOutput(const std::string& output)
{
    if (output == "-")
        return "- would be standard output, but a package is written to a file; name one, for example -o setup.exe";
    return "";
}

// Two flags that set one switch of the package on and off; without either
// the config file (or the stub's default) decides, and both at once are an
// error.
void AddSwitchPair(CLI::App* command, std::optional<bool>& value, const std::string& on, const std::string& onHelp,
                   const std::string& off, const std::string& offHelp)
{
    CLI::Option* set = command->add_flag_callback(on, [&value] { value = true; }, onHelp);
    CLI::Option* clear = command->add_flag_callback(off, [&value] { value = false; }, offHelp);
    set->excludes(clear);
}

void DefineBuild(CLI::App& app, BuildArguments& arguments)
{
    CLI::App* build = app.add_subcommand("build", "make a package from a folder or a ZIP file");
    build->add_option("SOURCE", arguments.source, "the folder (walked recursively) or ZIP file to pack")
        ->required();
    build->add_option("-o,--output", arguments.output, "the package to write")
        ->required()
        ->option_text("FILE")
        ->check(CLI::Validator(RefuseStandardOutput, "", "not -"));
    build->add_option("-c,--config", arguments.config, "config file with the texts per language (TOML)")
        ->option_text("FILE");
    CLI::Option* stub = build->add_option("--stub", arguments.stub, "the stub program to put in front");
    build->add_flag("--64", arguments.want64, "use the 64-bit stub (default: the 32-bit one)");
    stub->option_text("FILE");
    build->add_option("--level", arguments.level, "compression level, 0 (store) to 9; default 6")
        ->check(CLI::Range(0, 9))
        ->option_text("0-9");
    CLI::Option* encrypt = build->add_flag("--encrypt", arguments.encrypt,
                                           "encrypt every entry with a password asked for on the terminal");
    AddPasswordOptions(build, arguments.password);
    encrypt->excludes("--password-file")->excludes("--password-env");
    for (const TextField& field : kTextFields) {
        std::string name = field.key;
        for (char& c : name)
            if (c == '_')
                c = '-';
        std::size_t index = static_cast<std::size_t>(FindTextField(field.key));
        build->add_option_function<std::string>(
                 "--" + name, [&arguments, index](const std::string& text) { arguments.settings.texts[index][0] = text; },
                 std::string(field.meaning) + " (neutral language)")
            ->option_text("TEXT");
    }
    // One value per occurrence: a list option would swallow the source
    // named after it.
    build->add_option("--text", arguments.texts, "a text in one language: LANGUAGE.KEY=TEXT")
        ->option_text("LANG.KEY=TEXT")
        ->allow_extra_args(false);
    build->add_option("--exclude", arguments.settings.exclude,
                      "leave out the paths the pattern matches (*, **, ?, [...]; without '/' a name in any "
                      "folder; ending in '/' folders only); repeatable, joins the config's list")
        ->option_text("PATTERN")
        ->allow_extra_args(false);
    build->add_option_function<std::string>(
             "--icon", [&arguments](const std::string& file) { arguments.settings.identity.icon = PathFromUtf8(file); },
             "the package's icon: an .ico file with one or more images (default: the stub's)")
        ->option_text("FILE");
    build->add_option("--version-info", arguments.versionInfo,
                      "a value of the version information: KEY=VALUE, keys as in the config's [version] table "
                      "(file_version, product_name ...); repeatable")
        ->option_text("KEY=VALUE")
        ->allow_extra_args(false);
    build->add_option_function<std::string>(
             "--execution-level",
             [&arguments](const std::string& level) { arguments.settings.identity.executionLevel = level; },
             "what the package asks Windows for: as_invoker (default), highest_available or require_administrator")
        ->option_text("LEVEL");
    build->add_flag("--follow-links", arguments.followLinks,
                    "pack what links to folders lead to (default: skip them with a note)");
    AddSwitchPair(build, arguments.settings.hideFrame, "--hide-frame",
                  "move the wizard off the screen while commands run (stub default)", "--no-hide-frame",
                  "keep the wizard on the screen while commands run");
    AddSwitchPair(build, arguments.settings.finishNoWait, "--finish-no-wait",
                  "go on from the finish page without waiting for the user", "--finish-wait",
                  "wait on the finish page for Next (stub default)");
    AddSwitchPair(build, arguments.settings.skipFolderPage, "--skip-folder-page",
                  "never ask for the folder: extract into the folder template's folder at once", "--folder-page",
                  "show the folder page (stub default)");
    build->footer("Examples:\n"
                  "  $ sfxpack build payload -o setup.exe --title \"Demo setup\" --command1 install.cmd\n"
                  "  $ sfxpack build payload.zip -o secret.exe -c setup.toml --password-env SETUP_PASSWORD\n"
                  "  $ sfxpack build payload -o setup64.exe --64 --folder-template '\\\\!winprograms\\Demo' -q");
}

void DefineReading(CLI::App& app, ReadArguments& read)
{
    CLI::App* inspect = app.add_subcommand("inspect", "list a package's trailer records and entries");
    inspect->add_option("PACKAGE", read.package, "the package")->required();
    inspect->add_flag("--json", read.json, "print JSON for scripts");
    inspect->footer("Examples:\n"
                    "  $ sfxpack inspect setup.exe\n"
                    "  $ sfxpack inspect secret.exe --json");

    CLI::App* test = app.add_subcommand("test", "check a package whole: trailer, archive, every entry's CRC-32");
    test->add_option("PACKAGE", read.package, "the package")->required();
    AddPasswordOptions(test, read.password);
    test->footer("Examples:\n"
                 "  $ sfxpack test setup.exe\n"
                 "  $ sfxpack test secret.exe --password-file password.txt");

    CLI::App* extract = app.add_subcommand("extract", "unpack a package into a folder");
    extract->add_option("PACKAGE", read.package, "the package")->required();
    extract->add_option("-d,--directory", read.folder, "the folder to extract into; default: the current one")
        ->option_text("FOLDER");
    extract->add_flag("--overwrite", read.overwrite, "replace files that exist");
    extract->add_flag("--sync", read.sync,
                      "return only when the files are on the disk (as the sync command does, for all at once)");
    AddPasswordOptions(extract, read.password);
    extract->footer("Examples:\n"
                    "  $ sfxpack extract setup.exe -d unpacked\n"
                    "  $ sfxpack extract secret.exe -d unpacked --overwrite --password-env SETUP_PASSWORD");
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
    std::fprintf(stderr, "sfxpack: error: %s\n  %s  '%s' explains every option.\n", message.c_str(), usage.c_str(),
                 isProgram ? "sfxpack help" : ("sfxpack help " + command.get_name()).c_str());
}

// sfxpack help [COMMAND]: the same text as --help.
int ShowHelp(const CLI::App& app, const std::string& topic)
{
    if (topic.empty()) {
        // Not app.help(): it would hand over to the command given, help.
        std::fputs(app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal).c_str(), stdout);
        return 0;
    }
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == topic && !command->get_group().empty()) {
            std::fputs(command->help(app.get_name()).c_str(), stdout);
            return 0;
        }
    }
    std::fprintf(stderr, "sfxpack: error: unknown command %s; the commands are %s\n", topic.c_str(),
                 CLI::detail::join(VisibleCommandNames(app), ", ").c_str());
    return kExitUsage;
}

}  // namespace

int Main(int argc, char** argv)
{
    CLI::App app{"Makes self-extracting packages for Windows, and inspects, tests and extracts them."};
    app.name("sfxpack");
    app.formatter(std::make_shared<HelpFormatter>());
    app.require_subcommand(1);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", VersionText, "print the packer's version and its stubs' and exit");
    app.set_help_all_flag("--help-all", "print the help of every command and exit");
    // The build writes the completion script with the packer it made.
    app.add_flag_callback("--bash-completion", [&app] {
           std::fputs(BashCompletionScript(app).c_str(), stdout);
           throw CLI::Success();
       })->group("");
    BuildArguments build;
    DefineBuild(app, build);
    ReadArguments read;
    DefineReading(app, read);
    std::string helpTopic;
    CLI::App* help = app.add_subcommand("help", "explain a command, or sfxpack");
    help->add_option("COMMAND", helpTopic, "the command to explain");
    help->footer("Examples:\n"
                 "  $ sfxpack help\n"
                 "  $ sfxpack help extract");
    for (CLI::App* command : app.get_subcommands({})) {
        command->group("Commands");
        command->set_help_all_flag();   // taken over from the program, where it belongs alone
    }
    bool quiet = false;
    AddQuietOptions(app, quiet);
    // Last: commands made after it would take it over as their own.
    app.footer("Examples:\n"
               "  $ sfxpack build payload -o setup.exe --title \"Demo setup\" --command1 install.cmd\n"
               "  $ sfxpack test setup.exe\n"
               "  $ sfxpack help build\n"
               "\n"
               "'sfxpack help COMMAND' (or COMMAND --help) explains a command's options.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return app.exit(error);
        ReportUsageError(app, error);
        return kExitUsage;
    }
    SetQuiet(quiet);
    if (app.got_subcommand("help"))
        return ShowHelp(app, helpTopic);

    InstallInterruptHandler();
    // A password for test and extract is asked for only when the package
    // turns out to be encrypted and no other source was given.
    read.password.prompt = read.password.file.empty() && read.password.environment.empty();
    try {
        fs::path package = PathFromUtf8(read.package);
        if (app.got_subcommand("build"))
            return RunBuild(build);
        if (app.got_subcommand("inspect"))
            return InspectPackage(package, read.json, stdout);
        if (app.got_subcommand("test"))
            return TestPackage(package, read.password, ProgressWanted(Quiet()), stdout);
        ExtractOptions options;
        options.folder = PathFromUtf8(read.folder);
        options.overwrite = read.overwrite;
        options.sync = read.sync;
        options.progress = ProgressWanted(Quiet());
        return ExtractPackage(package, read.password, options, stdout);
    } catch (const PackerError& error) {
        ReportError(error.what());
    } catch (const packaging::FormatError& error) {
        ReportError(error.what());
    } catch (const std::exception& error) {
        ReportError(error.what());
    }
    return kExitFailure;
}

}  // namespace packer
