// Reproducible packages: SOURCE_DATE_EPOCH bounds every time a package
// holds (entry times, the stub's link time), so that the same tree packed
// twice gives the same bytes whatever its files' times, and whichever
// system's packer packs it; and TZ names the zone of the entry times, which
// are local times by the ZIP convention.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "support/zip_builder.h"
#include "packer_support.h"
#include "support/temp_path.h"

#ifdef _WIN32
#include "support/wine_host.h"
#endif

using packaging::Bytes;

namespace {

// FakeStub's PE header lies at 0x80; the link time follows 8 bytes in.
constexpr std::size_t kStubTimeStamp = 0x88;

// Each test writes its own stub, some with a link time of their own.
class ReproducibleTest : public PackerFolderTest {};

std::int64_t NowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string UtcText(std::int64_t seconds)
{
    std::time_t value = static_cast<std::time_t>(seconds);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::gmtime(&value));
    return text;
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

TEST_F(ReproducibleTest, TheSameTreeWithOtherTimesGivesTheSameBytes)
{
    // A stub linked "later" than the epoch.
    Bytes stub = FakeStub();
    for (std::size_t i = 0; i < 4; i++)
        stub[kStubTimeStamp + i] = i < 3 ? 0xFF : 0x7F;
    WriteBytes(path("stub.exe"), stub);
    const std::vector<TreeItem> items = {{"a.txt", TextBytes(1000)},
                                         {"docs/b.txt", TextBytes(70000)},
                                         {"docs/empty/", {}},
                                         {"old.txt", TextBytes(10)}};
    WriteTree(path("first"), items, std::chrono::hours(24 * 10));
    WriteTree(path("second"), items, std::chrono::hours(24 * 3));
    std::int64_t epoch = (NowSeconds() - 30 * 24 * 3600) / 2 * 2;
    // Older than the epoch: kept as it is, in both trees alike.
    fs::file_time_type oldTime = fs::file_time_type::clock::now() - std::chrono::hours(24 * 100);
    fs::last_write_time(path("first/old.txt"), oldTime);
    fs::last_write_time(path("second/old.txt"), oldTime);

    ScopedEnvironment zone("TZ", std::string("UTC0"));
    {
        ScopedEnvironment sourceDate("SOURCE_DATE_EPOCH", std::to_string(epoch));
        ASSERT_EQ(build("first", "one.exe").exitCode, 0);
        ASSERT_EQ(build("second", "two.exe").exitCode, 0);
    }
    Bytes one = ReadBytes(path("one.exe"));
    EXPECT_TRUE(one == ReadBytes(path("two.exe"))) << "the packages differ";
    EXPECT_EQ(Le32(one, kStubTimeStamp), static_cast<std::uint32_t>(epoch));
    std::map<std::string, std::string> entries = listed("one.exe");
    EXPECT_EQ(entries.size(), 4u);
    for (const auto& [name, time] : entries) {
        if (name == "old.txt")
            EXPECT_LT(time, UtcText(epoch));
        else
            EXPECT_EQ(time, UtcText(epoch)) << name;
    }

    // Without the epoch the files' own times, and the stub's, go in.
    ScopedEnvironment noSourceDate("SOURCE_DATE_EPOCH", std::nullopt);
    ASSERT_EQ(build("first", "one.exe").exitCode, 0);
    ASSERT_EQ(build("second", "two.exe").exitCode, 0);
    one = ReadBytes(path("one.exe"));
    EXPECT_FALSE(one == ReadBytes(path("two.exe")));
    EXPECT_EQ(Le32(one, kStubTimeStamp), 0x7FFFFFFFu);
}

TEST_F(ReproducibleTest, ZipEntryTimesAreBoundedToo)
{
    WriteBytes(path("stub.exe"), FakeStub());
    packaging::ZipWriter writer;
    packaging::ZipEntry later = packaging::ZipEntry::file("later.txt", TextBytes(10));
    later.dosDate = (50 << 9) | (6 << 5) | 15;   // 2030-06-15
    writer.add(later);
    packaging::ZipEntry earlier = packaging::ZipEntry::file("earlier.txt", TextBytes(10));
    earlier.dosDate = (30 << 9) | (6 << 5) | 15;   // 2010-06-15 13:45:08
    earlier.dosTime = (13 << 11) | (45 << 5) | 4;
    writer.add(earlier);
    WriteBytes(path("in.zip"), writer.build());

    ScopedEnvironment zone("TZ", std::string("UTC0"));
    ScopedEnvironment sourceDate("SOURCE_DATE_EPOCH", std::string("1577836800"));   // 2020-01-01 00:00 UTC
    ASSERT_EQ(build("in.zip", "out.exe").exitCode, 0);
    EXPECT_EQ(listed("out.exe"), (std::map<std::string, std::string>{{"earlier.txt", "2010-06-15 13:45:08"},
                                                                      {"later.txt", "2020-01-01 00:00:00"}}));
}

TEST_F(ReproducibleTest, EntryTimesAreLocalTimesOfTheZoneTZNames)
{
    WriteBytes(path("stub.exe"), FakeStub());
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}, {"sub/b.txt", TextBytes(10)}});
    ScopedEnvironment sourceDate("SOURCE_DATE_EPOCH", std::string("1700000000"));   // 2023-11-14 22:13:20 UTC
    const struct {
        const char* zone;
        const char* time;
    } cases[] = {
        {"UTC0", "2023-11-14 22:13:20"},
        {"XXX-2", "2023-11-15 00:13:20"},   // two hours east of UTC
        {"XXX+5", "2023-11-14 17:13:20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedEnvironment zone("TZ", std::string(c.zone));
        ASSERT_EQ(build("in", "out.exe").exitCode, 0);
        EXPECT_EQ(listed("out.exe")["a.txt"], c.time);
    }
}

