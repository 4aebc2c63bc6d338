// The password prompt on a real terminal (a pseudo-terminal): asked twice
// when a package is made, never echoed, and the password typed there opens
// the package. Linux only: Wine has no terminal to drive this way.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "packer_support.h"
#include "support/temp_path.h"

namespace {

constexpr int kWaitMilliseconds = 10000;

// Reads from the terminal until `wanted` has appeared (or, with an empty
// wanted, until the program has closed it); gives up after the wait.
std::string ReadUntil(int terminal, const std::string& wanted, std::string& seen)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMilliseconds);
    while (wanted.empty() || seen.find(wanted) == std::string::npos) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        pollfd ready{terminal, POLLIN, 0};
        if (left <= 0 || poll(&ready, 1, left) <= 0)
            break;
        char buffer[256];
        ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;   // EIO once the program has ended
        seen.append(buffer, static_cast<std::size_t>(n));
    }
    return seen;
}

struct Session {
    int exitCode;
    std::string screen;
};

// Runs sfxpack on a terminal and types each answer after its prompt.
Session RunOnTerminal(const std::vector<std::string>& arguments,
                      const std::vector<std::pair<std::string, std::string>>& dialogue)
{
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0)
        ExecPacker(arguments);
    Session session{-1, ""};
    for (const auto& [prompt, answer] : dialogue) {
        ReadUntil(terminal, prompt, session.screen);
        EXPECT_NE(session.screen.find(prompt), std::string::npos) << session.screen;
        EXPECT_EQ(write(terminal, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
    }
    ReadUntil(terminal, "", session.screen);
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    session.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return session;
}

TEST(PasswordPrompt, AskedTwiceWithoutEchoAndOpensThePackage)
{
    TempDir dir;
    fs::path root = U8(dir.path());
    WriteBytes(root / "stub.exe", FakeStub());
    WriteTree(root / "in", {{"a.txt", TextBytes(1000)}});
    std::vector<std::string> build = {"build", U8(root / "in"), "-o", U8(root / "secret.exe"),
                                      "--stub", U8(root / "stub.exe"), "--encrypt"};

    Session made = RunOnTerminal(build, {{"Password: ", "Kennwort-42\n"}, {"Password again: ", "Kennwort-42\n"}});
    EXPECT_EQ(made.exitCode, 0) << made.screen;
    EXPECT_EQ(made.screen.find("Kennwort-42"), std::string::npos) << "the password was echoed:\n" << made.screen;

    setenv("SFXPACK_PROMPT_TEST_PASSWORD", "Kennwort-42", 1);
    RunResult tested = RunPacker({"test", U8(root / "secret.exe"), "--password-env", "SFXPACK_PROMPT_TEST_PASSWORD"});
    unsetenv("SFXPACK_PROMPT_TEST_PASSWORD");
    EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;

    Session opened = RunOnTerminal({"test", U8(root / "secret.exe")}, {{"Password: ", "Kennwort-42\n"}});
    EXPECT_EQ(opened.exitCode, 0) << opened.screen;

    build[3] = U8(root / "other.exe");
    Session differ = RunOnTerminal(build, {{"Password: ", "one\n"}, {"Password again: ", "two\n"}});
    EXPECT_EQ(differ.exitCode, 1);
    EXPECT_NE(differ.screen.find("the two passwords differ"), std::string::npos) << differ.screen;
    EXPECT_FALSE(fs::exists(root / "other.exe"));
}

}  // namespace
