// extract against someone who can write to its folder: a folder of the
// destination swapped for a link to a folder elsewhere while the run goes
// on, by a second thread at a moment the test picks through extract's
// hook. The run must fail, never write a byte elsewhere, and take back
// what it wrote in the folder it held, wherever that was moved.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "commands.h"
#include "packer_error.h"
#include "packer_support.h"

#ifdef _WIN32
#include "support/wine_host.h"
#endif

namespace {

// Swaps a folder for a link, on a thread of its own, whenever the
// extracting thread asks, and lets that thread go on only once the swap
// is done: the moment is the test's, the change comes from outside.
class FolderSwapper {
  public:
    FolderSwapper(fs::path folder, fs::path movedTo, fs::path linkTarget)
        : folder_(std::move(folder)), movedTo_(std::move(movedTo)), linkTarget_(std::move(linkTarget)),
          thread_([this] { run(); })
    {
    }
    ~FolderSwapper()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    // Called on the extracting thread; returns once the link stands.
    void swapNow()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        requested_ = true;
        wake_.notify_all();
        wake_.wait(lock, [this] { return done_; });
    }
    bool linked() const { return linked_; }

  private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return requested_ || stop_; });
        if (stop_ && !requested_)
            return;
        std::error_code error;
        fs::rename(folder_, movedTo_, error);
        linked_ = !error && MakeFolderLink(folder_, linkTarget_);
        done_ = true;
        wake_.notify_all();
    }

    fs::path folder_;
    fs::path movedTo_;
    fs::path linkTarget_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool done_ = false;
    bool stop_ = false;
    bool linked_ = false;
    std::thread thread_;
};

// Windows removes the run's files through handles relative to the folder
// it holds; Wine removes a file by the path it was opened by, which after
// the swap leads through the link, and keeps it when that finds another
// file or none. So under Wine the run's temporary files may stay in the
// folder that was moved away, never anywhere else.
bool TemporaryFilesMayStay()
{
#ifdef _WIN32
    return winehost::Available();
#else
    return false;
#endif
}

// ".a.txt.123456.part": a file extract writes before it takes its name.
bool IsPartFile(const std::string& name)
{
    std::string file = name.substr(name.find_last_of('/') + 1);
    return file.size() > 6 && file[0] == '.' && file.compare(file.size() - 5, 5, ".part") == 0;
}

class ExtractRaceTest : public PackerFolderTest {
  protected:
    // Entry sizes that take three pieces of the packer's reads each.
    static constexpr std::size_t kEntrySize = 300000;

    ExtractRaceTest()
    {
        WriteBytes(path("stub.exe"), FakeStub());
        WriteTree(path("in"),
                  {{"top/sub/a.txt", NoiseBytes(kEntrySize, 1)}, {"top/sub/b.txt", NoiseBytes(kEntrySize, 2)}});
    }
};

TEST_F(ExtractRaceTest, AFolderSwappedForALinkFailsTheRunAndNothingIsWrittenElsewhere)
{
    ASSERT_EQ(build("in", "package.exe").exitCode, 0);
    const struct {
        const char* moment;
        std::string swapped;      // below out
        std::size_t entry;        // the hook's call that swaps: entry and bytes written
        std::uint64_t written;
        bool overwrite;
    } cases[] = {
        {"between two entries of the folder", "top/sub", 1, 0, false},
        {"after an entry's data, before it is closed", "top/sub", 0, kEntrySize, false},
        {"while an entry is written", "top/sub", 1, 131072, false},
        {"a folder further up, while an entry is written", "top", 1, 131072, false},
        {"after the last entry, before the files take their names", "top/sub", 1, kEntrySize, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moment);
        fs::remove_all(path("out"));
        fs::remove_all(path("elsewhere"));
        fs::remove_all(path("moved"));
        // A file of the user's in the folder, and one the run may replace.
        WriteTree(path("out"), {{"top/sub/keep.txt", {'k', 'e', 'e', 'p'}}, {"top/sub/a.txt", {'o', 'l', 'd'}}});
        if (!c.overwrite)
            fs::remove(path("out/top/sub/a.txt"));
        // What the link leads to holds files of the entries' names.
        WriteTree(path("elsewhere"), {{"a.txt", {'m', 'i', 'n', 'e'}}, {"sub/a.txt", {'m', 'i', 'n', 'e'}}});
        std::map<std::string, packaging::Bytes> outside = FilesBelow(path("elsewhere"));
        std::map<std::string, packaging::Bytes> inside = FilesBelow(path("out/" + c.swapped));

        FolderSwapper swapper(path("out/" + c.swapped), path("moved"), path("elsewhere"));
        bool swapped = false;
        std::vector<std::string> leaks;
        packer::ExtractOptions options;
        options.folder = path("out");
        options.overwrite = c.overwrite;
        options.onWrite = [&](std::size_t entry, std::uint64_t written) {
            if (entry == c.entry && written == c.written && !swapped) {
                swapper.swapNow();
                swapped = true;
            }
            if (swapped && FilesBelow(path("elsewhere")) != outside)
                leaks.push_back("entry " + std::to_string(entry) + " at " + std::to_string(written));
        };
        std::string error;
        std::FILE* out = std::tmpfile();
        try {
            packer::ExtractPackage(path("package.exe"), {}, options, out);
        } catch (const packer::PackerError& failure) {
            error = failure.what();
        }
        std::fclose(out);
        ASSERT_TRUE(swapped);
        ASSERT_TRUE(swapper.linked()) << "no link could be made here";
        EXPECT_EQ(leaks, std::vector<std::string>{}) << "written through the link while the run went on";
        EXPECT_TRUE(FilesBelow(path("elsewhere")) == outside) << "what the link leads to was changed";
        EXPECT_NE(error.find(U8(path("out/" + c.swapped).make_preferred()) + " is a link"), std::string::npos)
            << error;
        // The run took back what it wrote in the folder it held, moved or
        // not, and left the user's files as they were.
        std::map<std::string, packaging::Bytes> moved = FilesBelow(path("moved"));
        for (const auto& [name, bytes] : inside)
            EXPECT_TRUE(moved[name] == bytes) << name << " of the user's changed";
        for (const auto& [name, bytes] : moved)
            EXPECT_TRUE(inside.count(name) != 0 || (TemporaryFilesMayStay() && IsPartFile(name)))
                << name << " of the run was left in the folder";
        RemoveFolderLink(path("out/" + c.swapped));
    }
}

}  // namespace
