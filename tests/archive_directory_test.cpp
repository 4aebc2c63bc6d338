// The embedded archive's directory: finding the end record, refusing
// inconsistent ones, deriving the archive's base, and walking the entries.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

#include "archive/archive_reader.h"
#include "archive/archive_reader_state.h"
#include "support/archive_package.h"

using namespace packaging;

namespace {

ZipWriter TwoEntries()
{
    ZipWriter zip;
    zip.add(ZipEntry::file("readme.txt", MixedBytes(3000, 7)));
    zip.add(ZipEntry::file("bin/setup.exe", MixedBytes(500, 8), ZipMethod::kStored));
    return zip;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A file, the region the trailer would name, and what ArchiveOpen should do.
struct Placement {
    Bytes file;
    std::uint32_t archiveOffset;
    std::uint32_t archiveSize;
    std::optional<std::uint32_t> base;   // where the case's fixed base does not fit
};

Placement AfterImage(const Bytes& archive, const Bytes& tail = {})
{
    Bytes image = FakeProgramImage();
    return {Concat({image, archive, tail}), static_cast<std::uint32_t>(image.size()),
            static_cast<std::uint32_t>(archive.size()), std::nullopt};
}

Placement WithComment(std::size_t length)
{
    return AfterImage(TwoEntries().comment(std::string(length, 'c')).build());
}

// The end record's fields, changed after the archive was built.
Placement PatchedEndRecord(std::size_t fieldOffset, std::uint32_t value, bool wide)
{
    ZipLayout layout;
    Bytes archive = TwoEntries().build(&layout);
    if (wide)
        PutU32(archive, layout.endRecord + fieldOffset, value);
    else
        PutU16(archive, layout.endRecord + fieldOffset, static_cast<std::uint16_t>(value));
    return AfterImage(archive);
}

struct OpenCase {
    const char* name;
    std::function<Placement()> make;
    bool opens;
    std::uint32_t entryCount;
    std::uint32_t archiveBase;   // as a file offset
};

void PrintTo(const OpenCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::uint32_t kImage = 5000;

const OpenCase kOpenCases[] = {
    {"plain", [] { return AfterImage(TwoEntries().build()); }, true, 2, kImage},
    {"longest_comment_found", [] { return WithComment(65513); }, true, 2, kImage},
    {"comment_one_past_window", [] { return WithComment(65514); }, false, 0, 0},
    // A 1,024-byte step ends 1,028 bytes before the end; signatures 1,029 to
    // 1,031 bytes before it (and 2,053 to 2,055) straddle a step boundary.
    {"signature_straddles_first_step", [] { return WithComment(1007); }, true, 2, kImage},
    {"signature_straddles_first_step_2", [] { return WithComment(1008); }, true, 2, kImage},
    {"signature_straddles_first_step_3", [] { return WithComment(1009); }, true, 2, kImage},
    {"signature_straddles_second_step", [] { return WithComment(2031); }, true, 2, kImage},
    {"signature_straddles_second_step_3", [] { return WithComment(2033); }, true, 2, kImage},
    {"nearest_of_two_archives_wins",
     [] {
         Bytes first = TwoEntries().build();
         Bytes second = ZipWriter().add(ZipEntry::file("only.txt", MixedBytes(10))).build();
         Placement p = AfterImage(Concat({first, second}));
         p.base = static_cast<std::uint32_t>(kImage + first.size());
         return p;
     },
     true, 1, 0},
    {"end_record_in_comment_wins",
     [] {
         // An empty archive's end record inside the comment lies nearer the
         // end than the real one, so it is the one used.
         Bytes fake = ZipWriter().build();
         std::string comment(fake.begin(), fake.end());
         ZipLayout layout;
         Placement p = AfterImage(TwoEntries().comment("note " + comment).build(&layout));
         p.base = kImage + layout.endRecord + 22 + 5;
         return p;
     },
     true, 0, 0},
    {"signature_in_trailer_not_seen",
     [] {
         Bytes other = ZipWriter().add(ZipEntry::file("other.txt", MixedBytes(10))).build();
         return AfterImage(TwoEntries().build(), other);
     },
     true, 2, kImage},
    {"only_signature_past_region_end",
     [] {
         Bytes archive = TwoEntries().build();
         Placement p = AfterImage(archive);
         p.archiveSize -= 20;   // the region ends inside the signature
         return p;
     },
     false, 0, 0},
    {"region_says_archive_starts_at_zero",
     [] {
         Placement p = AfterImage(TwoEntries().build());
         p.archiveSize += p.archiveOffset;
         p.archiveOffset = 0;
         return p;
     },
     true, 2, kImage},
    {"region_says_archive_starts_later",
     [] {
         Placement p = AfterImage(TwoEntries().build());
         p.archiveOffset += 300;
         p.archiveSize -= 300;
         return p;
     },
     true, 2, kImage},
    {"offsets_count_from_file_start",
     [] {
         Bytes image = FakeProgramImage();
         Bytes file = TwoEntries().leadingBytes(image, true).build();
         return Placement{file, static_cast<std::uint32_t>(image.size()),
                          static_cast<std::uint32_t>(file.size() - image.size()), std::nullopt};
     },
     true, 2, 0},
    {"no_entries", [] { return AfterImage(ZipWriter().build()); }, true, 0, kImage},
    {"this_disk_not_zero", [] { return PatchedEndRecord(4, 1, false); }, false, 0, 0},
    {"directory_disk_not_zero", [] { return PatchedEndRecord(6, 1, false); }, false, 0, 0},
    {"entry_counts_differ", [] { return PatchedEndRecord(8, 1, false); }, false, 0, 0},
    {"total_entries_differ", [] { return PatchedEndRecord(10, 3, false); }, false, 0, 0},
    {"directory_reaches_past_end_record", [] { return PatchedEndRecord(12, 0x10000, true); }, false, 0, 0},
    // Size plus offset wraps around 32 bits to a small value.
    {"directory_size_wraps", [] { return PatchedEndRecord(12, 0xFFFFFF00u, true); }, false, 0, 0},
    {"region_past_file_end",
     [] {
         Placement p = AfterImage(TwoEntries().build());
         p.archiveSize += 100;
         return p;
     },
     false, 0, 0},
    {"end_record_cut_by_file_end",
     [] {
         Bytes archive = TwoEntries().build();
         archive.resize(archive.size() - 10);
         return AfterImage(archive);
     },
     false, 0, 0},
};

class ArchiveOpenTable : public ::testing::TestWithParam<OpenCase> {};

TEST_P(ArchiveOpenTable, FindsAndChecksEndRecord)
{
    const OpenCase& c = GetParam();
    Placement p = c.make();
    OpenedArchive opened(p.file, p.archiveOffset, p.archiveSize);
    ArchiveReader* reader = opened.reader();
    ASSERT_EQ(reader != nullptr, c.opens);

    std::uint32_t count = 99;
    std::uint32_t commentLength = 99;
    if (!c.opens) {
        EXPECT_EQ(ArchiveGetInfo(reader, &count, &commentLength), ARCHIVE_BAD_PARAMETER);
        return;
    }
    ASSERT_EQ(ArchiveGetInfo(reader, &count, &commentLength), ARCHIVE_OK);
    EXPECT_EQ(count, c.entryCount);
    EXPECT_EQ(reader->archiveBase, p.base.value_or(c.archiveBase));
    EXPECT_EQ(reader->entryValid, count > 0 ? 1u : 0u);

    // Every entry the directory announces can be walked and read back.
    char name[260];
    ArchiveEntryInfo info;
    for (std::uint32_t i = 0; i < count; i++) {
        ASSERT_EQ(i == 0 ? ArchiveFirstEntry(reader) : ArchiveNextEntry(reader), ARCHIVE_OK) << i;
        ASSERT_EQ(ArchiveGetEntryInfo(reader, &info, name, sizeof name, nullptr, 0, nullptr, 0), ARCHIVE_OK);
        EntryContent content = ReadCurrentEntryWhole(reader);
        EXPECT_EQ(content.readResult, 0) << name;
        EXPECT_EQ(content.closeResult, ARCHIVE_OK) << name;
        EXPECT_EQ(content.data.size(), info.uncompressedSize) << name;
    }
    EXPECT_EQ(ArchiveNextEntry(reader), ARCHIVE_END_OF_LIST);
}

INSTANTIATE_TEST_SUITE_P(Cases, ArchiveOpenTable, ::testing::ValuesIn(kOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveOpen, EmptyArchiveHasNoFirstEntry)
{
    auto opened = OpenInPackage(ZipWriter().build());
    ASSERT_NE(opened->reader(), nullptr);
    EXPECT_EQ(ArchiveFirstEntry(opened->reader()), ARCHIVE_END_OF_LIST);
    EXPECT_EQ(ArchiveNextEntry(opened->reader()), ARCHIVE_END_OF_LIST);
    char name[16] = "x";
    EXPECT_EQ(ArchiveGetEntryInfo(opened->reader(), nullptr, name, sizeof name, nullptr, 0, nullptr, 0),
              ARCHIVE_END_OF_LIST);
    EXPECT_EQ(name[0], 0);
}

TEST(ArchiveWalk, HandsOutEachCentralHeader)
{
    ZipWriter zip;
    ZipEntry first = ZipEntry::file("a.txt", MixedBytes(1000, 1));
    first.dosTime = 0x6C21;
    first.dosDate = 0x5A8F;
    first.centralExtra = {1, 0, 2, 0, 'x', 'y'};
    first.comment = "first";
    zip.add(first);
    zip.add(ZipEntry::directory("docs/"));
    zip.add(ZipEntry::file("docs/b.bin", MixedBytes(70000, 2), ZipMethod::kStored));
    ZipLayout layout;
    auto opened = OpenInPackage(zip.build(&layout));
    ArchiveReader* reader = opened->reader();
    ASSERT_NE(reader, nullptr);

    struct Expected {
        const char* name;
        std::uint32_t method, uncompressedSize, externalAttributes;
    } expected[] = {{"a.txt", 8, 1000, 0}, {"docs/", 0, 0, 0x10}, {"docs/b.bin", 0, 70000, 0}};
    for (std::uint32_t i = 0; i < 3; i++) {
        ASSERT_EQ(i == 0 ? ArchiveFirstEntry(reader) : ArchiveNextEntry(reader), ARCHIVE_OK);
        EXPECT_EQ(reader->entryIndex, i);
        char name[260];
        ArchiveEntryInfo info;
        ASSERT_EQ(ArchiveGetEntryInfo(reader, &info, name, sizeof name, nullptr, 0, nullptr, 0), ARCHIVE_OK);
        EXPECT_STREQ(name, expected[i].name);
        EXPECT_EQ(info.method, expected[i].method);
        EXPECT_EQ(info.uncompressedSize, expected[i].uncompressedSize);
        EXPECT_EQ(info.externalAttributes, expected[i].externalAttributes);
        EXPECT_EQ(std::memcmp(&info, &reader->current, sizeof info), 0);
        EXPECT_EQ(reader->localHeaderOffset, layout.localHeaders[i]);
        EXPECT_EQ(reader->entryPosition, layout.centralHeaders[i]);
    }
    // The CRC precedes the date and time in the record although the file
    // has them the other way round.
    ASSERT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK);
    EXPECT_EQ(reader->current.dosDateTime, 0x5A8F6C21u);
    EXPECT_EQ(reader->current.crc, crc32Of(MixedBytes(1000, 1)));
    EXPECT_EQ(reader->current.extraLength, 6u);
    EXPECT_EQ(reader->current.commentLength, 5u);

    // Past the last entry nothing moves.
    ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
    ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
    ArchiveEntryInfo last = reader->current;
    std::uint32_t lastPosition = reader->entryPosition;
    EXPECT_EQ(ArchiveNextEntry(reader), ARCHIVE_END_OF_LIST);
    EXPECT_EQ(ArchiveNextEntry(reader), ARCHIVE_END_OF_LIST);
    EXPECT_EQ(reader->entryIndex, 2u);
    EXPECT_EQ(reader->entryPosition, lastPosition);
    EXPECT_EQ(reader->entryValid, 1u);
    EXPECT_EQ(std::memcmp(&last, &reader->current, sizeof last), 0);
    // ...and the walk can start over, as the counting and extraction passes do.
    ASSERT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK);
    EXPECT_EQ(reader->current.uncompressedSize, 1000u);

    // Going to an entry by its number works forward and backward; past the
    // last one it is the end of the list.
    for (std::uint32_t index : {1u, 2u, 0u, 2u, 1u}) {
        ASSERT_EQ(ArchiveGoToEntry(reader, index), ARCHIVE_OK);
        EXPECT_EQ(reader->entryIndex, index);
        EXPECT_EQ(reader->entryPosition, layout.centralHeaders[index]);
    }
    EXPECT_EQ(ArchiveGoToEntry(reader, 3), ARCHIVE_END_OF_LIST);
}

// Name, extra field and comment into buffers of various sizes; the parts not
// asked for must still be skipped correctly.
struct BufferCase {
    const char* name;
    std::size_t nameLength;
    std::uint32_t nameBuffer;      // 0: no buffer
    std::uint32_t extraBuffer;
    std::uint32_t commentBuffer;
    int expected;
    const char* expectedExtra;     // bytes the extra buffer must start with
    const char* expectedComment;   // nullptr: the comment buffer is not terminated
};

void PrintTo(const BufferCase& c, std::ostream* os)
{
    *os << c.name;
}

const BufferCase kBufferCases[] = {
    {"name_one_shorter_than_buffer", 9, 10, 0, 0, ARCHIVE_OK, nullptr, nullptr},
    {"name_fills_buffer", 10, 10, 0, 0, ARCHIVE_BAD_PARAMETER, nullptr, nullptr},
    {"name_longer_than_buffer", 300, 260, 0, 0, ARCHIVE_BAD_PARAMETER, nullptr, nullptr},
    {"longest_name_that_fits", 259, 260, 0, 0, ARCHIVE_OK, nullptr, nullptr},
    {"extra_without_name", 12, 0, 4, 0, ARCHIVE_OK, "0123", nullptr},
    {"extra_whole_after_name", 12, 64, 64, 0, ARCHIVE_OK, "0123456789", nullptr},
    {"comment_without_name_or_extra", 12, 0, 0, 64, ARCHIVE_OK, nullptr, "a comment"},
    {"comment_cut_unterminated", 12, 64, 3, 4, ARCHIVE_OK, "012", nullptr},
    {"comment_one_shorter_than_buffer", 12, 0, 0, 10, ARCHIVE_OK, nullptr, "a comment"},
};

class EntryInfoBuffers : public ::testing::TestWithParam<BufferCase> {};

TEST_P(EntryInfoBuffers, FillsWhatFits)
{
    const BufferCase& c = GetParam();
    std::string entryName(c.nameLength, 'n');
    ZipEntry entry = ZipEntry::file(entryName, MixedBytes(100));
    entry.centralExtra = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    entry.comment = "a comment";
    ZipWriter zip;
    zip.add(entry);
    zip.add(ZipEntry::file("second", MixedBytes(10)));
    auto opened = OpenInPackage(zip.build());
    ArchiveReader* reader = opened->reader();
    ASSERT_NE(reader, nullptr);

    std::vector<char> name(c.nameBuffer + 1, '#');
    std::vector<char> extra(c.extraBuffer + 1, '#');
    std::vector<char> comment(c.commentBuffer + 1, '#');
    ArchiveEntryInfo info{};
    int result = ArchiveGetEntryInfo(reader, &info, c.nameBuffer ? name.data() : nullptr, c.nameBuffer,
                                     c.extraBuffer ? extra.data() : nullptr, c.extraBuffer,
                                     c.commentBuffer ? comment.data() : nullptr, c.commentBuffer);
    EXPECT_EQ(result, c.expected);
    // The buffers' sizes are kept: the byte after each is untouched.
    EXPECT_EQ(name[c.nameBuffer], '#');
    EXPECT_EQ(extra[c.extraBuffer], '#');
    EXPECT_EQ(comment[c.commentBuffer], '#');
    // The fixed fields are there even for a refused name, so the entry can
    // still be counted and the refusal explained.
    EXPECT_EQ(info.nameLength, c.nameLength);
    EXPECT_EQ(info.uncompressedSize, 100u);
    if (c.nameBuffer && result == ARCHIVE_OK) {
        EXPECT_EQ(std::string(name.data()), entryName);
    } else if (c.nameBuffer) {
        EXPECT_EQ(name[0], 0) << "a refused name leaves an empty text, never a cut one";
    }
    if (c.expectedExtra) {
        EXPECT_EQ(std::string(extra.data(), std::strlen(c.expectedExtra)), c.expectedExtra);
    }
    if (c.commentBuffer && c.expectedComment) {
        EXPECT_STREQ(comment.data(), c.expectedComment);
    } else if (c.commentBuffer) {
        EXPECT_EQ(std::string(comment.data(), c.commentBuffer), std::string("a comment").substr(0, c.commentBuffer));
    }
    // The walk itself does not depend on the buffers.
    EXPECT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
    char second[16];
    EXPECT_EQ(ArchiveGetEntryInfo(reader, nullptr, second, sizeof second, nullptr, 0, nullptr, 0), ARCHIVE_OK);
    EXPECT_STREQ(second, "second");
}

INSTANTIATE_TEST_SUITE_P(Cases, EntryInfoBuffers, ::testing::ValuesIn(kBufferCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveWalk, WrongCentralSignatureInvalidatesEntry)
{
    ZipLayout layout;
    Bytes archive = TwoEntries().build(&layout);
    archive[layout.centralHeaders[1]] ^= 0xFF;
    auto opened = OpenInPackage(archive);
    ArchiveReader* reader = opened->reader();
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->entryValid, 1u);
    EXPECT_EQ(ArchiveNextEntry(reader), ARCHIVE_BAD_FORMAT);
    EXPECT_EQ(reader->entryValid, 0u);
    EXPECT_EQ(ArchiveNextEntry(reader), ARCHIVE_END_OF_LIST);
    ArchiveEntryInfo info;
    EXPECT_EQ(ArchiveGetEntryInfo(reader, &info, nullptr, 0, nullptr, 0, nullptr, 0), ARCHIVE_END_OF_LIST);

    // The first entry's signature broken: the open succeeds, the entry does not.
    Bytes broken = TwoEntries().build(&layout);
    broken[layout.centralHeaders[0] + 1] = 'X';
    auto second = OpenInPackage(broken);
    ASSERT_NE(second->reader(), nullptr);
    EXPECT_EQ(second->reader()->entryValid, 0u);
    EXPECT_EQ(ArchiveFirstEntry(second->reader()), ARCHIVE_BAD_FORMAT);
}

// The package ends inside the directory: every read there is short.
TEST(ArchiveWalk, TruncatedDirectoryGivesIoError)
{
    ZipLayout layout;
    Bytes archive = TwoEntries().comment("end").build(&layout);
    const std::size_t cuts[] = {
        layout.centralHeaders[1],        // before the second header
        layout.centralHeaders[1] + 20,   // inside its fixed fields
        layout.centralHeaders[1] + 50,   // inside its name
    };
    for (std::size_t cut : cuts) {
        auto opened = OpenInPackage(archive);
        ArchiveReader* reader = opened->reader();
        ASSERT_NE(reader, nullptr);
        char name[64];
        opened->truncateTo(PackageArchiveOffset() + cut);
        EXPECT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK) << cut;
        EXPECT_EQ(ArchiveGetEntryInfo(reader, nullptr, name, sizeof name, nullptr, 0, nullptr, 0), ARCHIVE_OK);
        int next = ArchiveNextEntry(reader);
        if (next == ARCHIVE_OK) {
            next = ArchiveGetEntryInfo(reader, nullptr, name, sizeof name, nullptr, 0, nullptr, 0);
            EXPECT_EQ(name[0], 0) << "no half-read name is handed out";
        }
        EXPECT_EQ(next, ARCHIVE_IO_ERROR) << cut;
    }
}

TEST(ArchiveReaderArguments, NoReaderIsBadParameter)
{
    std::uint32_t count;
    ArchiveEntryInfo info;
    EXPECT_EQ(ArchiveGetInfo(nullptr, &count, &count), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(ArchiveFirstEntry(nullptr), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(ArchiveNextEntry(nullptr), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(ArchiveGoToEntry(nullptr, 0), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(ArchiveGetEntryInfo(nullptr, &info, nullptr, 0, nullptr, 0, nullptr, 0), ARCHIVE_BAD_PARAMETER);
}

}  // namespace
