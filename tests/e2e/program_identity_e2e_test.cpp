// Packages made by the Windows packer with an icon, version information and
// an execution level of their own: Windows' calls read them back (the
// version information, the icon the shell extracts for Explorer and the
// taskbar, the stub's own icon group), the package still runs through the
// wizard, plain and encrypted, and after signing with osslsigncode, and the
// Linux packer makes the same bytes from the same input.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "e2e_support.h"
#include "packer_support.h"
#include "resource_ids.h"
#include "stub_driver.h"
#include "support/icon_builder.h"
#include "support/wine_host.h"

using namespace packaging;
using namespace e2e;

namespace {

// One colour per size, so that the size Windows picks can be told by it.
constexpr std::uint32_t kRed = 0xE02020;
constexpr std::uint32_t kGreen = 0x20C040;
constexpr std::uint32_t kBlue = 0x2040E0;
const std::vector<TestIconImage> kImages = {{48, kRed, false, 32}, {32, kGreen, false, 32}, {16, kBlue, false, 32}};

constexpr const char* kConfig = "icon = \"app.ico\"\n"
                                "execution_level = \"require_administrator\"\n"
                                "[version]\n"
                                "file_version = \"4.3.2.1\"\n"
                                "product_version = \"4.3\"\n"
                                "product_name = \"Demo \xC3\xA4\"\n"
                                "company_name = \"Brenlow GmbH\"\n"
                                "file_description = \"Setup for tests\"\n"
                                "[neutral]\n"
                                "finish_text = \"Unpacked.\"\n";

// A folder with the icon, a config naming it and the extraction folder,
// and the files to pack.
struct Project {
    TempDir dir;
    std::string root = dir.path();
    std::string into = root + "\\into";

    Project()
    {
        fs::create_directories(into);
        WriteBytes(root + "\\app.ico", makeIconFile(kImages));
        std::ofstream(root + "\\setup.toml", std::ios::binary)
            << kConfig << "folder_template = '" << into << "'\n";
        WriteTree(fs::path(root) / "input", {{"readme.txt", B("read me\r\n")}, {"bin/tool.bin", NoiseBytes(70000, 3)}});
    }

    // Builds with the Windows packer; the package's path.
    std::string build(const std::string& name, std::vector<std::string> extra = {})
    {
        std::string package = root + "\\" + name;
        std::vector<std::string> args = {"build", root + "\\input", "-o", package, "-c", root + "\\setup.toml",
                                          "--stub", StubPath(), "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        RunResult built = RunPacker(args);
        EXPECT_EQ(built.exitCode, 0) << built.err;
        return package;
    }
};

std::string VersionString(const std::vector<char>& block, const char* name)
{
    char* value = nullptr;
    UINT size = 0;
    std::string path = std::string("\\StringFileInfo\\040704E4\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &size) || value == nullptr)
        return "(none)";
    return std::string(value);
}

// The colour of an icon's middle pixel, as 0xRRGGBB.
std::uint32_t MiddleColour(HICON icon)
{
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return 0xFFFFFFFF;
    BITMAP size{};
    GetObjectA(info.hbmColor, sizeof size, &size);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size.bmWidth;
    format.bmiHeader.biHeight = -size.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.bmWidth) * size.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(size.bmHeight), pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return pixels.empty() ? 0xFFFFFFFF : pixels[pixels.size() / 2 + static_cast<std::size_t>(size.bmWidth) / 2] & 0xFFFFFF;
}

// The middle colours of the icons Wine gives the frame's X window, from
// its _NET_WM_ICON property (width, height, then the ARGB pixels, for each
// icon): "32:20c040 16:2040e0". WM_GETICON cannot tell: under Wine 8 it
// fails across processes.
std::string WindowIconColours(const Project& project, HWND frame)
{
    char title[256] = {};
    GetWindowTextA(frame, title, sizeof title);
    std::string folder = winehost::UnixPath(project.root);
    if (folder.empty() || winehost::RunUnixCommand("xprop -name '" + std::string(title) +
                                                   "' -f _NET_WM_ICON 32c '=$0+' _NET_WM_ICON > " + folder +
                                                   "/icon.txt") != 0)
        return "(no xprop)";
    std::ifstream listing(project.root + "\\icon.txt");
    std::string text((std::istreambuf_iterator<char>(listing)), std::istreambuf_iterator<char>());
    std::vector<std::uint64_t> values;
    for (std::size_t at = text.find('='); at != std::string::npos && at + 1 < text.size(); at = text.find(',', at + 1))
        values.push_back(std::strtoull(text.c_str() + at + 1, nullptr, 10));
    std::string colours;
    for (std::size_t at = 0; at + 2 <= values.size();) {
        std::size_t width = values[at];
        std::size_t height = values[at + 1];
        std::size_t pixels = width * height;
        if (pixels == 0 || at + 2 + pixels > values.size())
            return colours + " (cut short)";
        char colour[16];
        std::snprintf(colour, sizeof colour, "%06x",
                      static_cast<unsigned>(values[at + 2 + height / 2 * width + width / 2] & 0xFFFFFF));
        colours += (colours.empty() ? "" : " ") + std::to_string(width) + ":" + colour;
        at += 2 + pixels;
    }
    return colours;
}

// Through the folder page to the finish page, where the files are checked,
// then to the end.
void RunThrough(const Project& project, const std::string& package, const char* password)
{
    driver::StubProcess stub(package);
    HWND frame = stub.waitForFrame();
    if (password != nullptr) {
        HWND page = driver::waitForPage(frame, IDC_PASSWORD_EDIT);
        driver::typeText(page, IDC_PASSWORD_EDIT, password);
        driver::clickButton(frame, IDC_NEXT);
    }
    driver::waitForPage(frame, IDC_FOLDER_EDIT);
    // The title bar shows the package's images, the 32-pixel one large and
    // the 16-pixel one small, not Wine's default.
    EXPECT_EQ(WindowIconColours(project, frame), "32:20c040 16:2040e0");
    driver::clickButton(frame, IDC_NEXT);
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    std::string made = UniqueFolderIn(project.into);
    ASSERT_FALSE(made.empty());
    EXPECT_TRUE(ReadBytes(made + "\\bin\\tool.bin") == NoiseBytes(70000, 3));
    driver::clickButton(frame, IDC_NEXT);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(fs::is_empty(project.into));
}

}  // namespace

TEST(ProgramIdentity, WindowsReadsTheVersionInformation)
{
    Project project;
    std::string package = project.build("setup.exe");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(package.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(package.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(3, 4));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 2));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(3, 4));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP)) << "kept from the stub";

    WORD* translation = nullptr;
    UINT translationSize = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &translationSize));
    ASSERT_EQ(translationSize, 4u);
    EXPECT_EQ(translation[0], 0x0407) << "the stub's own language";
    EXPECT_EQ(translation[1], 1252);

    // The texts come back in the ANSI code page, Windows-1252 here.
    EXPECT_EQ(VersionString(block, "ProductName"), "Demo \xE4");
    EXPECT_EQ(VersionString(block, "CompanyName"), "Brenlow GmbH");
    EXPECT_EQ(VersionString(block, "FileDescription"), "Setup for tests");
    EXPECT_EQ(VersionString(block, "FileVersion"), "4.3.2.1");
    EXPECT_EQ(VersionString(block, "ProductVersion"), "4.3");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), "setup.exe");
    EXPECT_EQ(VersionString(block, "Comments"), "(none)");
}

