// Throughput of the archive reader, each figure printed beside a reference
// run in the same process, as ratios:
//   1. one 100 MB deflated entry (mixed text and binary) read through
//      EntryRead into a 128 KiB buffer, against a plain raw inflate of the
//      same compressed bytes from memory (ratio of throughputs; goal >= 0.9),
//      and beside it the same inflate fed in 16 KiB pieces with the CRC-32,
//      which is the reader's work without the file;
//   2. the directory walk of 10,000 small entries (ArchiveOpen, then
//      ArchiveFirstEntry/ArchiveNextEntry and ArchiveGetEntryInfo per entry,
//      as the extraction's counting pass does), as a ratio of its time to the
//      time of a plain inflate of 10 MB, so that header-read cost is visible;
//      beside it the same walk reading the fixed fields one byte per read,
//      to show what reading each fixed header at once saves.
// Run (host build):
//   cmake --preset host && cmake --build --preset host --target archive_bench && build/host/bin/archive_bench
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
#include <zlib.h>

#include "archive/entry_reader.h"
#include "packaging/trailer_writer.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "platform/byte_order.h"

using namespace packaging;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kOutputBufferSize = 131072;   // the extraction's buffer
constexpr std::size_t kLargeEntrySize = 100u << 20;
constexpr std::size_t kReferenceInflateSize = 10u << 20;
constexpr int kSmallEntries = 10000;
constexpr int kRuns = 7;

// Text lines with runs of noise between them, roughly what an installer holds.
Bytes MixedData(std::size_t size)
{
    static const char* const words[] = {"Setup ", "archive ", "the ", "entry ", "Windows ", "\r\n", "0x7F ", "data "};
    Bytes out;
    out.reserve(size);
    std::uint32_t state = 2463534242u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    while (out.size() < size) {
        if (next() % 10 < 3) {
            std::size_t run = 16 + next() % 4096;
            for (std::size_t i = 0; i < run && out.size() < size; i++)
                out.push_back(static_cast<std::uint8_t>(next()));
        } else {
            std::size_t words_in_line = 10 + next() % 400;
            for (std::size_t w = 0; w < words_in_line && out.size() < size; w++)
                for (const char* c = words[next() % 8]; *c && out.size() < size; c++)
                    out.push_back(static_cast<std::uint8_t>(*c));
        }
    }
    return out;
}

// Best time of each run, in seconds, over kRuns rounds. The runs take turns
// within a round so that a slower phase of a busy machine hits them alike.
std::vector<double> BestOf(const std::vector<std::function<void()>>& runs)
{
    std::vector<double> best(runs.size(), 1e30);
    for (int round = 0; round < kRuns; round++) {
        for (std::size_t i = 0; i < runs.size(); i++) {
            auto start = Clock::now();
            runs[i]();
            best[i] = std::min(best[i], std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    return best;
}

void PlainInflate(const Bytes& compressed, std::size_t expectedSize)
{
    static Bytes output(kOutputBufferSize);
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = output.data();
        stream.avail_out = kOutputBufferSize;
        result = inflate(&stream, Z_NO_FLUSH);
    }
    if (result != Z_STREAM_END || stream.total_out != expectedSize)
        std::fprintf(stderr, "reference inflate failed\n");
    inflateEnd(&stream);
}

// The reader's work without the file: inflate from memory fed in 16 KiB
// pieces, with the CRC-32 of the output. Shows how much of the gap to the
// plain inflate is the CRC and how much the reads.
void ChunkedInflateWithCrc(const Bytes& compressed, std::size_t expectedSize)
{
    static Bytes output(kOutputBufferSize);
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    std::size_t position = 0;
    uLong crc = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.avail_in == 0) {
            std::size_t n = std::min<std::size_t>(ENTRY_READ_CHUNK_SIZE, compressed.size() - position);
            stream.next_in = const_cast<Bytef*>(compressed.data() + position);
            stream.avail_in = static_cast<uInt>(n);
            position += n;
        }
        stream.next_out = output.data();
        stream.avail_out = kOutputBufferSize;
        result = inflate(&stream, Z_SYNC_FLUSH);
        crc = crc32(crc, output.data(), kOutputBufferSize - stream.avail_out);
    }
    if (result != Z_STREAM_END || stream.total_out != expectedSize || crc == 0)
        std::fprintf(stderr, "chunked inflate failed\n");
    inflateEnd(&stream);
}

struct Package {
    std::string path;
    std::uint32_t archiveOffset;
    std::uint32_t archiveSize;
};

Package WritePackage(const std::string& name, const Bytes& archive)
{
    Bytes stub(40000, 0x90);
    TrailerBuilder trailer;
    trailer.text(kTitle, kNeutral, "Benchmark");
    Package package{(std::filesystem::temp_directory_path() / name).string(), static_cast<std::uint32_t>(stub.size()),
                    static_cast<std::uint32_t>(archive.size())};
    writeFileBytes(package.path, assemblePackage(stub, archive, trailer));
    return package;
}

void ReadLargeEntry(const Package& package, std::size_t expectedSize)
{
    static Bytes output(kOutputBufferSize);
    SysFile file = SysFileOpenRead(package.path.c_str());
    ArchiveReader* reader = ArchiveOpen(file, package.archiveOffset, package.archiveSize, nullptr);
    std::size_t total = 0;
    int close = ARCHIVE_BAD_PARAMETER;
    if (reader && EntryOpen(reader) == ARCHIVE_OK) {
        int32_t n;
        while ((n = EntryRead(reader, output.data(), kOutputBufferSize)) > 0)
            total += static_cast<std::size_t>(n);
        close = EntryClose(reader);
    }
    if (total != expectedSize || close != ARCHIVE_OK)
        std::fprintf(stderr, "entry read failed: %zu bytes, close %d\n", total, close);
    SysFileClose(file);
}

