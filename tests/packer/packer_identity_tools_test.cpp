// The icon, version information and execution level of packages made from
// the real 32- and 64-bit stubs, read back by independent tools: icoutils'
// wrestool gives the icon group and images byte for byte as the .ico file
// holds them, Debian's pefile reads the version information and the
// manifest and finds every other part of the stub as it was, and
// osslsigncode signs and verifies the package. Linux only: the tools are
// Linux programs.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "packer_error.h"
#include "packer_support.h"
#include "stub_file.h"
#include "support/icon_builder.h"

using packaging::Bytes;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
};

// Runs a command line through the shell and takes its standard output.
ToolRun RunTool(const std::string& command)
{
    ToolRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

Bytes Part(const Bytes& bytes, std::size_t at, std::size_t size)
{
    return at <= bytes.size() && size <= bytes.size() - at
               ? Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + size))
               : Bytes();
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

class IndependentTools : public PackerFolderTest, public ::testing::WithParamInterface<bool> {
protected:
    // Copies the built stub of the parameter's width to stub.exe and writes
    // a one-file folder "in"; false when that stub was not built.
    bool copyStubAndInput()
    {
        fs::path stub;
        try {
            stub = packer::LocateStub(std::nullopt, GetParam());
        } catch (const packer::PackerError&) {
            return false;
        }
        WriteBytes(path("stub.exe"), ReadBytes(stub));
        WriteTree(path("in"), {{"a.txt", TextBytes(1000)}});
        return true;
    }
};

// A 256-pixel image in BMP form is large enough to move the relocations
// behind the resources to another page; the PNG and the 4-bit image are
// the other two kinds.
const std::vector<packaging::TestIconImage> kImages = {
    {256, 0x2060A0, false, 32}, {48, 0xA02060, true, 32}, {16, 0x20A060, false, 4}};

TEST_P(IndependentTools, ReadTheIconVersionAndLevelTheStubNowCarries)
{
    if (!copyStubAndInput())
        GTEST_SKIP() << "no " << (GetParam() ? "64" : "32") << "-bit stub built";
    const Bytes icon = packaging::makeIconFile(kImages);
    WriteBytes(path("app.ico"), icon);
    std::ofstream(path("setup.toml"), std::ios::binary) << "icon = \"app.ico\"\n"
                                                           "execution_level = \"require_administrator\"\n"
                                                           "[version]\n"
                                                           "file_version = \"3.1.4.1\"\n"
                                                           "product_version = \"3.1\"\n"
                                                           "product_name = \"Demo \xC3\xA4\xE2\x82\xAC\"\n"
                                                           "company_name = \"Brenlow GmbH\"\n"
                                                           "file_description = \"Demo setup\"\n"
                                                           "legal_copyright = \"\xC2\xA9 2024 Brenlow\"\n"
                                                           "comments = \"made for tests\"\n";
    RunResult built = build("in", "setup.exe", {"-c", arg("setup.toml")});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    const fs::path package = path("setup.exe");

    // The group lists the images with the .ico file's own entries.
    ToolRun group = RunTool("wrestool -x --raw -t 14 -n 121 " + Quoted(package));
    ASSERT_EQ(group.exitCode, 0);
    Bytes groupBytes(group.out.begin(), group.out.end());
    ASSERT_EQ(groupBytes.size(), 6 + 14 * kImages.size());
    EXPECT_TRUE(Part(groupBytes, 0, 6) == Part(icon, 0, 6));
    for (std::size_t i = 0; i < kImages.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Part(groupBytes, 6 + 14 * i, 12) == Part(icon, 6 + 16 * i, 12));
        unsigned id = groupBytes[6 + 14 * i + 12] | groupBytes[6 + 14 * i + 13] << 8;
        ToolRun image = RunTool("wrestool -x --raw -t 3 -n " + std::to_string(id) + " " + Quoted(package));
        ASSERT_EQ(image.exitCode, 0);
        EXPECT_TRUE(Bytes(image.out.begin(), image.out.end()) ==
                    Part(icon, Le32(icon, 6 + 16 * i + 12), Le32(icon, 6 + 16 * i + 8)));
    }
    // Put together as an .ico file, the group and images give the file back
    // (wrestool 0.32 writes as many bytes again behind it as the group has).
    ToolRun whole = RunTool("wrestool -x -t 14 -n 121 " + Quoted(package));
    ASSERT_EQ(whole.exitCode, 0);
    EXPECT_TRUE(Part(Bytes(whole.out.begin(), whole.out.end()), 0, icon.size()) == icon);
    // The stub's own two images are gone.
    ToolRun listed = RunTool("wrestool -l -t 3 " + Quoted(package) + " | wc -l");
    EXPECT_EQ(listed.out, "3\n");

    ToolRun facts = RunTool("/usr/bin/python3 " SFX_PROGRAM_FACTS " " + Quoted(path("stub.exe")) + " " +
                            Quoted(package));
    ASSERT_EQ(facts.exitCode, 0) << facts.out;
    EXPECT_EQ(facts.out, "kept: yes\n"
                         "header: yes\n"
                         "image_size: yes\n"
                         "checksum: yes\n"
                         "warnings: none\n"
                         "file_version: 3.1.4.1\n"
                         "product_version: 3.1.0.0\n"
                         "table: 040704E4\n"
                         "string: FileVersion=3.1.4.1\n"
                         "string: ProductVersion=3.1\n"
                         "string: ProductName=Demo \xC3\xA4\xE2\x82\xAC\n"
                         "string: CompanyName=Brenlow GmbH\n"
                         "string: FileDescription=Demo setup\n"
                         "string: LegalCopyright=\xC2\xA9 2024 Brenlow\n"
                         "string: OriginalFilename=setup.exe\n"
                         "string: Comments=made for tests\n"
                         "translation: 0x0407 0x04e4\n"
                         "level: requireAdministrator\n");
}

