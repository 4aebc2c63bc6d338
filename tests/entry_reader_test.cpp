// Entry data: the local header checked against the central one, stored,
// deflated and LZMA data read back in pieces, the CRC verdict, and damaged
// entries ending with the code that names the damage.
#include <gtest/gtest.h>
#include <lzma.h>

#include <cstring>
#include <functional>
#include <optional>

#include "archive/archive_reader_state.h"
#include "archive/entry_reader.h"
#include "crypto/crypto_state.h"
#include "crypto/password_check.h"
#include "packaging/entry_encryption.h"
#include "packaging/lzma_layout.h"
#include "startup/trailer.h"
#include "support/archive_package.h"

using namespace packaging;

namespace {

// Field offsets inside the headers, for damaging them on purpose.
enum : std::size_t {
    kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14, kLocalCompressed = 18, kLocalUncompressed = 22,
    kLocalNameLength = 26,
    kCentralMethod = 10, kCentralCrc = 16, kCentralCompressed = 20, kCentralUncompressed = 24,
};

using Patch = std::function<void(Bytes&, const ZipLayout&)>;

// The entry under test comes first; a second entry behind it makes sure the
// reader stays within the first one's data.
Bytes ArchiveWith(const ZipEntry& entry, const Patch& patch = {})
{
    ZipWriter zip;
    zip.add(entry);
    zip.add(ZipEntry::file("after.txt", MixedBytes(2000, 99)));
    ZipLayout layout;
    Bytes archive = zip.build(&layout);
    if (patch)
        patch(archive, layout);
    return archive;
}

ZipEntry Described(std::string name, Bytes data, ZipMethod method, bool descriptor)
{
    ZipEntry entry = ZipEntry::file(std::move(name), std::move(data), method);
    entry.dataDescriptor = descriptor;
    return entry;
}

struct EntryCase {
    const char* name;
    std::function<Bytes()> archive;
    Bytes expected;                     // the data that must come out
    int open;
    int read;                           // the last EntryRead result
    int close;
    bool dataMustMatch = true;
};

void PrintTo(const EntryCase& c, std::ostream* os)
{
    *os << c.name;
}

const Bytes kText = MixedBytes(100000, 3);
const Bytes kSmall = MixedBytes(1000, 4);

Bytes Flipped(Bytes data, std::size_t at)
{
    data.at(at) ^= 0x20;
    return data;
}

Bytes Prefix(const Bytes& data, std::size_t length)
{
    return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
}

Bytes Joined(Bytes first, const Bytes& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Raw deflate data that end without a final block, as a writer leaves them
// after a sync flush: every byte of data is there, the stream's end is not.
Bytes DeflateFlushed(const Bytes& data)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_SYNC_FLUSH), Z_OK);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// An empty stored block that is not the last (what a sync flush writes), and
// an empty final block: deflate data that add no bytes.
const Bytes kEmptyStoredBlock = {0x00, 0x00, 0x00, 0xFF, 0xFF};
const Bytes kEmptyFinalBlock = {0x03, 0x00};

// The stream of `data` followed by `count` empty blocks and the final one.
Bytes DeflateEndingLate(const Bytes& data, std::size_t count)
{
    Bytes out = DeflateFlushed(data);
    for (std::size_t i = 0; i < count; i++)
        out = Joined(out, kEmptyStoredBlock);
    return Joined(out, kEmptyFinalBlock);
}

// LZMA data as an entry holds them: 7-Zip's header, then the raw stream,
// made by liblzma's encoder with the given properties, with or without the
// end marker.
struct LzmaShape {
    std::uint32_t dictionary = 1u << 16;
    std::uint32_t lc = 3, lp = 0, pb = 2;
    bool endMarker = true;
};

LzmaShape NoMarker()
{
    LzmaShape shape;
    shape.endMarker = false;
    return shape;
}

LzmaShape WithDictionary(std::uint32_t dictionary)
{
    LzmaShape shape;
    shape.dictionary = dictionary;
    return shape;
}

LzmaShape WithBits(std::uint32_t lc, std::uint32_t lp, std::uint32_t pb)
{
    LzmaShape shape;
    shape.lc = lc;
    shape.lp = lp;
    shape.pb = pb;
    return shape;
}

