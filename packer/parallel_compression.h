// Compressing a build's entries on several threads ahead of the one that
// writes the package. The writer still writes every entry in its order and
// through the same compressor settings, so the package is the same bytes
// whatever the number of threads; the threads only do the work sooner.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "entry_compression.h"
#include "source_entries.h"

namespace packer {

// One entry compressed whole: its data as they go into the package before
// encryption, the CRC-32 of what was read and how many bytes that was.
struct CompressedEntry {
    packaging::Bytes data;
    std::uint32_t crc = 0;
    std::uint64_t read = 0;
};

class ParallelCompression {
  public:
    // Entries larger than this are left to the writer, which streams them
    // through its own compressor as they are read: a task holds its
    // entry's compressed data in memory until the writer takes them.
    static constexpr std::uint64_t kMaxTaskSize = 64u << 20;
    // The entries of the tasks started but not yet taken stay below this
    // (a task of its own may exceed it when none is running), so that
    // memory holds a window ahead of the writer, never the whole set.
    static constexpr std::uint64_t kWindowBytes = 160u << 20;

    // Opens an entry's data; called on the threads, at once for several
    // entries.
    using OpenEntry = std::function<std::unique_ptr<EntryData>(const SourceEntry&)>;

    // Starts threads threads over the entries to compress: files with data, no
    // larger than kMaxTaskSize, that openConcurrently says can be read on
    // several threads at once.
    ParallelCompression(const std::vector<SourceEntry>& entries, const std::function<bool(const SourceEntry&)>& concurrent,
                        OpenEntry open, Compression compression, int level, unsigned threads);
    ~ParallelCompression();
    ParallelCompression(const ParallelCompression&) = delete;
    ParallelCompression& operator=(const ParallelCompression&) = delete;

    // Whether entry i (its place in entries) is compressed by the threads.
    bool handles(std::size_t i) const { return i < pooled_.size() && pooled_[i]; }
    // Waits for entry i, which handles(), and hands its result over; a
    // failure of its task is thrown here, on the writer's thread, in the
    // entries' order. Entries are taken in their order.
    CompressedEntry take(std::size_t i);

  private:
    struct Result {
        CompressedEntry entry;
        std::exception_ptr error;
    };
    void work(EntryCompressor& compressor);
    bool canStart() const;
    Result compress(EntryCompressor& compressor, const SourceEntry& entry);

    const std::vector<SourceEntry>& entries_;
    OpenEntry open_;
    std::vector<bool> pooled_;
    std::vector<std::size_t> order_;   // the pooled entries' places, in order
    // Written under lock_ by the threads and the writer.
    std::mutex lock_;
    std::condition_variable changed_;
    std::size_t next_ = 0;             // in order_: the next task to start
    std::uint64_t windowUsed_ = 0;     // bytes of entries started and not taken
    std::size_t running_ = 0;          // tasks started and not taken
    std::map<std::size_t, Result> done_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// The threads a build uses by default: one per core the system reports.
unsigned DefaultBuildThreads();

}  // namespace packer
