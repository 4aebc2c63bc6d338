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

#include "packaging/trailer_writer.h"

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs sfxpack with these arguments (UTF-8) and waits for it.
RunResult RunPacker(const std::vector<std::string>& arguments);

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

// UTF-8 path conversions that work on both systems.
fs::path U8(const std::string& utf8);
std::string U8(const fs::path& path);

// Bytes that compress somewhat, and bytes that do not.
packaging::Bytes TextBytes(std::size_t size);
packaging::Bytes NoiseBytes(std::size_t size, std::uint32_t seed);

packaging::Bytes ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const packaging::Bytes& bytes);

// Makes link a link to the folder target (both absolute). On Windows a
// junction; Wine 8 cannot make one (FSCTL_SET_REPARSE_POINT fails and
// CreateSymbolicLinkW succeeds without making anything), but shows a Unix
// symbolic link to a folder as a reparse point, so under Wine the link is
// made by the host's ln, started as a Unix program. False when neither
// gives a reparse point.
bool MakeFolderLink(const fs::path& link, const fs::path& target);
// Removes a link from MakeFolderLink, never what it leads to.
void RemoveFolderLink(const fs::path& link);
