// sfxpack: makes self-extracting packages from a folder or a ZIP file, and
// inspects, tests and extracts finished ones. The argument parsing lives
// here; each subcommand is a file of its own.
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "config_file.h"
#include "interruption.h"
#include "package_builder.h"
#include "packaging/trailer_writer.h"
#include "packer_error.h"
#include "progress.h"
#include "text_encoding.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
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
    bool quiet = false;
};

struct ReadArguments {
    std::string package;
    bool json = false;
    PasswordSource password;
    std::string folder = ".";
    bool overwrite = false;
    bool quiet = false;
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
    request.settings.overrideWith(arguments.settings);
    std::optional<fs::path> stub;
    if (!arguments.stub.empty())
        stub = PathFromUtf8(arguments.stub);
    request.stub = LocateStub(stub, arguments.want64);
    request.stubKind = arguments.want64 ? StubKind::k64 : stub ? StubKind::kAny : StubKind::k32;
    request.password = arguments.password;
    request.password.prompt = arguments.encrypt;
    request.level = arguments.level;
    request.progress = ProgressWanted(arguments.quiet);

    BuildSummary summary = BuildPackage(request);
    if (!arguments.quiet)
        std::printf("%s: %u files, %u folder entries, %s packed into %s%s\n",
                    EscapeControls(arguments.output).c_str(), summary.files, summary.folders,
                    ShowSize(summary.bytes).c_str(), ShowSize(summary.packageSize).c_str(),
                    summary.encrypted ? ", encrypted" : "");
    return 0;
}

void DefineBuild(CLI::App& app, BuildArguments& arguments)
{
    CLI::App* build = app.add_subcommand("build", "make a package from a folder or a ZIP file");
    build->add_option("source", arguments.source, "the folder (walked recursively) or ZIP file to pack")
        ->required();
    build->add_option("-o,--output", arguments.output, "the package to write")->required()->option_text("FILE");
    build->add_option("-c,--config", arguments.config, "config file with the texts per language (TOML)")
        ->option_text("FILE");
    CLI::Option* stub = build->add_option("--stub", arguments.stub, "the stub program to put in front");
    build->add_flag("--64", arguments.want64, "use the 64-bit stub (default: the 32-bit one)");
    stub->option_text("FILE");
    build->add_option("--level", arguments.level, "compression level, 0 (store) to 9; default 6")
        ->check(CLI::Range(0, 9));
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
    build->add_option("--text", arguments.texts, "a text in one language: LANGUAGE.KEY=TEXT")
        ->option_text("LANG.KEY=TEXT");
    CLI::Option* hide = build->add_flag_callback("--hide-frame", [&arguments] { arguments.settings.hideFrame = true; },
                                                 "move the wizard off the screen while commands run (stub default)");
    CLI::Option* show = build->add_flag_callback("--no-hide-frame",
                                                 [&arguments] { arguments.settings.hideFrame = false; },
                                                 "keep the wizard on the screen while commands run");
    hide->excludes(show);
    CLI::Option* noWait = build->add_flag_callback(
        "--finish-no-wait", [&arguments] { arguments.settings.finishNoWait = true; },
        "go on from the finish page without waiting for the user");
    CLI::Option* wait = build->add_flag_callback("--finish-wait",
                                                 [&arguments] { arguments.settings.finishNoWait = false; },
                                                 "wait on the finish page for Next (stub default)");
    noWait->excludes(wait);
    build->add_flag("-q,--quiet", arguments.quiet, "print nothing but errors");
}

}  // namespace

int Main(int argc, char** argv)
{
    CLI::App app{"Makes self-extracting packages for Windows, and inspects, tests and extracts them."};
    app.name("sfxpack");
    app.require_subcommand(1);
    BuildArguments build;
    DefineBuild(app, build);

    ReadArguments read;
    CLI::App* inspect = app.add_subcommand("inspect", "list a package's trailer records and entries");
    inspect->add_option("package", read.package, "the package")->required();
    inspect->add_flag("--json", read.json, "print JSON for scripts");

    CLI::App* test = app.add_subcommand("test", "check a package whole: trailer, archive, every entry's CRC-32");
    test->add_option("package", read.package, "the package")->required();
    AddPasswordOptions(test, read.password);
    test->add_flag("-q,--quiet", read.quiet, "no progress display");

    CLI::App* extract = app.add_subcommand("extract", "unpack a package into a folder");
    extract->add_option("package", read.package, "the package")->required();
    extract->add_option("-d,--directory", read.folder, "the folder to extract into; default: the current one")
        ->option_text("FOLDER");
    extract->add_flag("--overwrite", read.overwrite, "replace files that exist");
    AddPasswordOptions(extract, read.password);
    extract->add_flag("-q,--quiet", read.quiet, "no progress display");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : kExitUsage;
    }

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
            return TestPackage(package, read.password, ProgressWanted(read.quiet), stdout);
        ExtractOptions options;
        options.folder = PathFromUtf8(read.folder);
        options.overwrite = read.overwrite;
        options.progress = ProgressWanted(read.quiet);
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

#ifdef _WIN32
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
    // Messages and listings are UTF-8; the console shows them as such only
    // in its UTF-8 code page, which is put back afterwards.
    UINT consolePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    int result = packer::Main(count, argv.data());
    SetConsoleOutputCP(consolePage);
    return result;
}
#else
int main(int argc, char** argv)
{
    return packer::Main(argc, argv);
}
#endif
