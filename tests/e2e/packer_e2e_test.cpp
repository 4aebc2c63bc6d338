// Packages made by the packer (its Windows build), run through the wizard
// of the real stub under Wine: the extracted tree equals the packed folder,
// bytes, names with umlauts and other Western letters, and times, plain and encrypted, deflated and
// LZMA (with the noise stored either way), and the texts
// of the config file appear in the interface language.
#include <gtest/gtest.h>

#include <fstream>

#include "e2e_support.h"
#include "packer_support.h"
#include "resource_ids.h"
#include "stub_driver.h"

using namespace packaging;
using namespace e2e;

namespace {

// The tree the stub gives back: folder entries are not made by it, so an
// empty folder of the input has no counterpart, and the others come from
// their files.
std::map<std::string, TreeNode> FilesOf(const std::map<std::string, TreeNode>& tree)
{
    std::map<std::string, TreeNode> files;
    for (const auto& [name, node] : tree) {
        if (!node.folder)
            files[name] = node;
    }
    return files;
}

struct PackedRun {
    const char* name;
    bool encrypted;
    const char* compression;
};

class PackedByTheTool : public ::testing::TestWithParam<PackedRun> {};

TEST_P(PackedByTheTool, ExtractedTreeEqualsTheInput)
{
    TempDir dir;
    fs::path input = fs::path(dir.path()) / "input";
    fs::path into = fs::path(dir.path()) / "into";
    fs::create_directories(into);
    WriteTree(input, {{"readme.txt", B("read me\r\n")},
                      {"empty.dat", {}},
                      {"Gr\xc3\xbc\xc3\x9f" "e/\xc3\x84nderungen.txt", B("\xe4nderungen")},
                      // Stored in UTF-8 by the packer, written in Windows-1252 by the stub.
                      {"caf\xc3\xa9/R\xc3\xa9sum\xc3\xa9 \xe2\x82\xac.txt", B("resume")},
                      {"bin/deep/nested/tool.bin", NoiseBytes(300000, 7)},
                      {"bin/text.log", TextBytes(200000)},
                      {"empty folder/", {}}});
    std::string config = dir.path() + "\\package.toml";
    std::ofstream(config) << "[neutral]\n"
                             "folder_template = '" << U8(into) << "'\n"
                             "[german]\n"
                             "title = \"Paket f\xc3\xbcr Tests\"\n"
                             "finish_text = \"Alles entpackt.\"\n"
                             "[english]\n"
                             "title = \"Package for tests\"\n"
                             "finish_text = \"All unpacked.\"\n";
    std::string package = dir.path() + "\\package.exe";
    std::vector<std::string> args = {"build", U8(input), "-o", package, "-c", config, "--stub", StubPath(), "-q",
                                     "--compression", GetParam().compression};
    if (GetParam().encrypted) {
        SetEnvironmentVariableW(L"SFX_E2E_PASSWORD", L"Kennwort \u00e4\u00f6\u00fc");
        args.insert(args.end(), {"--password-env", "SFX_E2E_PASSWORD"});
    }
    RunResult built = RunPacker(args);
    ASSERT_EQ(built.exitCode, 0) << built.err;

    driver::StubProcess stub(package);
    HWND frame = stub.waitForFrame();
    EXPECT_EQ(driver::windowText(frame), ByLanguage("Paket f\xfcr Tests", "Package for tests"));
    if (GetParam().encrypted) {
        HWND page = driver::waitForPage(frame, IDC_PASSWORD_EDIT);
        driver::typeText(page, IDC_PASSWORD_EDIT, "Kennwort \xe4\xf6\xfc");   // as typed: Windows-1252
        driver::clickButton(frame, IDC_NEXT);
    }
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    driver::clickButton(frame, IDC_NEXT);
    HWND finish = driver::waitForPage(frame, IDC_FINISH_TEXT);
    EXPECT_EQ(driver::itemText(finish, IDC_FINISH_TEXT), ByLanguage("Alles entpackt.", "All unpacked."));

    std::vector<fs::path> made(fs::directory_iterator(into), fs::directory_iterator{});
    ASSERT_EQ(made.size(), 1u);
    std::map<std::string, TreeNode> expected = FilesOf(ReadTree(input)), extracted = ReadTree(made[0]);
    EXPECT_EQ(FilesOf(extracted).size(), expected.size());
    for (const auto& [name, node] : expected) {
        auto found = extracted.find(name);
        ASSERT_NE(found, extracted.end()) << name;
        EXPECT_EQ(found->second.content, node.content) << name;
        EXPECT_EQ(found->second.time, node.time) << name;
    }
    driver::clickButton(frame, IDC_NEXT);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(fs::is_empty(into));
}

INSTANTIATE_TEST_SUITE_P(Packages, PackedByTheTool,
                         ::testing::Values(PackedRun{"Plain", false, "deflate"},
                                           PackedRun{"Encrypted", true, "deflate"},
                                           PackedRun{"Lzma", false, "lzma"},
                                           PackedRun{"LzmaEncrypted", true, "lzma"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
