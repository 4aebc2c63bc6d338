// The packer's compression setting and the LZMA entries it writes, judged
// by tools of their own: every entry's bytes as the ZIP directory and the
// local headers give them, decoded by liblzma's raw decoder (which finds the
// end marker or fails), and the archive tested and extracted by 7-Zip.
#include <gtest/gtest.h>

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>

#include "package_reader.h"
#include "packaging/entry_encryption.h"
#include "packaging/lzma_layout.h"
#include "packer_support.h"
#include "support/temp_path.h"
#include "support/zip_builder.h"

#ifdef _WIN32
#include "support/wine_host.h"
#endif

using packaging::Bytes;

namespace {

std::uint16_t U16(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

std::uint32_t U32(const Bytes& bytes, std::size_t at)
{
    return U16(bytes, at) | static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}

// One entry as the archive stores it: the central header's fields, the
// local header's method and flags, and the data after the local header.
struct RawEntry {
    std::string name;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t localFlags = 0;
    std::uint16_t localMethod = 0;
    std::uint16_t localVersionNeeded = 0;
    std::uint32_t crc = 0;
    std::uint32_t uncompressedSize = 0;
    Bytes data;
};

// The archive part of a package, by its trailer's archive record.
Bytes ArchiveOf(const fs::path& package)
{
    packer::OpenedPackage opened(package);
    Bytes bytes = ReadBytes(package);
    for (const packer::RecordView& record : opened.records())
        if (record.type == packaging::kArchiveRecord)
            return Bytes(bytes.begin() + record.first, bytes.begin() + record.first + record.second);
    ADD_FAILURE() << "no archive record";
    return {};
}

// Walks the central directory of an archive without comment, as a reader
// of its own: no code of the packer or the stub takes part.
std::map<std::string, RawEntry> RawEntries(const Bytes& archive)
{
    std::map<std::string, RawEntry> entries;
    std::size_t end = archive.size() - 22;
    EXPECT_EQ(U32(archive, end), 0x06054B50u);
    std::size_t at = U32(archive, end + 16);
    for (std::uint16_t i = 0; i < U16(archive, end + 10); i++) {
        EXPECT_EQ(U32(archive, at), 0x02014B50u);
        RawEntry entry;
        entry.versionNeeded = U16(archive, at + 6);
        entry.flags = U16(archive, at + 8);
        entry.method = U16(archive, at + 10);
        entry.crc = U32(archive, at + 16);
        std::uint32_t compressedSize = U32(archive, at + 20);
        entry.uncompressedSize = U32(archive, at + 24);
        std::size_t nameLength = U16(archive, at + 28);
        entry.name.assign(archive.begin() + at + 46, archive.begin() + at + 46 + nameLength);
        std::size_t local = U32(archive, at + 42);
        EXPECT_EQ(U32(archive, local), 0x04034B50u);
        entry.localVersionNeeded = U16(archive, local + 4);
        entry.localFlags = U16(archive, local + 6);
        entry.localMethod = U16(archive, local + 8);
        std::size_t data = local + 30 + U16(archive, local + 26) + U16(archive, local + 28);
        entry.data.assign(archive.begin() + data, archive.begin() + data + compressedSize);
        at += 46 + nameLength + U16(archive, at + 30) + U16(archive, at + 32);
        entries[entry.name] = entry;
    }
    return entries;
}

// An LZMA entry's data decoded as 7-Zip's layout has them: the version, the
// properties' size (5), the properties, then a raw LZMA stream that ends in
// its end marker exactly where the data end. Empty with a failure when not.
Bytes DecodeLzmaEntry(const Bytes& data)
{
    if (data.size() < packaging::kLzmaHeaderSize || U16(data, 2) != packaging::kLzmaPropertiesSize) {
        ADD_FAILURE() << "no LZMA header";
        return {};
    }
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, &data[4], packaging::kLzmaPropertiesSize) != LZMA_OK) {
        ADD_FAILURE() << "properties liblzma does not take";
        return {};
    }
    lzma_stream stream = LZMA_STREAM_INIT;
    lzma_ret result = lzma_raw_decoder(&stream, filters);
    free(filters[0].options);
    EXPECT_EQ(result, LZMA_OK);
    Bytes out;
    Bytes piece(1 << 16);
    stream.next_in = data.data() + packaging::kLzmaHeaderSize;
    stream.avail_in = data.size() - packaging::kLzmaHeaderSize;
    while (result == LZMA_OK) {
        stream.next_out = piece.data();
        stream.avail_out = piece.size();
        result = lzma_code(&stream, LZMA_FINISH);
        out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(piece.size() - stream.avail_out));
    }
    EXPECT_EQ(result, LZMA_STREAM_END) << "the stream does not end in its end marker";
    EXPECT_EQ(stream.avail_in, 0u) << "bytes after the end marker";
    lzma_end(&stream);
    return out;
}