TEST(ProgramIdentity, WindowsShowsThePackagesIcon)
{
    Project project;
    std::string package = project.build("setup.exe");
    // What Explorer draws: the file's first icon group, in the system's
    // size. (Wine makes the small one from the same image; Windows takes
    // the 16-pixel one, whose colour LoadImageA shows below.)
    HICON large = nullptr;
    HICON small = nullptr;
    ASSERT_EQ(ExtractIconExA(package.c_str(), 0, &large, &small, 1), 2u);
    EXPECT_EQ(MiddleColour(large), kGreen) << "the 32-pixel image";
    DestroyIcon(large);
    DestroyIcon(small);

    // The stub's icon group by its id, in each of the three sizes.
    HMODULE module = LoadLibraryExA(package.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    for (const auto& [side, colour] : {std::pair{48, kRed}, std::pair{32, kGreen}, std::pair{16, kBlue}}) {
        HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, side, side, 0));
        ASSERT_NE(icon, nullptr) << side;
        EXPECT_EQ(MiddleColour(icon), colour) << side;
        DestroyIcon(icon);
    }
    FreeLibrary(module);
}

TEST(ProgramIdentity, RunsThroughTheWizardPlainAndEncrypted)
{
    Project project;
    RunThrough(project, project.build("plain.exe"), nullptr);
    SetEnvironmentVariableA("SFX_E2E_PASSWORD", "Kennwort");
    RunThrough(project, project.build("secret.exe", {"--password-env", "SFX_E2E_PASSWORD"}), "Kennwort");
}

TEST(ProgramIdentity, SignedAfterwardsItVerifiesAndRuns)
{
    ASSERT_TRUE(winehost::Available());
    Project project;
    project.build("unsigned.exe");
    ASSERT_TRUE(SignWithTestCertificate(project.root, "unsigned.exe", "signed.exe"));
    EXPECT_TRUE(SignatureVerifies(project.root, "signed.exe"));
    std::string signedPackage = project.root + "\\signed.exe";
    RunResult listing = RunPacker({"inspect", signedPackage});
    EXPECT_NE(listing.out.find("signed:    yes"), std::string::npos) << listing.out;
    EXPECT_NE(listing.out.find("execution: require_administrator"), std::string::npos) << listing.out;
    RunThrough(project, signedPackage, nullptr);
}

TEST(ProgramIdentity, TheLinuxPackerMakesTheSameBytes)
{
    ASSERT_TRUE(winehost::Available());
    Project project;
    // Wine sees the build machine's root as Z:.
    std::string hostPacker = SFX_SOURCE_DIR "/build/host/bin/sfxpack";
    if (!fs::exists("Z:" + hostPacker))
        GTEST_SKIP() << "no Linux packer built (" << hostPacker << ")";
    fs::create_directories(project.root + "\\linux");
    fs::create_directories(project.root + "\\windows");
    SetEnvironmentVariableA("SOURCE_DATE_EPOCH", "1577836800");   // 2020-01-01, before every file here
    SetEnvironmentVariableA("TZ", "UTC0");
    std::string made = project.build("windows\\setup.exe");
    SetEnvironmentVariableA("SOURCE_DATE_EPOCH", nullptr);
    SetEnvironmentVariableA("TZ", nullptr);
    std::string folder = winehost::UnixPath(project.root);
    ASSERT_EQ(winehost::RunUnixCommand("SOURCE_DATE_EPOCH=1577836800 TZ=UTC0 " + hostPacker + " build " + folder +
                                       "/input -o " + folder + "/linux/setup.exe -c " + folder + "/setup.toml --stub " +
                                       winehost::UnixPath(StubPath()) + " -q"),
              0);
    Bytes byWindows = ReadBytes(made);
    Bytes byLinux = ReadBytes(project.root + "\\linux\\setup.exe");
    ASSERT_GT(byWindows.size(), StubBytes().size());
    EXPECT_TRUE(byWindows == byLinux) << "the packages differ";
}
