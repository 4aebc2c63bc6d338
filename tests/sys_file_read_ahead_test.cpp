// The host's read-ahead for files the packer reads in many small pieces:
// every read gives the bytes and the counts an unbuffered read gives, at
// any position, across its windows, past the end, and after seeks from
// the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/sys_file.h"
#include "support/temp_path.h"
#include "support/test_bytes.h"

namespace {

struct Read {
    std::uint64_t position;
    std::uint32_t count;
};

TEST(SysFileReadAhead, ReadsGiveWhatAnUnbufferedReadGives)
{
    TempDir dir;
    const std::size_t kSize = 300000;
    packaging::Bytes content = NoiseBytes(kSize, 3);
    std::string name = dir.write("data.bin", content);
    SysFile plain = SysFileOpenRead(name.c_str());
    SysFile buffered = SysFileOpenRead(name.c_str());
    ASSERT_NE(plain, SYS_FILE_INVALID);
    ASSERT_NE(buffered, SYS_FILE_INVALID);
    SysFileBufferReads(buffered);
    // Back and forth as the archive readers go between the directory at
    // the end and the entries' data, pieces across the windows' edges,
    // one larger than a window, and reads at and past the end.
    const Read reads[] = {
        {250000, 46}, {0, 30},      {250046, 46}, {30, 2048},    {250092, 100}, {65530, 20},
        {65536, 70000}, {1000, 200000}, {299990, 10}, {299990, 50}, {kSize, 10},  {kSize + 100, 4},
        {131000, 1},  {4, 65536},  {0, 0},
    };
    for (const Read& read : reads) {
        SCOPED_TRACE(std::to_string(read.position) + " " + std::to_string(read.count));
        std::vector<std::uint8_t> a(read.count + 1, 0xAA), b(read.count + 1, 0xAA);
        std::uint32_t gotA = 0, gotB = 0;
        ASSERT_EQ(SysFileSeekTo(plain, read.position), 0);
        ASSERT_EQ(SysFileSeekTo(buffered, read.position), 0);
        EXPECT_EQ(SysFileRead(plain, a.data(), read.count, &gotA), 0);
        EXPECT_EQ(SysFileRead(buffered, b.data(), read.count, &gotB), 0);
        EXPECT_EQ(gotA, gotB);
        EXPECT_TRUE(a == b);
        std::uint64_t end = std::min<std::uint64_t>(read.position + read.count, kSize);
        if (read.position < kSize) {
            EXPECT_EQ(std::memcmp(b.data(), content.data() + read.position, end - read.position), 0);
        }
    }
    // A seek from the end, then a read that goes on from where it stopped.
    EXPECT_EQ(SysFileSeek(buffered, 0, SYS_SEEK_END), static_cast<std::int64_t>(kSize));
    EXPECT_EQ(SysFileSeek(buffered, -1, SYS_SEEK_BEGIN), -1);
    ASSERT_EQ(SysFileSeekTo(buffered, 5000), 0);
    std::uint8_t first[10], next[10];
    ASSERT_EQ(SysFileReadExact(buffered, first, sizeof first), 0);
    ASSERT_EQ(SysFileReadExact(buffered, next, sizeof next), 0);
    EXPECT_EQ(std::memcmp(first, content.data() + 5000, 10), 0);
    EXPECT_EQ(std::memcmp(next, content.data() + 5010, 10), 0);
    SysFileClose(plain);
    SysFileClose(buffered);
}

}  // namespace