std::uint32_t Crc(const Bytes& bytes)
{
    return static_cast<std::uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

// A command line run by the Linux machine's shell: directly there, through
// Wine's way to Linux programs from the Windows build (programs by their
// full paths, no double quotes). Paths are given as the test sees them and
// named in the command by {0}, {1}, ...
int RunOnLinux(std::string command, const std::vector<fs::path>& paths)
{
    for (std::size_t i = 0; i < paths.size(); i++) {
#ifdef _WIN32
        std::string path = winehost::UnixPath(paths[i].wstring());
#else
        std::string path = paths[i].string();
#endif
        std::string mark = "{" + std::to_string(i) + "}";
        for (std::size_t at; (at = command.find(mark)) != std::string::npos;)
            command.replace(at, mark.size(), "'" + path + "'");
    }
#ifdef _WIN32
    return winehost::RunUnixCommand(command + " >/dev/null 2>&1");
#else
    return std::system((command + " >/dev/null 2>&1").c_str());
#endif
}

// The files whose names 7-Zip writes alike everywhere: it writes the OEM
// name of an entry as its bytes or in the locale's characters.
std::map<std::string, Bytes> AsciiNamed(std::map<std::string, Bytes> files)
{
    for (auto file = files.begin(); file != files.end();) {
        bool ascii = std::all_of(file->first.begin(), file->first.end(), [](char c) { return (c & 0x80) == 0; });
        file = ascii ? std::next(file) : files.erase(file);
    }
    return files;
}

bool SevenZipThere()
{
#ifdef _WIN32
    if (!winehost::Available())
        return false;
#endif
    return RunOnLinux("test -x /usr/bin/7z", {}) == 0;
}

class CompressionTest : public PackerFolderTest {
  protected:
    CompressionTest()
    {
        WriteBytes(path("stub.exe"), FakeStub());
        WriteTree(path("in"), Tree());
    }

    static const std::vector<TreeItem>& Tree()
    {
        static const std::vector<TreeItem> items = {
            {"one.txt", B("a")},                  // LZMA's header and end marker alone outgrow it
            {"small.txt", TextBytes(5000)},
            {"medium.txt", TextBytes(70000)},
            {"docs/mixed.dat", MixedBytes(300000, 3)},
            {"docs/\xC3\x9C" "bersicht.txt", TextBytes(900)},
            {"noise.bin", NoiseBytes(100000, 4)},   // does not shrink: stored
            {"empty.txt", {}},
            {"empty folder/", {}},
        };
        return items;
    }
};

// What each file becomes with each compression and level: the method, and
// for LZMA the dictionary its properties name (the least that holds the
// file, within the level's own).
TEST_F(CompressionTest, EntriesAreWrittenSoThatLiblzmaAndSevenZipReadThemExactly)
{
    constexpr std::uint16_t kStored = 0, kDeflated = 8, kLzma = 14;
    struct Expected {
        const char* name;
        std::uint16_t method;
        std::uint32_t dictionary;   // LZMA entries only
    };
    const struct {
        std::vector<std::string> options;
        std::vector<Expected> entries;
    } cases[] = {
        {{"--compression", "lzma"},
         {{"one.txt", kStored, 0}, {"small.txt", kLzma, 6144}, {"medium.txt", kLzma, 98304},
          {"docs/mixed.dat", kLzma, 393216}, {"docs/\x9A" "bersicht.txt", kLzma, 4096}, {"noise.bin", kStored, 0},
          {"empty.txt", kStored, 0}}},
        // Level 0's own dictionary is 256 KiB.
        {{"--compression", "lzma", "--level", "0"},
         {{"medium.txt", kLzma, 98304}, {"docs/mixed.dat", kLzma, 262144}, {"noise.bin", kStored, 0}}},
        {{"--compression", "lzma", "--level", "9"},
         {{"small.txt", kLzma, 6144}, {"docs/mixed.dat", kLzma, 393216}}},
        {{"--compression", "store"}, {{"small.txt", kStored, 0}, {"docs/mixed.dat", kStored, 0}}},
        {{}, {{"small.txt", kDeflated, 0}, {"noise.bin", kStored, 0}}},
    };
    bool sevenZip = SevenZipThere();
    std::map<std::string, Bytes> files = AsciiNamed(FilesBelow(path("in")));
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& option : c.options)
            shown += option + " ";
        SCOPED_TRACE(shown);
        ASSERT_EQ(build("in", "out.exe", c.options).exitCode, 0);
        Bytes archive = ArchiveOf(path("out.exe"));
        std::map<std::string, RawEntry> entries = RawEntries(archive);
        ASSERT_EQ(entries.size(), Tree().size());
        for (const Expected& expected : c.entries) {
            SCOPED_TRACE(expected.name);
            ASSERT_EQ(entries.count(expected.name), 1u);
            const RawEntry& entry = entries[expected.name];
            EXPECT_EQ(entry.method, expected.method);
            EXPECT_EQ(entry.localMethod, expected.method);
            EXPECT_EQ(entry.localFlags, entry.flags);
            EXPECT_EQ(entry.localVersionNeeded, entry.versionNeeded);
            if (expected.method != kLzma)
                continue;
            EXPECT_EQ(entry.flags & ~0x0800, packaging::kZipFlagLzmaEndMarker);
            EXPECT_EQ(entry.versionNeeded, 63);
            // Version 9.20, 5 properties: lc 3, lp 0, pb 2, the dictionary.
            ASSERT_GE(entry.data.size(), 9u);
            EXPECT_EQ(Bytes(entry.data.begin(), entry.data.begin() + 5), (Bytes{9, 20, 5, 0, 0x5D}));
            EXPECT_EQ(U32(entry.data, 5), expected.dictionary);
            Bytes decoded = DecodeLzmaEntry(entry.data);
            EXPECT_EQ(decoded.size(), entry.uncompressedSize);
            EXPECT_EQ(Crc(decoded), entry.crc);
        }
        if (!sevenZip)
            continue;
        WriteBytes(path("out.zip"), archive);
        EXPECT_EQ(RunOnLinux("/usr/bin/7z t {0}", {path("out.zip")}), 0);
        fs::remove_all(path("x"));
        EXPECT_EQ(RunOnLinux("/usr/bin/7z x -o{1} {0}", {path("out.zip"), path("x")}), 0);
        EXPECT_TRUE(AsciiNamed(FilesBelow(path("x"))) == files) << "7-Zip extracts other files";
    }
    if (!sevenZip)
        GTEST_SKIP() << "7z is not installed: only liblzma read the entries";
}