Bytes LzmaEntryData(const Bytes& data, const LzmaShape& shape = {})
{
    lzma_options_lzma options{};
    EXPECT_FALSE(lzma_lzma_preset(&options, 6));
    options.dict_size = shape.dictionary;
    options.lc = shape.lc;
    options.lp = shape.lp;
    options.pb = shape.pb;
    options.ext_flags = shape.endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    options.ext_size_low = static_cast<std::uint32_t>(data.size());
    options.ext_size_high = 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_raw_encoder(&stream, filters), LZMA_OK);
    std::uint8_t properties[kLzmaPropertiesSize];
    EXPECT_EQ(lzma_properties_encode(filters, properties), LZMA_OK);
    Bytes out = lzmaEntryHeader(properties);
    std::size_t headerSize = out.size();
    out.resize(headerSize + data.size() + data.size() / 2 + 1024);
    stream.next_in = data.data();
    stream.avail_in = data.size();
    stream.next_out = out.data() + headerSize;
    stream.avail_out = out.size() - headerSize;
    EXPECT_EQ(lzma_code(&stream, LZMA_FINISH), LZMA_STREAM_END);
    out.resize(headerSize + stream.total_out);
    lzma_end(&stream);
    return out;
}

// The entry of `packed` that says it holds `declared`.
ZipEntry LzmaEntry(const Bytes& packed, const Bytes& declared)
{
    return ZipEntry::prepared("z", ZipMethod::kLzma, packed, crc32Of(declared),
                              static_cast<std::uint32_t>(declared.size()));
}

Bytes ArchiveWithLzma(const Bytes& data, const LzmaShape& shape = {})
{
    return ArchiveWith(LzmaEntry(LzmaEntryData(data, shape), data));
}

// LZMA data whose header's byte at `at` is `value`.
Bytes LzmaHeaderPatched(std::size_t at, std::uint8_t value)
{
    Bytes packed = LzmaEntryData(kSmall);
    packed.at(at) = value;
    return ArchiveWith(LzmaEntry(packed, kSmall));
}

Bytes LzmaWithDictionary(std::uint32_t dictionary)
{
    Bytes packed = LzmaEntryData(kSmall);
    PutU32(packed, 5, dictionary);
    return ArchiveWith(LzmaEntry(packed, kSmall));
}

