// The threads of a build's compression and the window of entries they work
// on ahead of the writer.
#include "parallel_compression.h"

#include <zlib.h>

#include "interruption.h"
#include "packer_error.h"

namespace packer {

namespace {

// The pieces the writer reads and compresses an entry in; a task feeds
// its compressor the same pieces.
constexpr std::size_t kPieceSize = 1 << 16;

}  // namespace

unsigned DefaultBuildThreads()
{
    unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

ParallelCompression::ParallelCompression(const std::vector<SourceEntry>& entries,
                                         const std::function<bool(const SourceEntry&)>& concurrent, OpenEntry open,
                                         Compression compression, int level, unsigned threads)
    : entries_(entries), open_(std::move(open)), pooled_(entries.size(), false)
{
    for (std::size_t i = 0; i < entries.size(); i++) {
        const SourceEntry& entry = entries[i];
        if (!entry.directory && entry.size > 0 && entry.size <= kMaxTaskSize && concurrent(entry)) {
            pooled_[i] = true;
            order_.push_back(i);
        }
    }
    if (order_.empty())
        return;
    // The threads' compressors are made here, on the writer's thread, so
    // that a failure to make one ends the build as with one thread.
    for (unsigned t = 0; t < threads; t++) {
        std::shared_ptr<EntryCompressor> compressor = MakeCompressor(compression, level);
        threads_.emplace_back([this, compressor] { work(*compressor); });
    }
}

ParallelCompression::~ParallelCompression()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

// A task may start while the window has room for it, or when nothing is in
// the window at all: the writer waits for the oldest task, which must
// never wait for room.
bool ParallelCompression::canStart() const
{
    if (next_ >= order_.size())
        return false;
    std::uint64_t size = entries_[order_[next_]].size;
    return running_ == 0 || windowUsed_ + size <= kWindowBytes;
}

void ParallelCompression::work(EntryCompressor& compressor)
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return stopping_ || canStart(); });
        if (stopping_)
            return;
        std::size_t i = order_[next_++];
        windowUsed_ += entries_[i].size;
        running_++;
        hold.unlock();
        Result result;
        try {
            result = compress(compressor, entries_[i]);
        } catch (...) {
            result.error = std::current_exception();
        }
        hold.lock();
        done_[i] = std::move(result);
        changed_.notify_all();
    }
}

ParallelCompression::Result ParallelCompression::compress(EntryCompressor& compressor, const SourceEntry& entry)
{
    Result result;
    packaging::Bytes& out = result.entry.data;
    EntryCompressor::Emit emit = [&out](const std::uint8_t* piece, std::size_t size) {
        out.insert(out.end(), piece, piece + size);
    };
    std::unique_ptr<EntryData> data = open_(entry);
    std::vector<std::uint8_t> input(kPieceSize);
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t read = 0;
    // A compressor's failure is said with the entry it failed on.
    auto compressing = [&entry](auto step) {
        try {
            step();
        } catch (const PackerError& error) {
            throw PackerError(entry.shownName + ": " + error.what());
        }
    };
    compressing([&] { compressor.start(entry.size, emit); });
    for (bool atEnd = false; !atEnd;) {
        if (InterruptRequested())
            break;
        std::size_t n = data->read(input.data(), input.size());
        atEnd = n == 0;
        read += n;
        if (read > entry.size)
            break;
        crc = crc32(crc, input.data(), static_cast<uInt>(n));
        compressing([&] { compressor.compress(input.data(), n, atEnd, emit); });
    }
    result.entry.crc = static_cast<std::uint32_t>(crc);
    result.entry.read = read;
    return result;
}

CompressedEntry ParallelCompression::take(std::size_t i)
{
    std::unique_lock<std::mutex> hold(lock_);
    auto found = done_.end();
    while ((found = done_.find(i)) == done_.end()) {
        // Woken now and then, so that Ctrl-C ends the wait.
        changed_.wait_for(hold, std::chrono::milliseconds(100));
        hold.unlock();
        CheckInterrupted();
        hold.lock();
    }
    Result result = std::move(found->second);
    done_.erase(found);
    windowUsed_ -= entries_[i].size;
    running_--;
    hold.unlock();
    changed_.notify_all();
    if (result.error)
        std::rethrow_exception(result.error);
    return std::move(result.entry);
}

}  // namespace packer
