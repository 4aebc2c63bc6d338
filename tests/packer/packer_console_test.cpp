// sfxpack.exe in a console, as a Windows user meets it: names beyond the
// console's code page shown right, the password prompt typed at without
// echo, Ctrl-C there ending the program at once; and the manifest the
// program carries. Windows only: the Linux build's terminal is tested in
// packer_prompt_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "packer_support.h"
#include "support/process_start.h"
#include "support/wine_host.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(30);

std::wstring Wide(const std::string& utf8)
{
    return U8(utf8).wstring();
}

// A console of the test's own, fresh for each test, which the packer
// started from here writes to and reads from as it would from cmd.exe.
class ConsoleTest : public PackerFolderTest {
  protected:
    void SetUp() override
    {
        FreeConsole();
        ASSERT_TRUE(AllocConsole()) << GetLastError();
        screen_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        keyboard_ = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(screen_, INVALID_HANDLE_VALUE);
        ASSERT_NE(keyboard_, INVALID_HANDLE_VALUE);
        WriteBytes(path("stub.exe"), FakeStub());
    }
    void TearDown() override
    {
        CloseHandle(screen_);
        CloseHandle(keyboard_);
        FreeConsole();
    }

    // Starts sfxpack in the console: it inherits no handles, and takes the
    // console's as its standard ones. Returns the process.
    HANDLE start(const std::vector<std::string>& arguments)
    {
        std::wstring command = L"sfxpack.exe";
        for (const std::string& argument : arguments)
            command += L" \"" + Wide(argument) + L"\"";
        std::wstring program = U8(std::string(SFX_PACKER_PATH)).wstring();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        DWORD error = 0;
        BOOL started = testsupport::StartProcessPatiently(
            [&] {
                return CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                      &startup, &process);
            },
            &error);
        EXPECT_TRUE(started) << error;
        if (!started)
            return nullptr;
        CloseHandle(process.hThread);
        return process.hProcess;
    }

    // Its exit code once it has ended, or -1 when it is still running after
    // the wait (it is killed then).
    static int finish(HANDLE process, std::chrono::milliseconds wait = kPatience)
    {
        if (process == nullptr)
            return -1;
        DWORD code = static_cast<DWORD>(-1);
        if (WaitForSingleObject(process, static_cast<DWORD>(wait.count())) == WAIT_OBJECT_0)
            GetExitCodeProcess(process, &code);
        else
            TerminateProcess(process, 9);
        CloseHandle(process);
        return static_cast<int>(code);
    }

    // What the console shows, its lines joined by '\n', blanks at their ends dropped.
    std::string screen() const
    {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(screen_, &info))
            return {};
        std::string text;
        std::vector<wchar_t> row(static_cast<std::size_t>(info.dwSize.X));
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; y++) {
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen_, row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &read);
            std::wstring line(row.data(), read);
            line.erase(line.find_last_not_of(L' ') + 1);
            text += U8(fs::path(line)) + "\n";
        }
        return text;
    }

    // Waits until the console shows text; false when it does not in time.
    bool waitFor(const std::string& text) const
    {
        auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (screen().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // Types the text on the console's keyboard, each character a key.
    void type(const std::wstring& text) const
    {
        std::vector<INPUT_RECORD> keys;
        for (wchar_t c : text) {
            INPUT_RECORD key{};
            key.EventType = KEY_EVENT;
            key.Event.KeyEvent.bKeyDown = TRUE;
            key.Event.KeyEvent.wRepeatCount = 1;
            key.Event.KeyEvent.uChar.UnicodeChar = c;
            key.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : 0;
            keys.push_back(key);
            key.Event.KeyEvent.bKeyDown = FALSE;
            keys.push_back(key);
        }
        DWORD written = 0;
        ASSERT_TRUE(WriteConsoleInputW(keyboard_, keys.data(), static_cast<DWORD>(keys.size()), &written));
        ASSERT_EQ(written, keys.size());
    }

    // Ctrl-C as the console hands a key-by-key reader the key press.
    void pressControlC() const
    {
        INPUT_RECORD key{};
        key.EventType = KEY_EVENT;
        key.Event.KeyEvent.bKeyDown = TRUE;
        key.Event.KeyEvent.wRepeatCount = 1;
        key.Event.KeyEvent.wVirtualKeyCode = 'C';
        key.Event.KeyEvent.uChar.UnicodeChar = 3;
        key.Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
        DWORD written = 0;
        ASSERT_TRUE(WriteConsoleInputW(keyboard_, &key, 1, &written));
    }

    HANDLE screen_ = INVALID_HANDLE_VALUE;
    HANDLE keyboard_ = INVALID_HANDLE_VALUE;
};

// Names of any script, whatever the console's code page: the console gets
// them as wide characters.
TEST_F(ConsoleTest, NamesShowAsTheyAreWhateverTheConsolesCodePage)
{
    const std::string spanish = "\xC3\x91" "and\xC3\xBA/a\xC3\xB1o.txt";       // Ñandú/año.txt
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC.txt";                // 日本.txt
    const std::string euro = "R\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC.pdf";           // Résumé €.pdf
    WriteTree(path("in"), {{spanish, TextBytes(10)}, {japanese, TextBytes(20)}, {euro, TextBytes(30)}});
    ASSERT_EQ(build("in", "p.exe", {"-q"}).exitCode, 0);
    SetConsoleOutputCP(850);
    ASSERT_EQ(finish(start({"list", arg("p.exe")})), 0) << screen();
    std::string shown = screen();
    for (const std::string& name : {spanish, japanese, euro})
        EXPECT_NE(shown.find(name), std::string::npos) << name << " not in:\n" << shown;
    EXPECT_EQ(GetConsoleOutputCP(), 850u) << "the console's code page is the user's";
}

// The prompt reads key by key without echo: asked twice for a package,
// once to test it, and what was typed never shows.
TEST_F(ConsoleTest, PasswordIsTypedAtThePromptWithoutEcho)
{
    WriteTree(path("in"), {{"a.txt", TextBytes(100)}});
    const std::wstring password = L"geheim \u00df\u20ac";   // 'ß' and '€', which Windows-1252 holds
    HANDLE build = start({"build", arg("in"), "-o", arg("secret.exe"), "--stub", arg("stub.exe"), "--encrypt"});
    ASSERT_TRUE(waitFor("Password:")) << screen();
    type(password + L"\r");
    ASSERT_TRUE(waitFor("Password again:")) << screen();
    // A typo taken back: "x" and a backspace.
    type(L"x\b" + password + L"\r");
    EXPECT_EQ(finish(build), 0) << screen();

    HANDLE test = start({"test", arg("secret.exe")});
    ASSERT_TRUE(waitFor("Password:")) << screen();
    type(password + L"\r");
    EXPECT_EQ(finish(test), 0) << screen();
    std::string shown = screen();
    EXPECT_NE(shown.find("password right"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("geheim"), std::string::npos) << shown;
}

// Ctrl-C reaches every process of the console, this test's too, which
// stays: a handler of its own, which, unlike the "ignore Ctrl-C" setting,
// the packer started from here does not inherit.
BOOL WINAPI KeepRunning(DWORD)
{
    return TRUE;
}

// Ctrl-C at the prompt ends the program at once, with nothing written.
TEST_F(ConsoleTest, ControlCAtThePromptEndsTheProgramAtOnce)
{
    ASSERT_TRUE(SetConsoleCtrlHandler(KeepRunning, TRUE));
    struct HandlerRemover {
        ~HandlerRemover() { SetConsoleCtrlHandler(KeepRunning, FALSE); }
    } remover;
    WriteTree(path("in"), {{"a.txt", TextBytes(100)}});
    HANDLE build = start({"build", arg("in"), "-o", arg("secret.exe"), "--stub", arg("stub.exe"), "--encrypt"});
    ASSERT_TRUE(waitFor("Password:")) << screen();
    type(L"half");
    pressControlC();
    EXPECT_EQ(finish(build, std::chrono::milliseconds(10000)), 1) << screen();
    EXPECT_NE(screen().find("sfxpack: error: interrupted"), std::string::npos) << screen();
    EXPECT_EQ(listing(), (std::vector<std::string>{"in", "stub.exe"}));
}

// The manifest Windows reads when it starts sfxpack.exe: long paths, UTF-8
// as the ANSI code page, no elevation, the usual systems. Under Wine it is
// also extracted by wrestool and checked as XML by xmllint.
TEST(PackerManifest, DeclaresLongPathsAndUtf8)
{
    std::wstring program = U8(std::string(SFX_PACKER_PATH)).wstring();
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    std::string manifest(data, SizeofResource(module, found));
    FreeLibrary(module);
    for (const char* needle : {">true</longPathAware>", ">UTF-8</activeCodePage>", "level=\"asInvoker\"",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"})
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;

    if (!winehost::Available())
        return;
    TempDir dir;
    fs::path extracted = fs::path(dir.path()) / "manifest.xml";
    WriteBytes(extracted, {});
    std::string unixProgram = winehost::UnixPath(program);
    std::string unixExtracted = winehost::UnixPath(extracted.wstring());
    ASSERT_EQ(winehost::RunUnixCommand("/usr/bin/wrestool -x --raw -t 24 -n 1 '" + unixProgram + "' > '" + unixExtracted +
                                       "'"),
              0);
    packaging::Bytes bytes = ReadBytes(extracted);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), manifest);
    EXPECT_EQ(winehost::RunUnixCommand("/usr/bin/xmllint --noout '" + unixExtracted + "'"), 0);
}

}  // namespace
