// A package's icon, version information and execution level as the packer
// takes them from the config file and the command line: bad values and
// files refused by name before anything is written, what inspect shows,
// options over the config, the same bytes from the same inputs, and a
// package without them carrying the stub as it is.
#include <gtest/gtest.h>

#include <fstream>

#include "packer_error.h"
#include "packer_support.h"
#include "stub_file.h"
#include "support/icon_builder.h"

using packaging::Bytes;

namespace {

class IdentityTest : public PackerFolderTest {
  protected:
    IdentityTest()
    {
        WriteTree(path("in"), {{"a.txt", TextBytes(100)}});
        WriteBytes(path("app.ico"), packaging::makeIconFile({{32, 0xFF0000, false, 32}, {16, 0x00FF00, false, 4}}));
    }

    void writeConfig(const std::string& text, const std::string& name = "cfg.toml")
    {
        fs::create_directories(path(name).parent_path());
        std::ofstream(path(name), std::ios::binary) << text;
    }

    // A real stub of the host's build tree, the 32-bit one where it is
    // built; false when there is none.
    bool useRealStub()
    {
        for (bool want64 : {false, true}) {
            try {
                WriteBytes(path("stub.exe"), ReadBytes(packer::LocateStub(std::nullopt, want64)));
                return true;
            } catch (const packer::PackerError&) {
            }
        }
        return false;
    }
};

TEST_F(IdentityTest, BadValuesAndFilesAreRefusedByNameBeforeAnythingIsWritten)
{
    WriteBytes(path("stub.exe"), FakeStub());
    WriteBytes(path("text.ico"), TextBytes(300));
    Bytes cut = ReadBytes(path("app.ico"));
    cut.resize(cut.size() - 100);
    WriteBytes(path("cut.ico"), cut);
    const struct {
        std::string config;
        std::vector<std::string> options;
        std::vector<std::string> message;
    } cases[] = {
        {"execution_level = \"admin\"\n", {},
         {"cfg.toml:1: execution_level is as_invoker, highest_available or require_administrator, not admin"}},
        {"", {"--execution-level", "root"}, {"--execution-level: execution_level is", "not root"}},
        {"[version]\nfile_version = \"1.2.3.4.5\"\n", {},
         {"cfg.toml:2: file_version \"1.2.3.4.5\" is no version number; write 1 to 4 numbers"}},
        {"[version]\nproduct_version = \"1.70000\"\n", {},
         {"cfg.toml:2: product_version \"1.70000\": 70000 is out of range; each part is 0 to 65535"}},
        {"[version]\nfile_version = \"1..2\"\n", {}, {"cfg.toml:2: file_version \"1..2\" is no version number"}},
        {"[version]\nfile_version = \"v1\"\n", {}, {"is no version number"}},
        {"[version]\nfile_version = \"\"\n", {}, {"is no version number"}},
        {"[version]\nfile_version = 1\n", {}, {"cfg.toml:2: file_version must be a text in quotes"}},
        {"[version]\n\nproduct_name = \"\xCE\xA9mega\"\n", {},
         {"cfg.toml:3: product_name holds U+03A9", "which Windows-1252 (the code page of the stub's version "
                                                   "information) cannot hold"}},
        {"[version]\nlanguage = \"German\"\n", {}, {"cfg.toml:2: unknown key language in [version]"}},
        {"version = \"1.0\"\n", {}, {"cfg.toml:1: version must be a table, [version]"}},
        {"icon = 5\n", {}, {"cfg.toml:1: icon must be a text in quotes"}},
        {"\nicon = \"\"\n", {}, {"cfg.toml:2: icon must name an .ico file"}},
        {"", {"--icon", ""}, {"--icon: icon must name an .ico file"}},
        {"", {"--version-info", "productname=Demo"},
         {"--version-info productname=Demo: unknown key productname; did you mean product_name?"}},
        {"", {"--version-info", "language=German"},
         {"--version-info language=German: unknown key language; the keys are file_version, product_version, "
          "product_name, company_name"}},
        {"", {"--version-info", "product_name"},
         {"--version-info product_name: write KEY=VALUE, for example product_version=1.2"}},
        {"", {"--execution-level", "highest"},
         {"--execution-level: execution_level is", "not highest", "did you mean highest_available?"}},
        // Keys nearly right, or in the wrong place, as for every table.
        {"[version]\nproduct_nme = \"x\"\n", {},
         {"cfg.toml:2: unknown key product_nme in [version]; did you mean product_name?"}},
        {"file_version = \"1.0\"\n", {}, {"cfg.toml:1: file_version belongs in the table [version]"}},
        {"[german]\ncomments = \"x\"\n", {},
         {"cfg.toml:2: comments belongs in the table [version], not in [german]"}},
        {"[version]\nicon = \"app.ico\"\n", {}, {"cfg.toml:2: icon belongs at the top, before any table"}},
        {"", {"--version-info", "file_version=99999"},
         {"--version-info: file_version \"99999\": 99999 is out of range"}},
        {"", {"--icon", "missing.ico"}, {"missing.ico"}},
        {"", {"--icon", "text.ico"}, {"text.ico: not an icon file (.ico)"}},
        {"", {"--icon", "cut.ico"}, {"cut.ico: cut short: image 2 (16x16) runs past the end of the file"}},
        // The fake stub is a program header and nothing more.
        {"", {"--icon", "app.ico"}, {"stub.exe cannot take the package's icon, version information or "
                                     "execution level"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config + (c.options.empty() ? "" : c.options.back()));
        writeConfig(c.config);
        std::vector<std::string> options = {"-c", arg("cfg.toml")};
        for (const std::string& option : c.options)
            options.push_back(option.size() > 4 && option.substr(option.size() - 4) == ".ico" ? arg(option) : option);
        std::vector<std::string> before = listing();
        RunResult run = build("in", "out.exe", options);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        for (const std::string& fragment : c.message)
            EXPECT_NE(run.err.find(fragment), std::string::npos) << run.err;
        EXPECT_EQ(listing(), before) << "nothing written";
    }
}

TEST_F(IdentityTest, TheDefaultOriginalNameMustFitTheCodePageToo)
{
    WriteBytes(path("stub.exe"), FakeStub());
    writeConfig("[version]\nproduct_name = \"Demo\"\n");
    RunResult run = build("in", "\xCE\xA9-setup.exe", {"-c", arg("cfg.toml")});
    ExpectRefused(run, {"original_filename is the package's name, \xCE\xA9-setup.exe, by default, which holds U+03A9",
                        "so set original_filename"});
    writeConfig("[version]\nproduct_name = \"Demo\"\noriginal_filename = \"setup.exe\"\n");
    RunResult named = build("in", "\xCE\xA9-setup.exe", {"-c", arg("cfg.toml")});
    EXPECT_EQ(named.err.find("original_filename is the package's name"), std::string::npos) << named.err;
}

TEST_F(IdentityTest, APackageWithoutThemCarriesTheStubAsItIs)
{
    if (!useRealStub())
        GTEST_SKIP() << "no stub built";
    ASSERT_EQ(build("in", "out.exe").exitCode, 0);
    Bytes stub = ReadBytes(path("stub.exe"));
    Bytes package = ReadBytes(path("out.exe"));
    ASSERT_GT(package.size(), stub.size());
    EXPECT_TRUE(Bytes(package.begin(), package.begin() + static_cast<std::ptrdiff_t>(stub.size())) == stub);

    RunResult listing = RunPacker({"inspect", arg("out.exe")});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    for (const char* line : {"icon:      32x32 4-bit, 16x16 4-bit",
                             "version:   file " SFX_VERSION ".0, product " SFX_VERSION ".0; no texts",
                             "execution: as_invoker"})
        EXPECT_NE(listing.out.find(line), std::string::npos) << line << " in:\n" << listing.out;
}

TEST_F(IdentityTest, InspectShowsWhatTheConfigAndTheOptionsGave)
{
    if (!useRealStub())
        GTEST_SKIP() << "no stub built";
    fs::create_directories(path("project/art"));
    WriteBytes(path("project/art/big.ico"),
               packaging::makeIconFile({{256, 0x0000FF, true, 32}, {48, 0x00FF00, false, 32}, {16, 0xFF0000, false, 4}}));
    // The icon's path is taken from the config file's folder.
    writeConfig("icon = \"art/big.ico\"\n"
                "execution_level = \"highest_available\"\n"
                "[version]\n"
                "file_version = \"2.5\"\n"
                "product_name = \"Demo \xC3\xA4\"\n"
                "company_name = \"Config GmbH\"\n",
                "project/setup.toml");
    RunResult run = build("in", "setup.exe", {"-c", arg("project/setup.toml"), "--version-info",
                                              "company_name=Option GmbH", "--version-info", "comments=from \"here\""});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    RunResult listing = RunPacker({"inspect", arg("setup.exe")});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    for (const char* line : {"icon:      256x256 PNG 32-bit, 48x48 32-bit, 16x16 4-bit",
                             "version:   file 2.5.0.0, product 2.5.0.0; texts in language 0x0407, code page 1252",
                             "           file_version       \"2.5\"",
                             "           product_version    \"2.5\"",
                             "           product_name       \"Demo \xC3\xA4\"",
                             "           company_name       \"Option GmbH\"",
                             "           original_filename  \"setup.exe\"",
                             "           comments           \"from \"here\"\"",
                             "execution: highest_available"})
        EXPECT_NE(listing.out.find(line), std::string::npos) << line << " in:\n" << listing.out;
    RunResult json = RunPacker({"inspect", arg("setup.exe"), "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    for (const char* item : {"\"execution_level\" : \"highest_available\"", "\"file_version\" : \"2.5.0.0\"",
                             "\"product_name\" : \"Demo \xC3\xA4\"", "\"comments\" : \"from \\\"here\\\"\"",
                             "\"language_id\" : 1031", "\"code_page\" : 1252", "\"width\" : 256", "\"png\" : true"})
        EXPECT_NE(json.out.find(item), std::string::npos) << item << " in:\n" << json.out;

    // The option's icon wins over the config's; the same inputs give the
    // same bytes.
    ASSERT_EQ(build("in", "other.exe", {"-c", arg("project/setup.toml"), "--icon", arg("app.ico")}).exitCode, 0);
    EXPECT_NE(RunPacker({"inspect", arg("other.exe")}).out.find("icon:      32x32 32-bit, 16x16 4-bit"),
              std::string::npos);
    fs::create_directories(path("again"));
    ASSERT_EQ(build("in", "again/setup.exe", {"-c", arg("project/setup.toml"), "--version-info",
                                              "company_name=Option GmbH", "--version-info", "comments=from \"here\""})
                  .exitCode,
              0);
    EXPECT_TRUE(ReadBytes(path("again/setup.exe")) == ReadBytes(path("setup.exe")));
}

}  // namespace