TEST_F(ReproducibleTest, FileTimesComeBackUnderTheSameZone)
{
    WriteBytes(path("stub.exe"), FakeStub());
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}, {"sub/b.txt", TextBytes(10)}, {"empty/", {}}});
    ScopedEnvironment zone("TZ", std::string("XXX-3"));
    ASSERT_EQ(build("in", "out.exe").exitCode, 0);
    ASSERT_EQ(RunPacker({"extract", arg("out.exe"), "-d", arg("out")}).exitCode, 0);
    std::map<std::string, TreeNode> in = ReadTree(path("in"));
    std::map<std::string, TreeNode> out = ReadTree(path("out"));
    for (const char* name : {"a.txt", "sub/b.txt", "empty"})
        EXPECT_EQ(out[name].time, in[name].time) << name;
}

TEST_F(ReproducibleTest, ASourceDateEpochThatIsNoNumberIsRefused)
{
    WriteBytes(path("stub.exe"), FakeStub());
    WriteTree(path("in"), {{"a.txt", TextBytes(10)}});
    for (const char* value : {"yesterday", "-5", "1.7e9", "1700000000 ", "12345678901234567890"}) {
        SCOPED_TRACE(value);
        ScopedEnvironment sourceDate("SOURCE_DATE_EPOCH", std::string(value));
        RunResult run = build("in", "out.exe");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("SOURCE_DATE_EPOCH=" + std::string(value) + ": not a number of seconds"),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(path("out.exe")));
    }
    // Set but empty, as build systems leave it: not given.
    ScopedEnvironment sourceDate("SOURCE_DATE_EPOCH", std::string());
    EXPECT_EQ(build("in", "out.exe").exitCode, 0);
}

