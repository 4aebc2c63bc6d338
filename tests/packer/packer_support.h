// Helpers of the packer's tests: the packer run as a program with its
// output captured, folder trees written and compared (bytes and times), and
// a small stand-in for the stub.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "packaging/trailer_writer.h"
#include "support/temp_path.h"
#include "support/test_bytes.h"

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs sfxpack with these arguments (UTF-8) and waits for it.
RunResult RunPacker(const std::vector<std::string>& arguments);
// The same with a copy of sfxpack elsewhere: it finds its stubs from there.
RunResult RunPackerAt(const fs::path& program, const std::vector<std::string>& arguments);
// Turns a forked child into sfxpack with these arguments (Linux only), for
// tests that give it standard handles of their own; exit code 127 when it
// cannot start.
[[noreturn]] void ExecPacker(const std::vector<std::string>& arguments);

// sfxpack started without waiting for it, its output thrown away, for
// tests that stop it midway. Killed when it goes, if still running.
class StartedPacker {
  public:
    explicit StartedPacker(const std::vector<std::string>& arguments);
    ~StartedPacker();
    StartedPacker(const StartedPacker&) = delete;
    StartedPacker& operator=(const StartedPacker&) = delete;

    // Ends it at once and without a chance to clean up, as a forced kill
    // does (SIGKILL, TerminateProcess), and waits until it has gone.
    void kill();
    // True while it runs.
    bool running();

  private:
    std::intptr_t process_ = 0;   // the process's handle (Windows) or id
    bool ended_ = false;
};

// Sets an environment variable (or removes it, for nothing) while it
// lives; the packer, started as a child, inherits it. What was there before
// comes back.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const std::string& name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// The entries `sfxpack inspect` lists: each name with its time
// ("2024-01-31 13:45:08").
std::map<std::string, std::string> ListedEntries(const std::string& inspectOutput);

// A fresh folder for a test of the packer, its files named in UTF-8 with
// '/' relative to it; the stub of build() is its stub.exe, which each test
// writes (usually FakeStub()).
class PackerFolderTest : public ::testing::Test {
  protected:
    PackerFolderTest();

    fs::path path(const std::string& name) const;
    // The path as the packer's argument.
    std::string arg(const std::string& name) const;
    // build SOURCE -o OUTPUT with stub.exe and the extra arguments.
    RunResult build(const std::string& source, const std::string& output,
                    const std::vector<std::string>& extra = {}) const;
    // The entries `inspect` lists for the package, by name with their times.
    std::map<std::string, std::string> listed(const std::string& package) const;
    // The names in a folder of the test (the test folder itself by
    // default), sorted: to see that nothing was left behind.
    std::vector<std::string> listing(const std::string& folder = "") const;
    // The run failed with exit code 1 and a message holding every fragment.
    static void ExpectRefused(const RunResult& run, std::initializer_list<std::string> fragments);

    TempDir dir_;
    fs::path root_;
};

// A Windows program header and nothing else: enough for the packer's stub
// check. machine 0x014C (32-bit) or 0x8664 (64-bit).
packaging::Bytes FakeStub(std::uint16_t machine = 0x014C);

// One file or folder of a test tree: a name with '/' (UTF-8), and the
// content, or a folder when the name ends in '/'.
struct TreeItem {
    std::string name;
    packaging::Bytes content;
};

// Writes the items below root with last-write times on even seconds in
// the past, about age back (DOS times have two-second steps), every item
// its own time.
void WriteTree(const fs::path& root, const std::vector<TreeItem>& items,
               std::chrono::hours age = std::chrono::hours(24 * 10));

// Every file and folder below root by its UTF-8 relative name: content (for
// files) and last-write time in seconds.
struct TreeNode {
    bool folder = false;
    packaging::Bytes content;
    std::int64_t time = 0;
};
std::map<std::string, TreeNode> ReadTree(const fs::path& root);
// The files below root by name, with their bytes; folders are left out, as
// not every tool stores them and their times change with every name made
// or removed in them.
std::map<std::string, packaging::Bytes> FilesBelow(const fs::path& root);

// UTF-8 path conversions that work on both systems.
fs::path U8(const std::string& utf8);
std::string U8(const fs::path& path);

// Makes link a link to the folder target (both absolute). On Windows a
// junction; Wine 8 cannot make one (FSCTL_SET_REPARSE_POINT fails and
// CreateSymbolicLinkW succeeds without making anything), but shows a Unix
// symbolic link to a folder as a reparse point, so under Wine the link is
// made by the host's ln, started as a Unix program. False when neither
// gives a reparse point.
bool MakeFolderLink(const fs::path& link, const fs::path& target);
// Removes a link from MakeFolderLink, never what it leads to.
void RemoveFolderLink(const fs::path& link);