const EntryCase kEntryCases[] = {
    // Entries that read back exactly.
    {"empty_stored", [] { return ArchiveWith(ZipEntry::file("e", {}, ZipMethod::kStored)); }, {}, 0, 0, 0},
    {"empty_deflated", [] { return ArchiveWith(ZipEntry::file("e", {}, ZipMethod::kDeflated)); }, {}, 0, 0, 0},
    {"stored", [] { return ArchiveWith(ZipEntry::file("s", kText, ZipMethod::kStored)); }, kText, 0, 0, 0},
    {"deflated", [] { return ArchiveWith(ZipEntry::file("d", kText)); }, kText, 0, 0, 0},
    {"bit3_zero_local_sizes_stored", [] { return ArchiveWith(Described("s", kText, ZipMethod::kStored, true)); },
     kText, 0, 0, 0},
    {"bit3_zero_local_sizes_deflated", [] { return ArchiveWith(Described("d", kText, ZipMethod::kDeflated, true)); },
     kText, 0, 0, 0},
    {"local_extra_differs_from_central",
     [] {
         ZipEntry entry = ZipEntry::file("x", kSmall, ZipMethod::kStored);
         entry.localExtra = {0x55, 0x54, 5, 0, 1, 2, 3, 4, 5};
         entry.centralExtra = {0x55, 0x54, 1, 0, 1};
         return ArchiveWith(entry);
     },
     kSmall, 0, 0, 0},
    // The stream ends before the directory's sizes are used up: a short
    // file must not pass for a whole one.
    {"deflate_ends_before_uncompressed_size",
     [] {
         return ArchiveWith(Described("d", kSmall, ZipMethod::kDeflated, true), [](Bytes& a, const ZipLayout& l) {
             PutU32(a, l.centralHeaders[0] + kCentralUncompressed, 1500);
         });
     },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"deflate_ends_before_compressed_size",
     [] {
         Bytes packed = deflateRaw(kSmall);
         packed.push_back(0);
         return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, packed, crc32Of(kSmall), 1000));
     },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    // More data than the directory says, the CRC taken over the declared
    // part: the file would come out cut and pass for whole.
    {"deflate_gives_more_than_uncompressed_size",
     [] {
         return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, deflateRaw(Prefix(kSmall, 100)),
                                               crc32Of(Prefix(kSmall, 50)), 50));
     },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"deflate_gives_data_for_an_empty_entry",
     [] { return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, deflateRaw(kSmall), 0, 0)); }, {}, 0,
     ARCHIVE_BAD_FORMAT, 0, false},
    {"deflate_gives_one_byte_too_many_in_a_later_block",
     [] {
         Bytes packed = Joined(DeflateFlushed(kSmall), deflateRaw(Bytes{'x'}));
         return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, packed, crc32Of(kSmall), 1000));
     },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"stored_compressed_larger_than_size",
     [] {
         return ArchiveWith(ZipEntry::prepared("s", ZipMethod::kStored, Prefix(kSmall, 100),
                                               crc32Of(Prefix(kSmall, 50)), 50));
     },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"stored_data_for_an_empty_entry",
     [] { return ArchiveWith(ZipEntry::prepared("s", ZipMethod::kStored, Prefix(kSmall, 8), 0, 0)); }, {}, 0,
     ARCHIVE_BAD_FORMAT, 0, false},
    // Every byte is there but the stream never ends.
    {"deflate_without_its_final_block",
     [] {
         return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, DeflateFlushed(kSmall), crc32Of(kSmall),
                                               1000));
     },
     {}, 0, Z_BUF_ERROR, 0, false},
    // The stream's end may come after the last byte, past more chunks of
    // empty blocks: found there, the entry is whole.
    {"deflate_ends_chunks_after_its_last_byte",
     [] {
         Bytes packed = DeflateEndingLate(kSmall, 8000);
         return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, packed, crc32Of(kSmall), 1000));
     },
     kSmall, 0, 0, 0},
    {"empty_deflated_without_any_data",
     [] { return ArchiveWith(ZipEntry::prepared("e", ZipMethod::kDeflated, {}, 0, 0)); }, {}, 0, 0, 0},

    // LZMA entries (method 14), with and without the end marker: the
    // stream ends at the directory's size either way.
    {"lzma_with_end_marker", [] { return ArchiveWithLzma(kText); }, kText, 0, 0, 0},
    {"lzma_without_end_marker", [] { return ArchiveWithLzma(kText, NoMarker()); }, kText, 0, 0, 0},
    {"lzma_empty_with_end_marker", [] { return ArchiveWithLzma({}); }, {}, 0, 0, 0},
    {"lzma_empty_without_end_marker", [] { return ArchiveWithLzma({}, NoMarker()); }, {}, 0, 0, 0},
    {"lzma_dictionary_smaller_than_the_data", [] { return ArchiveWithLzma(kText, WithDictionary(4096)); }, kText, 0,
     0, 0},
    {"lzma_dictionary_at_the_cap", [] { return ArchiveWithLzma(kSmall, WithDictionary(ZIP_LZMA_MAX_DICTIONARY_SIZE)); },
     kSmall, 0, 0, 0},
    {"lzma_lc4_lp0_pb4", [] { return ArchiveWithLzma(kText, WithBits(4, 0, 4)); }, kText, 0, 0, 0},
    {"lzma_lc0_lp4_pb0", [] { return ArchiveWithLzma(kText, WithBits(0, 4, 0)); }, kText, 0, 0, 0},
    // Headers refused at the open, before a caller creates anything.
    {"lzma_dictionary_above_the_cap", [] { return LzmaWithDictionary(ZIP_LZMA_MAX_DICTIONARY_SIZE + 1); }, {},
     ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_dictionary_of_4_gib", [] { return LzmaWithDictionary(0xFFFFFFFFu); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_properties_size_4", [] { return LzmaHeaderPatched(2, 4); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_properties_size_6", [] { return LzmaHeaderPatched(2, 6); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_properties_size_high_byte", [] { return LzmaHeaderPatched(3, 1); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_properties_byte_past_pb4_lp4_lc8", [] { return LzmaHeaderPatched(4, 225); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_lc4_lp1", [] { return LzmaHeaderPatched(4, 4 + 9 * 1); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_lc8", [] { return LzmaHeaderPatched(4, 8); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"lzma_header_cut",
     [] { return ArchiveWith(LzmaEntry(Prefix(LzmaEntryData(kSmall), 8), kSmall)); }, {}, ARCHIVE_BAD_FORMAT, 0, 0},
    // Streams that end early or run long.
    {"lzma_header_without_stream", [] { return ArchiveWith(LzmaEntry(Prefix(LzmaEntryData(kSmall), 9), kSmall)); },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"lzma_stream_cut",
     [] {
         Bytes packed = LzmaEntryData(kText);
         return ArchiveWith(LzmaEntry(Prefix(packed, packed.size() / 2), kText));
     },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"lzma_stream_cut_before_its_end_marker",
     [] {
         Bytes packed = LzmaEntryData(kSmall);
         return ArchiveWith(LzmaEntry(Prefix(packed, packed.size() - 3), kSmall));
     },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"lzma_end_marker_before_the_size",
     [] { return ArchiveWith(LzmaEntry(LzmaEntryData(Prefix(kSmall, 500)), kSmall)); }, {}, 0, ARCHIVE_BAD_FORMAT, 0,
     false},
    {"lzma_declared_larger_without_end_marker",
     [] { return ArchiveWith(LzmaEntry(LzmaEntryData(Prefix(kSmall, 500), NoMarker()), kSmall)); }, {}, 0,
     ARCHIVE_BAD_FORMAT, 0, false},
    {"lzma_gives_more_than_uncompressed_size",
     [] { return ArchiveWith(LzmaEntry(LzmaEntryData(kSmall), Prefix(kSmall, 500))); }, {}, 0, ARCHIVE_BAD_FORMAT, 0,
     false},
    {"lzma_without_marker_gives_more_than_uncompressed_size",
     [] { return ArchiveWith(LzmaEntry(LzmaEntryData(kSmall, NoMarker()), Prefix(kSmall, 500))); }, {}, 0,
     ARCHIVE_BAD_FORMAT, 0, false},
    {"lzma_bytes_after_its_end_marker",
     [] { return ArchiveWith(LzmaEntry(Joined(LzmaEntryData(kSmall), Bytes{0}), kSmall)); }, {}, 0,
     ARCHIVE_BAD_FORMAT, 0, false},
    {"lzma_crc_wrong",
     [] {
         return ArchiveWith(LzmaEntry(LzmaEntryData(kText), kText), [](Bytes& a, const ZipLayout& l) {
             a[l.centralHeaders[0] + kCentralCrc] ^= 1;
             a[l.localHeaders[0] + kLocalCrc] ^= 1;
         });
     },
     kText, 0, 0, ARCHIVE_CRC_MISMATCH},

    // Local header disagreeing with the central one.
    {"local_signature_wrong",
     [] { return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) { a[l.localHeaders[0]] = 'Q'; }); },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"local_method_differs",
     [] {
         return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) {
             PutU16(a, l.localHeaders[0] + kLocalMethod, 0);
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"method_not_stored_or_deflated",
     [] {
         return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) {
             PutU16(a, l.localHeaders[0] + kLocalMethod, 12);
             PutU16(a, l.centralHeaders[0] + kCentralMethod, 12);
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"local_crc_differs",
     [] {
         return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) {
             a[l.localHeaders[0] + kLocalCrc] ^= 1;
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"local_compressed_size_differs",
     [] {
         return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) {
             a[l.localHeaders[0] + kLocalCompressed] ^= 1;
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"local_uncompressed_size_differs",
     [] {
         return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) {
             a[l.localHeaders[0] + kLocalUncompressed] ^= 1;
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"local_name_length_differs",
     [] {
         return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) {
             PutU16(a, l.localHeaders[0] + kLocalNameLength, 2);
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"local_name_length_differs_despite_bit3",
     [] {
         return ArchiveWith(Described("d", kSmall, ZipMethod::kDeflated, true), [](Bytes& a, const ZipLayout& l) {
             PutU16(a, l.localHeaders[0] + kLocalNameLength, 0);
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"central_bit3_alone_is_no_exemption",
     [] {
         // Only the local header's flag counts.
         return ArchiveWith(Described("d", kSmall, ZipMethod::kDeflated, true), [](Bytes& a, const ZipLayout& l) {
             PutU16(a, l.localHeaders[0] + kLocalFlags, 0);
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},
    {"local_header_past_file_end",
     [] {
         return ArchiveWith(ZipEntry::file("d", kSmall), [](Bytes& a, const ZipLayout& l) {
             PutU32(a, l.centralHeaders[0] + 42, 0x7FFFFF00);
         });
     },
     {}, ARCHIVE_BAD_FORMAT, 0, 0},

    // Damaged data.
    {"stored_byte_flipped",
     [] {
         return ArchiveWith(ZipEntry::file("s", kText, ZipMethod::kStored), [](Bytes& a, const ZipLayout& l) {
             a[l.dataStarts[0] + 50000] ^= 0x20;
         });
     },
     Flipped(kText, 50000), 0, 0, ARCHIVE_CRC_MISMATCH},
    {"deflated_crc_wrong",
     [] {
         return ArchiveWith(ZipEntry::file("d", kText), [](Bytes& a, const ZipLayout& l) {
             a[l.centralHeaders[0] + kCentralCrc] ^= 1;
             a[l.localHeaders[0] + kLocalCrc] ^= 1;
         });
     },
     kText, 0, 0, ARCHIVE_CRC_MISMATCH},
    {"corrupt_deflate_data",
     [] {
         // Final block of type 3, which deflate does not have.
         Bytes bad = {0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
         return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, bad, 0x12345678, 100));
     },
     {}, 0, Z_DATA_ERROR, 0, false},
    {"deflate_data_cut_short",
     [] {
         Bytes packed = deflateRaw(kText);
         packed.resize(packed.size() / 2);
         return ArchiveWith(ZipEntry::prepared("d", ZipMethod::kDeflated, packed, crc32Of(kText), 100000));
     },
     {}, 0, Z_BUF_ERROR, 0, false},
    {"stored_compressed_smaller_than_size",
     [] { return ArchiveWith(ZipEntry::prepared("s", ZipMethod::kStored, kSmall, crc32Of(kSmall), 5000)); },
     {}, 0, ARCHIVE_BAD_FORMAT, 0, false},
    {"data_reach_past_file_end",
     [] {
         return ArchiveWith(Described("s", kSmall, ZipMethod::kStored, true), [](Bytes& a, const ZipLayout& l) {
             PutU32(a, l.centralHeaders[0] + kCentralCompressed, 200000);
             PutU32(a, l.centralHeaders[0] + kCentralUncompressed, 200000);
         });
     },
     {}, 0, ARCHIVE_IO_ERROR, 0, false},
};

class EntryTable : public ::testing::TestWithParam<EntryCase> {};

TEST_P(EntryTable, ReadsOrReportsDamage)
{
    const EntryCase& c = GetParam();
    auto opened = OpenInPackage(c.archive());
    ArchiveReader* reader = opened->reader();
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->entryValid, 1u);

    EntryContent content = ReadCurrentEntryWhole(reader);
    EXPECT_EQ(content.openResult, c.open);
    if (c.open != ARCHIVE_OK) {
        EXPECT_EQ(reader->openEntry, nullptr) << "a refused entry is not left open";
        EXPECT_EQ(EntryRead(reader, nullptr, 10), ARCHIVE_BAD_PARAMETER);
        return;
    }
    EXPECT_EQ(content.readResult, c.read);
    EXPECT_EQ(content.closeResult, c.close);
    if (c.dataMustMatch) {
        EXPECT_TRUE(content.data == c.expected) << "got " << content.data.size() << " bytes";
    }

    // The reader is still usable: the next entry opens and reads back whole.
    ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
    EntryContent after = ReadCurrentEntryWhole(reader);
    EXPECT_EQ(after.closeResult, ARCHIVE_OK);
    EXPECT_TRUE(after.data == MixedBytes(2000, 99));
}

INSTANTIATE_TEST_SUITE_P(Cases, EntryTable, ::testing::ValuesIn(kEntryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The same end checks on encrypted entries, where the stored data are the
// entry's bytes and zero fill up to whole cipher blocks: the fill is the
// only slack, and a whole block more is as wrong as a byte more in plain.
const ArchiveSecrets& Secrets()
{
    static const ArchiveSecrets secrets = drawArchiveSecrets();
    return secrets;
}

const char kPassword[] = "entry sizes";

struct EncryptedCase {
    const char* name;
    // The entry under test, made from its plain compressed bytes.
    std::function<ZipEntry(const EntryEncryptor&)> entry;
    Bytes expected;
    int read;                           // the last EntryRead result
};

void PrintTo(const EncryptedCase& c, std::ostream* os)
{
    *os << c.name;
}

ZipEntry Encrypted(const EntryEncryptor& encryptor, ZipMethod method, const Bytes& compressed,
                   const Bytes& declared)
{
    return ZipEntry::prepared("x", method, encryptor.encryptEntry(compressed), crc32Of(declared),
                              static_cast<std::uint32_t>(declared.size()));
}

const Bytes kOneBlock(8, 0);

const EncryptedCase kEncryptedCases[] = {
    {"stored_with_fill", [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kStored, Prefix(kSmall, 13), Prefix(kSmall, 13)); },
     Prefix(kSmall, 13), 0},
    {"stored_without_fill", [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kStored, Prefix(kSmall, 16), Prefix(kSmall, 16)); },
     Prefix(kSmall, 16), 0},
    {"deflated", [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kDeflated, deflateRaw(kText), kText); },
     kText, 0},
    {"empty_deflated", [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kDeflated, deflateRaw({}), {}); },
     {}, 0},
    {"empty_stored", [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kStored, {}, {}); }, {}, 0},
    {"stored_a_block_past_its_fill",
     [](const EntryEncryptor& e) {
         return Encrypted(e, ZipMethod::kStored, Joined(Prefix(kSmall, 13), kOneBlock), Prefix(kSmall, 13));
     },
     {}, ARCHIVE_BAD_FORMAT},
    {"stored_compressed_larger_than_size",
     [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kStored, Prefix(kSmall, 100), Prefix(kSmall, 50)); },
     {}, ARCHIVE_BAD_FORMAT},
    {"deflate_gives_more_than_uncompressed_size",
     [](const EntryEncryptor& e) {
         return Encrypted(e, ZipMethod::kDeflated, deflateRaw(Prefix(kSmall, 100)), Prefix(kSmall, 50));
     },
     {}, ARCHIVE_BAD_FORMAT},
    {"deflate_gives_data_for_an_empty_entry",
     [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kDeflated, deflateRaw(kSmall), {}); }, {},
     ARCHIVE_BAD_FORMAT},
    {"deflate_a_block_past_its_fill",
     [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kDeflated, Joined(deflateRaw(kSmall), kOneBlock), kSmall); },
     {}, ARCHIVE_BAD_FORMAT},
    {"deflate_ends_before_uncompressed_size",
     [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kDeflated, deflateRaw(Prefix(kSmall, 50)), Prefix(kSmall, 60)); },
     {}, ARCHIVE_BAD_FORMAT},
    {"deflate_ends_chunks_after_its_last_byte",
     [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kDeflated, DeflateEndingLate(kSmall, 8000), kSmall); },
     kSmall, 0},
    {"lzma", [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kLzma, LzmaEntryData(kText), kText); },
     kText, 0},
    {"lzma_without_end_marker",
     [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kLzma, LzmaEntryData(kText, NoMarker()), kText); },
     kText, 0},
    {"lzma_empty", [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kLzma, LzmaEntryData({}), {}); }, {},
     0},
    {"lzma_a_block_past_its_fill",
     [](const EntryEncryptor& e) { return Encrypted(e, ZipMethod::kLzma, Joined(LzmaEntryData(kSmall), kOneBlock), kSmall); },
     {}, ARCHIVE_BAD_FORMAT},
    {"lzma_ends_before_uncompressed_size",
     [](const EntryEncryptor& e) {
         return Encrypted(e, ZipMethod::kLzma, LzmaEntryData(Prefix(kSmall, 50)), Prefix(kSmall, 60));
     },
     {}, ARCHIVE_BAD_FORMAT},
};

