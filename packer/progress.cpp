// Progress lines on standard error.
#include "progress.h"

#include <cstdio>

#include "file_system.h"
#include "output_text.h"
#include "text_encoding.h"

namespace packer {

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);
constexpr std::size_t kNameWidth = 40;

}  // namespace

Progress::Progress(std::uint64_t total, std::string verb, bool enabled)
    : total_(total), verb_(std::move(verb)), enabled_(enabled), start_(std::chrono::steady_clock::now())
{
}

Progress::~Progress()
{
    finish();
}

void Progress::advance(std::uint64_t bytes, const std::string& entryName)
{
    done_ += bytes;
    if (!enabled_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (now - start_ < kQuietStart || (drawn_ && now - lastDraw_ < kRedrawEvery))
        return;
    lastDraw_ = now;
    draw(entryName);
}

void Progress::draw(const std::string& entryName)
{
    unsigned percent = total_ == 0 ? 100 : static_cast<unsigned>(done_ * 100 / total_);
    std::string name = EscapeControls(entryName);
    // Keep the end of a long name: it tells the file apart.
    if (name.size() > kNameWidth) {
        std::size_t cut = name.size() - (kNameWidth - 3);
        while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            cut++;   // not inside a UTF-8 sequence
        name = "..." + name.substr(cut);
    }
    PrintTo(stderr, "\r%s %3u%%  %.1f of %.1f MiB  %-*s", verb_.c_str(), percent, done_ / 1048576.0,
            total_ / 1048576.0, static_cast<int>(kNameWidth), name.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish()
{
    if (drawn_) {
        PrintTo(stderr, "\r%*s\r", static_cast<int>(verb_.size() + kNameWidth + 40), "");
        std::fflush(stderr);
        drawn_ = false;
    }
}

bool ProgressWanted(bool quiet)
{
    return !quiet && IsTerminal(stderr);
}

}  // namespace packer