// A signature covers the resources (and would have to cover the trailer):
// a signed stub is refused, with an icon as without, while the package made
// from the stub signs and verifies.
TEST_P(IndependentTools, SignTheFinishedPackageNotTheStub)
{
    if (!copyStubAndInput())
        GTEST_SKIP() << "no " << (GetParam() ? "64" : "32") << "-bit stub built";
    WriteBytes(path("app.ico"), packaging::makeIconFile(kImages));
    ASSERT_EQ(RunTool("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=sfxtest -days 2 -keyout " +
                      Quoted(path("key.pem")) + " -out " + Quoted(path("cert.pem")) + " 2>/dev/null")
                  .exitCode,
              0);
    std::string signer = "osslsigncode sign -certs " + Quoted(path("cert.pem")) + " -key " + Quoted(path("key.pem"));
    ASSERT_EQ(RunTool(signer + " -in " + Quoted(path("stub.exe")) + " -out " + Quoted(path("signed-stub.exe")) +
                      " >/dev/null")
                  .exitCode,
              0);
    RunResult refused = RunPacker({"build", arg("in"), "-o", arg("out.exe"), "--stub", arg("signed-stub.exe"),
                                   "--icon", arg("app.ico")});
    ExpectRefused(refused, {"signed-stub.exe is signed; a package made from it would not start",
                            "sign the package"});
    EXPECT_FALSE(fs::exists(path("out.exe")));

    ASSERT_EQ(build("in", "out.exe", {"--icon", arg("app.ico")}).exitCode, 0);
    ASSERT_EQ(RunTool(signer + " -in " + Quoted(path("out.exe")) + " -out " + Quoted(path("signed.exe")) + " >/dev/null")
                  .exitCode,
              0);
    EXPECT_EQ(RunTool("osslsigncode verify -CAfile " + Quoted(path("cert.pem")) + " -in " + Quoted(path("signed.exe")) +
                      " >/dev/null 2>&1")
                  .exitCode,
              0);
}

INSTANTIATE_TEST_SUITE_P(Stubs, IndependentTools, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Stub64" : "Stub32"; });

}  // namespace