// Encrypted LZMA entries are the plain ones' bytes, encrypted: rounded up
// to whole cipher blocks, with the same method, flags and CRC.
TEST_F(CompressionTest, EncryptedLzmaEntriesKeepTheirMethodAndSizes)
{
    ScopedEnvironment password("SFX_TEST_PASSWORD", std::string("lzma secret"));
    ASSERT_EQ(build("in", "plain.exe", {"--compression", "lzma"}).exitCode, 0);
    ASSERT_EQ(build("in", "secret.exe", {"--compression", "lzma", "--password-env", "SFX_TEST_PASSWORD"}).exitCode, 0);
    std::map<std::string, RawEntry> plain = RawEntries(ArchiveOf(path("plain.exe")));
    std::map<std::string, RawEntry> secret = RawEntries(ArchiveOf(path("secret.exe")));
    ASSERT_EQ(plain.size(), secret.size());
    int lzmaEntries = 0;
    for (const auto& [name, entry] : plain) {
        SCOPED_TRACE(name);
        const RawEntry& encrypted = secret[name];
        EXPECT_EQ(encrypted.method, entry.method);
        EXPECT_EQ(encrypted.flags, entry.flags);
        EXPECT_EQ(encrypted.crc, entry.crc);
        EXPECT_EQ(encrypted.data.size(), packaging::encryptedSize(entry.data.size()));
        if (entry.method == 14) {
            lzmaEntries++;
            EXPECT_FALSE(encrypted.data == entry.data);
        }
    }
    EXPECT_EQ(lzmaEntries, 4);
}