class EncryptedEntryTable : public ::testing::TestWithParam<EncryptedCase> {
  protected:
    void TearDown() override { ResetCryptoState(); }
};

TEST_P(EncryptedEntryTable, ReadsOrReportsDamage)
{
    const EncryptedCase& c = GetParam();
    EntryEncryptor encryptor(Secrets());
    ZipWriter zip;
    zip.add(c.entry(encryptor));
    const Bytes after = MixedBytes(2000, 99);
    zip.add(ZipEntry::prepared("after.txt", ZipMethod::kDeflated, encryptor.encryptEntry(deflateRaw(after)),
                               crc32Of(after), static_cast<std::uint32_t>(after.size())));
    auto opened = OpenInPackage(zip.build());
    ArchiveReader* reader = opened->reader();
    ASSERT_NE(reader, nullptr);
    SfxSettingsRecord settings;
    ResetSettings(&settings);
    Bytes header = makeCipherHeader(kPassword, Secrets());
    ASSERT_EQ(header.size(), sizeof settings.cipherHeader);
    std::memcpy(settings.cipherHeader, header.data(), header.size());
    settings.cipherHeaderPresent = 1;
    settings.passwordAccepted = 0;
    ASSERT_EQ(VerifyPassword(&settings, reinterpret_cast<const std::uint8_t*>(kPassword), sizeof kPassword - 1),
              PASSWORD_ACCEPTED);

    EntryContent content = ReadCurrentEntryWhole(reader);
    EXPECT_EQ(content.openResult, ARCHIVE_OK);
    EXPECT_EQ(content.readResult, c.read);
    if (c.read == 0) {
        EXPECT_EQ(content.closeResult, ARCHIVE_OK);
        EXPECT_TRUE(content.data == c.expected) << "got " << content.data.size() << " bytes";
    }

    ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
    EntryContent next = ReadCurrentEntryWhole(reader);
    EXPECT_EQ(next.closeResult, ARCHIVE_OK);
    EXPECT_TRUE(next.data == after);
}