// The threads only do the work sooner: 1, 2 and 4 of them give the same
// bytes, for deflate and LZMA, whether the threads or the writer compress
// an entry (it takes those above 64 MiB itself) and with entries that do
// not shrink and are stored.
TEST_F(ReproducibleTest, AnyNumberOfThreadsGivesTheSameBytes)
{
    WriteBytes(path("stub.exe"), FakeStub());
    std::vector<TreeItem> tree = {{"data/noise.bin", NoiseBytes(100000, 6)},
                                  {"data/mixed.dat", MixedBytes(700000, 5)},
                                  {"empty.txt", {}},
                                  {"empty folder/", {}}};
    for (int i = 0; i < 60; i++)
        tree.push_back({"many/f" + std::to_string(i) + ".txt", TextBytes(100 + 977 * i)});
    WriteTree(path("in"), tree);
    WriteTree(path("large"), {{"a.txt", TextBytes(1000)}, {"big.log", TextBytes((64 << 20) + 5)},
                              {"z.dat", MixedBytes(300000, 7)}});
    const struct {
        std::string source;
        std::string compression;
    } cases[] = {{"in", "deflate"}, {"in", "lzma"}, {"large", "deflate"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + c.compression);
        ASSERT_EQ(build(c.source, "one.exe", {"--compression", c.compression, "--threads", "1"}).exitCode, 0);
        Bytes one = ReadBytes(path("one.exe"));
        for (const char* threads : {"2", "4"}) {
            SCOPED_TRACE(threads);
            RunResult run = build(c.source, "more.exe", {"--compression", c.compression, "--threads", threads});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_TRUE(ReadBytes(path("more.exe")) == one) << "the packages differ";
        }
    }
    EXPECT_EQ(RunPacker({"test", arg("one.exe")}).exitCode, 0);
    RunResult none = build("in", "bad.exe", {"--threads", "0"});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("--threads"), std::string::npos) << none.err;
}

#if defined(_WIN32) && defined(SFX_HOST_PACKER)
// The Windows packer under test and the Linux one of the host build, each
// with every compression, on the same tree: the same bytes.
TEST_F(ReproducibleTest, TheLinuxAndTheWindowsPackerWriteTheSameBytes)
{
    const std::string linuxPacker = SFX_HOST_PACKER;
    if (!winehost::Available() || winehost::RunUnixCommand("test -x " + linuxPacker) != 0)
        GTEST_SKIP() << "no Linux packer at " << linuxPacker << " (the host preset builds it)";
    WriteBytes(path("stub.exe"), FakeStub());
    WriteTree(path("in"), {{"readme.txt", TextBytes(3000)},
                           {"docs/\xC3\x9C" "bersicht.txt", TextBytes(70000)},
                           {"docs/caf\xC3\xA9.txt", TextBytes(10)},
                           {"data/mixed.dat", MixedBytes(200000, 5)},
                           {"data/noise.bin", NoiseBytes(20000, 6)},
                           {"empty.txt", {}},
                           {"empty folder/", {}}});
    const std::string epoch = "1700000000";
    ScopedEnvironment zone("TZ", std::string("UTC0"));
    ScopedEnvironment sourceDate("SOURCE_DATE_EPOCH", epoch);
    for (const char* compression : {"deflate", "lzma", "store"}) {
        SCOPED_TRACE(compression);
        ASSERT_EQ(build("in", "windows.exe", {"--compression", compression}).exitCode, 0);
        std::string line = "TZ=UTC0 SOURCE_DATE_EPOCH=" + epoch + " " + linuxPacker + " build '" +
                           winehost::UnixPath(path("in").wstring()) + "' -o '" +
                           winehost::UnixPath(root_.wstring()) + "/linux.exe' --stub '" +
                           winehost::UnixPath(path("stub.exe").wstring()) + "' --compression " + compression + " -q";
        ASSERT_EQ(winehost::RunUnixCommand(line), 0) << line;
        EXPECT_TRUE(ReadBytes(path("windows.exe")) == ReadBytes(path("linux.exe"))) << "the packages differ";
    }
}
#endif

}  // namespace