TEST_F(CompressionTest, InspectNamesTheMethod)
{
    ASSERT_EQ(build("in", "out.exe", {"--compression", "lzma"}).exitCode, 0);
    RunResult text = RunPacker({"inspect", arg("out.exe")});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("LZMA      "), std::string::npos) << text.out;
    RunResult json = RunPacker({"inspect", arg("out.exe"), "--json"});
    EXPECT_NE(json.out.find("\"method\" : \"LZMA\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"method\" : \"stored\""), std::string::npos) << json.out;
}

TEST_F(CompressionTest, AWordOrLevelTheBuildDoesNotTakeIsRefused)
{
    const struct {
        std::vector<std::string> options;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"--compression", "lzma2"}, 1,
         "--compression: compression is deflate, lzma or store, not lzma2; did you mean lzma?"},
        {{"--compression", "LZMA"}, 1, "--compression: compression is deflate, lzma or store, not LZMA"},
        {{"--compression", "lzma", "--level", "10"}, 2, "--level"},
        {{"--compression"}, 2, "--compression"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        RunResult run = build("in", "out.exe", c.options);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(path("out.exe")));
    }
}

// LZMA entries of a ZIP file go into an LZMA package as they are: their
// stream, end marker bit and CRC the input's, whatever dictionary and end
// marker 7-Zip chose; encrypted, the same stream encrypted. Only a package
// of another compression, or an entry that does not shrink, decodes them.
TEST_F(CompressionTest, LzmaEntriesOfAZipFileAreCopiedAsTheyAre)
{
    if (!SevenZipThere())
        GTEST_SKIP() << "7z is not installed: no ZIP file with LZMA entries to pack";
    ScopedEnvironment password("SFX_TEST_PASSWORD", std::string("kept secret"));
    WriteBytes(path("password.txt"), B("kept secret"));
    const char* makers[] = {"-mm=LZMA", "-m0=LZMA:d=64k:eos=off", "-m0=LZMA:d=4m:eos -mx=9"};
    std::map<std::string, Bytes> files = AsciiNamed(FilesBelow(path("in")));
    for (const char* maker : makers) {
        SCOPED_TRACE(maker);
        fs::remove(path("in.zip"));
        ASSERT_EQ(RunOnLinux(std::string("cd {0} && /usr/bin/7z a -tzip ") + maker + " {1} .", {path("in"), path("in.zip")}),
                  0);
        std::map<std::string, RawEntry> input = RawEntries(ReadBytes(path("in.zip")));
        const struct {
            const char* what;
            std::vector<std::string> options;
        } builds[] = {
            {"plain", {"--compression", "lzma"}},
            {"encrypted", {"--compression", "lzma", "--password-env", "SFX_TEST_PASSWORD"}},
            {"deflated", {}},
        };
        for (const auto& b : builds) {
            SCOPED_TRACE(b.what);
            bool encrypted = std::string(b.what) == "encrypted";
            bool kept = std::string(b.what) != "deflated";
            ASSERT_EQ(build("in.zip", "out.exe", b.options).exitCode, 0);
            std::map<std::string, RawEntry> packed = RawEntries(ArchiveOf(path("out.exe")));
            int keptEntries = 0;
            for (const auto& [name, entry] : input) {
                if (entry.method != 14 || !files.count(name))
                    continue;
                SCOPED_TRACE(name);
                ASSERT_EQ(packed.count(name), 1u);
                const RawEntry& out = packed[name];
                EXPECT_EQ(out.crc, entry.crc);
                EXPECT_EQ(out.uncompressedSize, entry.uncompressedSize);
                if (!kept || entry.data.size() >= entry.uncompressedSize) {
                    EXPECT_NE(out.method, 14);
                    continue;
                }
                keptEntries++;
                EXPECT_EQ(out.method, 14);
                EXPECT_EQ(out.localMethod, 14);
                EXPECT_EQ(out.flags, entry.flags & packaging::kZipFlagLzmaEndMarker);
                EXPECT_EQ(out.localFlags, out.flags);
                if (encrypted) {
                    EXPECT_EQ(out.data.size(), packaging::encryptedSize(entry.data.size()));
                    EXPECT_FALSE(out.data == entry.data);
                } else {
                    EXPECT_TRUE(out.data == entry.data) << "the stream was not copied as it is";
                }
            }
            if (kept) {
                EXPECT_GE(keptEntries, 3);
            }
            std::vector<std::string> secret;
            if (encrypted)
                secret = {"--password-file", arg("password.txt")};
            std::vector<std::string> test = {"test", arg("out.exe")};
            test.insert(test.end(), secret.begin(), secret.end());
            RunResult tested = RunPacker(test);
            EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
            fs::remove_all(path("x"));
            std::vector<std::string> extract = {"extract", arg("out.exe"), "-d", arg("x")};
            extract.insert(extract.end(), secret.begin(), secret.end());
            RunResult extracted = RunPacker(extract);
            ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
            EXPECT_TRUE(AsciiNamed(FilesBelow(path("x"))) == files) << "sfxpack extracts other files";
            if (encrypted)
                continue;
            WriteBytes(path("out.zip"), ArchiveOf(path("out.exe")));
            EXPECT_EQ(RunOnLinux("/usr/bin/7z t {0}", {path("out.zip")}), 0);
            fs::remove_all(path("x"));
            EXPECT_EQ(RunOnLinux("/usr/bin/7z x -o{1} {0}", {path("out.zip"), path("x")}), 0);
            EXPECT_TRUE(AsciiNamed(FilesBelow(path("x"))) == files) << "7-Zip extracts other files";
        }
    }
}