void WalkDirectory(const Package& package)
{
    SysFile file = SysFileOpenRead(package.path.c_str());
    ArchiveReader* reader = ArchiveOpen(file, package.archiveOffset, package.archiveSize, nullptr);
    std::uint32_t count = 0;
    if (ArchiveGetInfo(reader, &count, nullptr) != ARCHIVE_OK || count != kSmallEntries)
        std::fprintf(stderr, "directory open failed\n");
    char name[260];
    ArchiveEntryInfo info;
    for (std::uint32_t i = 0; i < count; i++) {
        int moved = i == 0 ? ArchiveFirstEntry(reader) : ArchiveNextEntry(reader);
        if (moved != ARCHIVE_OK || ArchiveGetEntryInfo(reader, &info, name, sizeof name, nullptr, 0, nullptr, 0) != ARCHIVE_OK)
            std::fprintf(stderr, "walk failed at %u\n", i);
    }
    SysFileClose(file);
}

// The same walk with each fixed field read one byte per read, twice per
// entry (moving to it and reading its info), for comparison only.
void WalkDirectoryBytewise(const Package& package, std::uint32_t directoryOffset)
{
    SysFile file = SysFileOpenRead(package.path.c_str());
    std::uint64_t position = package.archiveOffset + static_cast<std::uint64_t>(directoryOffset);
    std::uint8_t header[ZIP_CENTRAL_HEADER_SIZE];
    char name[260];
    for (int i = 0; i < kSmallEntries; i++) {
        for (int pass = 0; pass < 2; pass++) {
            SysFileSeek(file, static_cast<int64_t>(position), SYS_SEEK_BEGIN);
            for (std::uint8_t& byte : header) {
                std::uint32_t got = 0;
                SysFileRead(file, &byte, 1, &got);
            }
            if (pass == 1) {
                std::uint32_t got = 0;
                SysFileRead(file, name, ReadU16Le(header + 28), &got);
            }
        }
        position += ZIP_CENTRAL_HEADER_SIZE + ReadU16Le(header + 28) + ReadU16Le(header + 30) + ReadU16Le(header + 32);
    }
    SysFileClose(file);
}

}  // namespace

int main()
{
    std::printf("preparing %zu MB of mixed data...\n", kLargeEntrySize >> 20);
    const Bytes data = MixedData(kLargeEntrySize);
    const Bytes compressed = deflateRaw(data);
    const Bytes head(data.begin(), data.begin() + kReferenceInflateSize);
    const Bytes headCompressed = deflateRaw(head);
    Package large = WritePackage("archive_bench_large.exe",
                                 ZipWriter()
                                     .add(ZipEntry::prepared("large.bin", ZipMethod::kDeflated, compressed, crc32Of(data),
                                                             static_cast<std::uint32_t>(data.size())))
                                     .build());
    ZipWriter many;
    for (int i = 0; i < kSmallEntries; i++)
        many.add(ZipEntry::file("folder/sub/file" + std::to_string(i) + ".txt", MixedData(64 + i % 200),
                                ZipMethod::kStored));
    ZipLayout manyLayout;
    Package manyPackage = WritePackage("archive_bench_many.exe", many.build(&manyLayout));

    std::vector<double> largeTimes = BestOf({[&] { PlainInflate(compressed, data.size()); },
                                         [&] { ChunkedInflateWithCrc(compressed, data.size()); },
                                         [&] { ReadLargeEntry(large, data.size()); }});
    std::vector<double> walkTimes = BestOf({[&] { PlainInflate(headCompressed, head.size()); },
                                        [&] { WalkDirectory(manyPackage); },
                                        [&] { WalkDirectoryBytewise(manyPackage, manyLayout.directoryStart); }});
    double inflateLarge = largeTimes[0], chunkedLarge = largeTimes[1], entryLarge = largeTimes[2];
    double inflateHead = walkTimes[0], walk = walkTimes[1], walkBytewise = walkTimes[2];

    const double mb = static_cast<double>(data.size()) / (1 << 20);
    std::printf("compressed %zu MB to %zu MB\n", data.size() >> 20, compressed.size() >> 20);
    std::printf("%-52s %9.1f ms  %7.1f MB/s\n", "plain raw inflate from memory (reference)", inflateLarge * 1e3,
                mb / inflateLarge);
    std::printf("%-52s %9.1f ms  %7.1f MB/s  ratio %.3f\n", "same, in 16 KiB pieces, with CRC-32, no file",
                chunkedLarge * 1e3, mb / chunkedLarge, inflateLarge / chunkedLarge);
    std::printf("%-52s %9.1f ms  %7.1f MB/s\n", "EntryRead, 128 KiB buffer, 16 KiB chunks + CRC-32", entryLarge * 1e3,
                mb / entryLarge);
    std::printf("  throughput ratio EntryRead / plain inflate: %.3f (goal >= 0.9)\n", inflateLarge / entryLarge);
    std::printf("%-52s %9.1f ms\n", "plain raw inflate of 10 MB (reference)", inflateHead * 1e3);
    std::printf("%-52s %9.1f ms\n", "walk of 10,000 entries, fixed headers read whole", walk * 1e3);
    std::printf("%-52s %9.1f ms\n", "same walk, fixed fields one byte per read", walkBytewise * 1e3);
    std::printf("  walk time / 10 MB inflate time: %.3f (one byte per read: %.3f)\n", walk / inflateHead,
                walkBytewise / inflateHead);

    std::filesystem::remove(large.path);
    std::filesystem::remove(manyPackage.path);
    return 0;
}
