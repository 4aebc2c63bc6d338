// Progress of long runs on a terminal: one line, rewritten in place, with
// the share done and the entry at hand. Silent when the output is not a
// terminal, and for runs that end within the first second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace packer {

class Progress {
  public:
    // total: the bytes the run will handle; verb: "packing", "testing" ...
    Progress(std::uint64_t total, std::string verb, bool enabled);
    ~Progress();

    void advance(std::uint64_t bytes, const std::string& entryName);
    // Clears the line, so that what follows starts at its beginning.
    void finish();

  private:
    void draw(const std::string& entryName);

    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::string verb_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// Whether progress goes to standard error: a terminal, and not --quiet.
bool ProgressWanted(bool quiet);

}  // namespace packer