// A raw LZMA1 stream of data in an entry's layout: 7-Zip's header, the
// properties (lc 3, lp 0, pb 2, a 64 KiB dictionary), then liblzma's stream,
// which ends in an end marker.
Bytes LzmaEntryData(const Bytes& data)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = 1 << 16;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes stream(data.size() + data.size() / 2 + 1024);
    std::size_t made = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(filters, nullptr, data.data(), data.size(), stream.data(), &made, stream.size()),
              LZMA_OK);
    Bytes out = {9, 20, 5, 0, 0x5D, 0, 0, 1, 0};
    out.insert(out.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(made));
    return out;
}

// LZMA entries the stub would refuse are refused by the build, with the
// entry's name and the reason, and no package is left: a header it does
// not decode, a stream damaged or cut, a CRC that does not match.
TEST_F(CompressionTest, LzmaEntriesTheStubWouldRefuseAreRefusedByTheBuild)
{
    Bytes text = TextBytes(20000);
    std::uint32_t crc = Crc(text);
    Bytes good = LzmaEntryData(text);
    auto patched = [&](std::size_t at, std::uint8_t value) {
        Bytes bytes = good;
        bytes.at(at) = value;
        return bytes;
    };
    Bytes hugeDictionary = good;
    hugeDictionary[8] = 0x08;   // 128 MiB, above the stub's 64 MiB
    Bytes flipped = good;
    flipped[flipped.size() / 2] ^= 0x10;
    const struct {
        const char* what;
        Bytes data;
        std::uint32_t crc;
        const char* message;
    } cases[] = {
        {"properties size 4", patched(2, 4), crc, "its LZMA properties are damaged or beyond what the stub decodes"},
        {"lc 8", patched(4, 8 + 9 * 5 * 2), crc, "its LZMA properties are damaged or beyond what the stub decodes"},
        {"dictionary of 128 MiB", hugeDictionary, crc, "a dictionary above 64 MiB"},
        {"header cut", Bytes(good.begin(), good.begin() + 6), crc, "LZMA properties are damaged"},
        {"stream cut", Bytes(good.begin(), good.end() - 40), crc, "its data are damaged"},
        {"bits flipped", flipped, crc, "bad.txt: its"},
        {"wrong CRC-32", good, crc ^ 1, "its data do not match their CRC-32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        packaging::ZipWriter zip;
        zip.add(packaging::ZipEntry::file("fine.txt", TextBytes(300)));
        zip.add(packaging::ZipEntry::prepared("bad.txt", packaging::ZipMethod::kLzma, c.data, c.crc,
                                              static_cast<std::uint32_t>(text.size())));
        WriteBytes(path("bad.zip"), zip.build());
        for (const char* compression : {"lzma", "deflate"}) {
            SCOPED_TRACE(compression);
            ExpectRefused(build("bad.zip", "out.exe", {"--compression", compression}), {"entry bad.txt", c.message});
            EXPECT_FALSE(fs::exists(path("out.exe")));
        }
    }
    // The same entry whole goes into the package as it is.
    packaging::ZipWriter zip;
    zip.add(packaging::ZipEntry::prepared("good.txt", packaging::ZipMethod::kLzma, good, crc,
                                          static_cast<std::uint32_t>(text.size())));
    WriteBytes(path("good.zip"), zip.build());
    ASSERT_EQ(build("good.zip", "out.exe", {"--compression", "lzma"}).exitCode, 0);
    std::map<std::string, RawEntry> packed = RawEntries(ArchiveOf(path("out.exe")));
    EXPECT_TRUE(packed["good.txt"].data == good);
    RunResult tested = RunPacker({"test", arg("out.exe")});
    EXPECT_EQ(tested.exitCode, 0) << tested.out << tested.err;
}

TEST(LzmaDictionary, HoldsTheEntryWithinTheLevelsAndTheCap)
{
    const struct {
        std::uint64_t entrySize;
        std::uint32_t wanted;
        std::uint32_t dictionary;
    } cases[] = {
        {0, 8u << 20, 4096},                  // never below LZMA's least
        {1, 8u << 20, 4096},
        {4096, 8u << 20, 4096},
        {4097, 8u << 20, 6144},               // 2^n, then 3 * 2^(n-1)
        {6145, 8u << 20, 8192},
        {1u << 20, 8u << 20, 1u << 20},
        {(1u << 20) + 1, 8u << 20, 3u << 19},
        {100u << 20, 8u << 20, 8u << 20},     // the level's own dictionary
        {100u << 20, 256u << 10, 256u << 10},
        {5u << 20, 1u << 30, 6u << 20},
        {1ull << 32, 1u << 30, packaging::kLzmaMaxDictionarySize},   // the cap the stub accepts
        {1ull << 32, 1000, 4096},
    };
    for (const auto& c : cases)
        EXPECT_EQ(packaging::lzmaDictionarySize(c.entrySize, c.wanted), c.dictionary)
            << c.entrySize << " bytes, " << c.wanted << " wanted";
    EXPECT_EQ(packaging::kLzmaMaxDictionarySize, 64u << 20);
}

}  // namespace