INSTANTIATE_TEST_SUITE_P(Cases, EncryptedEntryTable, ::testing::ValuesIn(kEncryptedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Piece sizes around the 16 KiB chunk and the caller's 128 KiB buffer: each
// must give the same bytes, and a piece larger than the rest of the entry
// only what is left.
struct PieceCase {
    ZipMethod method;
    std::uint32_t piece;
};

class EntryPieces : public ::testing::TestWithParam<PieceCase> {};

TEST_P(EntryPieces, SameBytesForEveryPieceSize)
{
    const Bytes data = MixedBytes(200001, 5);
    auto opened = OpenInPackage(ArchiveWith(ZipEntry::file("f", data, GetParam().method)));
    ASSERT_NE(opened->reader(), nullptr);
    EntryContent content = ReadCurrentEntryWhole(opened->reader(), GetParam().piece);
    EXPECT_EQ(content.readResult, 0);
    EXPECT_EQ(content.closeResult, ARCHIVE_OK);
    EXPECT_TRUE(content.data == data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EntryPieces,
                         ::testing::Values(PieceCase{ZipMethod::kStored, 1}, PieceCase{ZipMethod::kDeflated, 1},
                                           PieceCase{ZipMethod::kStored, 16383}, PieceCase{ZipMethod::kDeflated, 16385},
                                           PieceCase{ZipMethod::kStored, 131072}, PieceCase{ZipMethod::kDeflated, 131072},
                                           PieceCase{ZipMethod::kStored, 1u << 20}, PieceCase{ZipMethod::kDeflated, 1u << 20}),
                         [](const auto& info) {
                             return std::string(info.param.method == ZipMethod::kStored ? "stored_" : "deflated_") +
                                    std::to_string(info.param.piece);
                         });

// The package ends inside the entry's data or its local header.
TEST(EntryTruncated, ShortReadsAreIoErrors)
{
    const Bytes data = MixedBytes(60000, 6);
    for (ZipMethod method : {ZipMethod::kStored, ZipMethod::kDeflated}) {
        ZipLayout layout;
        ZipWriter zip;
        zip.add(ZipEntry::file("f", data, method));
        Bytes archive = zip.build(&layout);
        const std::size_t dataEnd = layout.directoryStart;
        const std::size_t cuts[] = {layout.dataStarts[0] + 100, layout.dataStarts[0] + 16384 + 1, dataEnd - 1};
        ASSERT_LT(cuts[1], dataEnd);
        for (std::size_t cut : cuts) {
            SCOPED_TRACE(std::to_string(cut) + (method == ZipMethod::kStored ? " stored" : " deflated"));
            auto opened = OpenInPackage(archive);
            ASSERT_NE(opened->reader(), nullptr);
            opened->truncateTo(PackageArchiveOffset() + cut);
            EntryContent content = ReadCurrentEntryWhole(opened->reader());
            EXPECT_EQ(content.openResult, ARCHIVE_OK);
            EXPECT_EQ(content.readResult, ARCHIVE_IO_ERROR);
            EXPECT_LT(content.data.size(), data.size());
        }
        auto opened = OpenInPackage(archive);
        ASSERT_NE(opened->reader(), nullptr);
        opened->truncateTo(PackageArchiveOffset() + layout.localHeaders[0] + 20);
        EXPECT_EQ(EntryOpen(opened->reader()), ARCHIVE_BAD_FORMAT);
    }
}

TEST(EntryCalls, OrderAndArgumentsChecked)
{
    ZipWriter zip;
    zip.add(ZipEntry::file("one", MixedBytes(50000, 1)));
    zip.add(ZipEntry::file("two", MixedBytes(30000, 2), ZipMethod::kStored));
    auto opened = OpenInPackage(zip.build());
    ArchiveReader* reader = opened->reader();
    ASSERT_NE(reader, nullptr);
    std::uint8_t buffer[64];

    EXPECT_EQ(EntryOpen(nullptr), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(EntryRead(nullptr, buffer, sizeof buffer), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(EntryClose(nullptr), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(EntryRead(reader, buffer, sizeof buffer), ARCHIVE_BAD_PARAMETER);
    EXPECT_EQ(EntryClose(reader), ARCHIVE_BAD_PARAMETER);

    ASSERT_EQ(EntryOpen(reader), ARCHIVE_OK);
    EXPECT_EQ(EntryRead(reader, buffer, 0), 0);
    EXPECT_EQ(EntryRead(reader, buffer, sizeof buffer), 64);

    // Opening the next entry closes this one, its verdict unasked.
    ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
    EntryContent two = ReadCurrentEntryWhole(reader);
    EXPECT_EQ(two.closeResult, ARCHIVE_OK);
    EXPECT_TRUE(two.data == MixedBytes(30000, 2));
    EXPECT_EQ(EntryClose(reader), ARCHIVE_BAD_PARAMETER);

    // Reading the same entries again, from a reused state, gives them again.
    ASSERT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK);
    EntryContent one = ReadCurrentEntryWhole(reader, 1000);
    EXPECT_EQ(one.closeResult, ARCHIVE_OK);
    EXPECT_TRUE(one.data == MixedBytes(50000, 1));

    // An invalid current entry cannot be opened.
    reader->entryValid = 0;
    EXPECT_EQ(EntryOpen(reader), ARCHIVE_BAD_PARAMETER);
}

// An entry left before its end is not judged, however wrong its CRC.
TEST(EntryVerdict, PartlyReadEntryIsNotChecked)
{
    Bytes archive = ArchiveWith(ZipEntry::file("d", kText), [](Bytes& a, const ZipLayout& l) {
        a[l.centralHeaders[0] + kCentralCrc] ^= 1;
        a[l.localHeaders[0] + kLocalCrc] ^= 1;
    });
    auto opened = OpenInPackage(archive);
    ASSERT_NE(opened->reader(), nullptr);
    ASSERT_EQ(EntryOpen(opened->reader()), ARCHIVE_OK);
    std::uint8_t buffer[4096];
    EXPECT_EQ(EntryRead(opened->reader(), buffer, sizeof buffer), 4096);
    EXPECT_EQ(EntryClose(opened->reader()), ARCHIVE_OK);
}

}  // namespace

namespace {

// A flipped bit anywhere in an LZMA entry's data never passes for the
// entry: the read fails, the CRC does, or the bytes are the entry's own.
TEST(LzmaEntries, NoFlippedBitPassesForTheEntry)
{
    const Bytes data = MixedBytes(3000, 8);
    for (bool endMarker : {true, false}) {
        LzmaShape shape;
        shape.endMarker = endMarker;
        const Bytes packed = LzmaEntryData(data, shape);
        std::size_t caught = 0;
        for (std::size_t at = ZIP_LZMA_HEADER_SIZE; at < packed.size(); at++) {
            for (std::uint8_t bit : {0x01, 0x80}) {
                Bytes damaged = packed;
                damaged[at] ^= bit;
                auto opened = OpenInPackage(ArchiveWith(LzmaEntry(damaged, data)));
                ASSERT_NE(opened->reader(), nullptr);
                EntryContent content = ReadCurrentEntryWhole(opened->reader(), 1000);
                ASSERT_EQ(content.openResult, ARCHIVE_OK);
                EXPECT_LE(content.data.size(), data.size());
                if (content.readResult == 0 && content.closeResult == ARCHIVE_OK)
                    EXPECT_TRUE(content.data == data) << "flip at " << at << (endMarker ? " with" : " without")
                                                      << " end marker";
                else
                    caught++;
            }
        }
        EXPECT_GT(caught, (packed.size() - ZIP_LZMA_HEADER_SIZE) * 3 / 2);
    }
}

// The decoder's memory in the parked entry state: its blocks, by address.
std::vector<void*> DecoderBlocks(const ArchiveReader* reader)
{
    std::vector<void*> blocks;
    for (const LzmaBlockSlot& slot : reader->spareEntry->lzmaBlocks.slots)
        if (slot.memory != nullptr)
            blocks.push_back(slot.memory);
    return blocks;
}

// Entry after entry takes the same blocks again; a larger dictionary
// replaces the smaller one instead of adding to it, and serves the smaller
// dictionaries after it.
TEST(LzmaEntries, DecoderMemoryIsReusedFromEntryToEntry)
{
    const std::uint32_t dictionaries[] = {1u << 16, 1u << 16, 1u << 20, 1u << 16, 1u << 12};
    ZipWriter zip;
    for (std::uint32_t dictionary : dictionaries)
        zip.add(LzmaEntry(LzmaEntryData(kText, WithDictionary(dictionary)), kText));
    auto opened = OpenInPackage(zip.build());
    ArchiveReader* reader = opened->reader();
    ASSERT_NE(reader, nullptr);
    std::vector<std::vector<void*>> blocks;
    for (std::size_t i = 0; i < std::size(dictionaries); i++) {
        ASSERT_EQ(i == 0 ? ArchiveFirstEntry(reader) : ArchiveNextEntry(reader), ARCHIVE_OK);
        EntryContent content = ReadCurrentEntryWhole(reader);
        EXPECT_EQ(content.closeResult, ARCHIVE_OK);
        EXPECT_TRUE(content.data == kText);
        blocks.push_back(DecoderBlocks(reader));
    }
    EXPECT_EQ(blocks[1], blocks[0]);
    EXPECT_EQ(blocks[2].size(), blocks[0].size()) << "the 64 KiB dictionary is given back, not kept";
    EXPECT_EQ(blocks[3], blocks[2]);
    EXPECT_EQ(blocks[4], blocks[2]);
}

}  // namespace
