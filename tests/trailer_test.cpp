// Reading the configuration trailer: footer search, record walk, the text
// language rule, flags and the cipher header.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "packaging/trailer_writer.h"
#include "startup/trailer.h"
#include "support/package_assembly.h"
#include "support/reader_memory.h"
#include "support/temp_path.h"

using namespace packaging;

namespace {

// A stand-in for the program image, larger than the footer search window so
// that a package with a tail can be found by the scan.
Bytes FakeStub()
{
    return Bytes(20000, 0x90);
}

struct ReadResult {
    int code;
    SfxSettingsRecord settings;
    TrailerBlock block;   // what the settings' texts point into
};

ReadResult ReadPackage(const Bytes& package, uint32_t uiLanguage = LANGUAGE_ENGLISH)
{
    TempDir dir;
    std::string path = dir.write("package.exe", package);
    ReadResult result;
    ResetSettings(&result.settings);
    SysFile file = SysFileOpenRead(path.c_str());
    EXPECT_NE(file, SYS_FILE_INVALID);
    const uint8_t* block = nullptr;
    uint32_t length = 0;
    result.code = ReadTrailer(file, uiLanguage, &result.settings, &block, &length);
    result.block = OwnTrailerBlock(block);
    SysFileClose(file);
    return result;
}

std::string Text(const LocalizedText& slot)
{
    return slot.text ? slot.text : "<none>";
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Record(uint16_t size, uint16_t type, Bytes payload = {})
{
    Bytes r;
    appendU16(r, size);
    appendU16(r, type);
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

}  // namespace

struct PackageCase {
    const char* name;
    std::function<Bytes()> make;
    int expected;
    const char* expectedTitle;
};

void PrintTo(const PackageCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrailerPackage : public ::testing::TestWithParam<PackageCase> {};

TEST_P(TrailerPackage, ReadsOrRefuses)
{
    ReadResult r = ReadPackage(GetParam().make());
    EXPECT_EQ(r.code, GetParam().expected);
    if (r.code == TRAILER_OK) {
        EXPECT_EQ(Text(r.settings.title), GetParam().expectedTitle);
    }
}

static TrailerBuilder Titled(const char* title)
{
    TrailerBuilder t;
    t.text(kTitle, kNeutral, title);
    return t;
}

INSTANTIATE_TEST_SUITE_P(
    Footer, TrailerPackage,
    ::testing::Values(
        PackageCase{"FooterAtEnd", [] { return assemblePackage(FakeStub(), {}, Titled("Setup")); },
                    TRAILER_OK, "Setup"},
        PackageCase{"FooterFoundByScanBeforeTail",
                    [] { return assemblePackage(FakeStub(), {}, Titled("Setup"), Bytes(100, 0xAB)); },
                    TRAILER_OK, "Setup"},
        PackageCase{"LongestTailStillFound",
                    [] { return assemblePackage(FakeStub(), {}, Titled("Setup"), Bytes(16372, 0)); },
                    TRAILER_OK, "Setup"},
        PackageCase{"TailOneByteTooLong",
                    [] { return assemblePackage(FakeStub(), {}, Titled("Setup"), Bytes(16373, 0)); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"FooterNearestTheEndOfTwoInWindowWins",
                    [] {
                        // Two footer-shaped patterns behind the last 12 bytes:
                        // the scan takes the one nearer the end.
                        Bytes decoy = Titled("Later").build();
                        Bytes tail = Concat({Bytes(50, 0xEE), decoy, Bytes(7, 0xEE)});
                        return assemblePackage(FakeStub(), {}, Titled("Earlier"), tail);
                    },
                    TRAILER_OK, "Later"},
        PackageCase{"SmallFileWithTailHasNoWindow",
                    [] { return assemblePackage(Bytes(100, 0), {}, Titled("Setup"), Bytes(5, 1)); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"NoFooter", [] { return FakeStub(); }, TRAILER_CORRUPT, ""},
        PackageCase{"FileShorterThanFooter", [] { return Bytes{'S', 'F', 'X', 0}; }, TRAILER_CORRUPT, ""},
        PackageCase{"TrailerLength12", [] { return Concat({FakeStub(), makeFooter(12)}); }, TRAILER_OK,
                    "<none>"},
        PackageCase{"TrailerLengthBelow12", [] { return Concat({FakeStub(), makeFooter(8)}); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"TrailerLengthBeyondFileStart",
                    [] { return Concat({Bytes(10, 0), makeFooter(23)}); }, TRAILER_CORRUPT, ""},
        PackageCase{"TrailerLengthHuge", [] { return Concat({FakeStub(), makeFooter(0xFFFFFFF0u)}); },
                    TRAILER_CORRUPT, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A program image with just enough of a PE header for the signature's
// certificate table to be found: 32- or 64-bit optional header, 16 data
// directories, the security one empty until Signed fills it.
static Bytes FakePeStub(bool pe32Plus)
{
    Bytes image = FakeStub();
    const std::size_t pe = 0x80, optional = pe + 24;
    image[0] = 'M';
    image[1] = 'Z';
    std::memcpy(&image[0x3C], "\x80\0\0\0", 4);
    std::memcpy(&image[pe], "PE\0\0", 4);
    std::size_t directories = optional + (pe32Plus ? 112 : 96);
    image[pe + 20] = pe32Plus ? 240 : 224;   // SizeOfOptionalHeader
    image[pe + 21] = 0;
    image[optional] = 0x0B;
    image[optional + 1] = pe32Plus ? 2 : 1;
    std::memcpy(&image[directories - 4], "\x10\0\0\0", 4);
    std::memset(&image[directories], 0, 16 * 8);
    return image;
}

// Points the security directory at a certificate table, as signing tools
// do; nothing else of the file changes.
static Bytes WithSecurityDirectory(Bytes package, uint32_t offset, uint32_t size)
{
    bool pe32Plus = package[0x80 + 25] == 2;
    std::size_t directory = 0x80 + 24 + (pe32Plus ? 112 : 96) + 4 * 8;
    std::memcpy(&package[directory], &offset, 4);
    std::memcpy(&package[directory + 4], &size, 4);
    return package;
}

// Signs a package the way signing tools do: zeros up to a multiple of 8,
// the certificate table behind them, the security directory pointing to it.
static Bytes Signed(Bytes package, std::size_t tableSize = 1432, uint8_t fill = 0)
{
    while (package.size() % 8 != 0)
        package.push_back(fill);
    uint32_t offset = static_cast<uint32_t>(package.size());
    package = WithSecurityDirectory(package, offset, static_cast<uint32_t>(tableSize));
    Bytes table(tableSize, 0x30);
    package.insert(package.end(), table.begin(), table.end());
    return package;
}

// A package whose archive ends with a stored package of its own: the inner
// package's trailer lies a little before the outer one.
static Bytes Nested(bool pe32Plus, std::size_t archivePad)
{
    Bytes inner = assemblePackage(FakePeStub(pe32Plus), {}, Titled("Inner"));
    Bytes archive = Concat({Bytes(archivePad, 0x11), inner, Bytes(300, 0x22)});
    return assemblePackage(FakePeStub(pe32Plus), archive, Titled("Outer"));
}

// What an attacker can do to a signed package without breaking its
// signature: grow the certificate table by an archive, records and a
// footer of their own, and the directory's size with it.
static Bytes WithTablePaddedByTrailer(Bytes package)
{
    bool pe32Plus = package[0x80 + 25] == 2;
    std::size_t directory = 0x80 + 24 + (pe32Plus ? 112 : 96) + 4 * 8;
    uint32_t offset = 0, size = 0;
    std::memcpy(&offset, &package[directory], 4);
    std::memcpy(&size, &package[directory + 4], 4);
    Bytes archive(400, 0x44);
    TrailerBuilder trailer = Titled("Attacker");
    trailer.archive(static_cast<uint32_t>(package.size()), static_cast<uint32_t>(archive.size()));
    Bytes padding = Concat({archive, trailer.build()});
    package.insert(package.end(), padding.begin(), padding.end());
    return WithSecurityDirectory(package, offset, size + static_cast<uint32_t>(padding.size()));
}

// Signed packages: the certificate table follows the footer, and the
// trailer is the one just before the table's offset or none. Unsigned
// ones: the last 12 bytes, else the footer nearest the end.
INSTANTIATE_TEST_SUITE_P(
    Signature, TrailerPackage,
    ::testing::Values(
        PackageCase{"NestedUnsigned", [] { return Nested(false, 3); }, TRAILER_OK, "Outer"},
        // A stored package's trailer lies further from the end than ours,
        // however little tail there is.
        PackageCase{"NestedUnsignedWithZeroTail",
                    [] { return Concat({Nested(false, 3), Bytes(16, 0)}); }, TRAILER_OK, "Outer"},
        PackageCase{"NestedSigned32", [] { return Signed(Nested(false, 3)); }, TRAILER_OK, "Outer"},
        PackageCase{"NestedSigned64", [] { return Signed(Nested(true, 3)); }, TRAILER_OK, "Outer"},
        PackageCase{"NestedSignedWithoutFill",
                    [] {
                        for (std::size_t pad = 0;; pad++) {
                            Bytes package = Nested(false, pad);
                            if (package.size() % 8 == 0)
                                return Signed(package);
                        }
                    },
                    TRAILER_OK, "Outer"},
        PackageCase{"SignedWithLargeTable", [] { return Signed(Nested(false, 3), 40000); }, TRAILER_OK, "Outer"},
        // Whatever lies in or after the table, and the size the directory
        // gives it, never matter.
        PackageCase{"TablePaddedWithATrailer", [] { return WithTablePaddedByTrailer(Signed(Nested(false, 3))); },
                    TRAILER_OK, "Outer"},
        PackageCase{"TablePaddedWithATrailer64", [] { return WithTablePaddedByTrailer(Signed(Nested(true, 3))); },
                    TRAILER_OK, "Outer"},
        PackageCase{"OneByteAfterTheTable", [] { return Concat({Signed(Nested(false, 3)), Bytes{0}}); },
                    TRAILER_OK, "Outer"},
        PackageCase{"TrailerAfterTheTable",
                    [] {
                        Bytes package = Signed(Nested(false, 3));
                        return Concat({package, Titled("Attacker").build()});
                    },
                    TRAILER_OK, "Outer"},
        PackageCase{"TableSizeBeyondTheFile",
                    [] {
                        Bytes package = Signed(Nested(false, 3));
                        return WithSecurityDirectory(package, static_cast<uint32_t>(package.size() - 1432),
                                                     0x7FFFFFF0u);
                    },
                    TRAILER_OK, "Outer"},
        // Not before the table's offset: no trailer at all, even with a
        // good footer at the end or in the scan window.
        PackageCase{"NonZeroFill", [] { return Signed(Nested(false, 3), 1432, 0xFF); }, TRAILER_CORRUPT, ""},
        PackageCase{"EightBytesOfFill",
                    [] {
                        Bytes package = Nested(false, 3);
                        while (package.size() % 8 != 0)
                            package.push_back(0);
                        return Signed(Concat({package, Bytes(8, 0)}));
                    },
                    TRAILER_CORRUPT, ""},
        PackageCase{"TableOffsetInsideTheArchive",
                    [] {
                        Bytes package = Nested(false, 3);
                        return WithSecurityDirectory(package, 1000, 64);
                    },
                    TRAILER_CORRUPT, ""},
        PackageCase{"TableOffsetAtTheInnerFooter",
                    [] {
                        // The directory names the inner trailer's end: that
                        // is where the signature starts, so Inner is right.
                        Bytes package = Nested(false, 3);
                        Bytes inner = assemblePackage(FakePeStub(false), {}, Titled("Inner"));
                        uint32_t innerEnd = static_cast<uint32_t>(FakePeStub(false).size() + 3 + inner.size());
                        return WithSecurityDirectory(package, innerEnd, 64);
                    },
                    TRAILER_OK, "Inner"},
        PackageCase{"TableOffsetNearTheFileStart",
                    [] { return WithSecurityDirectory(Nested(false, 3), 8, 64); }, TRAILER_CORRUPT, ""},
        // A directory that names no table inside the file is no signature.
        PackageCase{"TableOffsetAtTheFileEnd",
                    [] {
                        Bytes package = Nested(false, 3);
                        return WithSecurityDirectory(package, static_cast<uint32_t>(package.size()), 64);
                    },
                    TRAILER_OK, "Outer"},
        PackageCase{"TableOffsetZero", [] { return WithSecurityDirectory(Nested(false, 3), 0, 64); }, TRAILER_OK,
                    "Outer"},
        PackageCase{"TableSizeZero", [] { return WithSecurityDirectory(Nested(false, 3), 1000, 0); }, TRAILER_OK,
                    "Outer"}),
    [](const auto& info) { return std::string(info.param.name); });

static Bytes TrailerOf(const Bytes& records)
{
    return Concat({FakeStub(), records, makeFooter(static_cast<uint32_t>(records.size() + kFooterSize))});
}

INSTANTIATE_TEST_SUITE_P(
    Records, TrailerPackage,
    ::testing::Values(
        PackageCase{"UnknownTypesSkipped",
                    [] {
                        return TrailerOf(Concat({Record(6, 0, {1, 2}), Titled("T").records(),
                                                 Record(5, 15, {9}), Record(4, 0xFFFF)}));
                    },
                    TRAILER_OK, "T"},
        PackageCase{"RecordRunsPastFooter",
                    [] { return TrailerOf(Concat({Titled("T").records(), Record(40, 15, Bytes(10, 0))})); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"RecordSizeZero", [] { return TrailerOf(Concat({Record(0, 2), Bytes(8, 0)})); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"RecordSizeBelowHeader", [] { return TrailerOf(Concat({Record(3, 15), Bytes(8, 0)})); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"TrailingBytesShorterThanHeader",
                    [] { return TrailerOf(Concat({Titled("T").records(), Bytes{1, 0}})); }, TRAILER_CORRUPT,
                    ""},
        PackageCase{"ShortCipherHeader", [] { return TrailerOf(Record(40, 14, Bytes(36, 0))); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"TextWithoutTerminatingZero",
                    [] { return TrailerOf(Record(12, 2, {0, 0, 4, 0, 'a', 'b', 'c', 'd'})); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"TextRecordWithoutRoomForText", [] { return TrailerOf(Record(8, 2, {0, 0, 0, 0})); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"ShortFlagsRecord", [] { return TrailerOf(Record(8, 7, {1, 0, 0, 0})); },
                    TRAILER_CORRUPT, ""},
        PackageCase{"ShortArchiveRecord", [] { return TrailerOf(Record(8, 1, {1, 0, 0, 0})); },
                    TRAILER_CORRUPT, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrailerRecords, ExampleTextRecordIsReadInPlace)
{
    const Bytes example = {0x0E, 0x00, 0x02, 0x00, 0x00, 0x00, 0x05, 0x00, 'S', 'e', 't', 'u', 'p', 0x00};
    TrailerBuilder built;
    built.text(kTitle, kNeutral, "Setup");
    EXPECT_EQ(built.records(), example);
    EXPECT_EQ(makeFooter(335), (Bytes{0x0C, 0, 0, 0, 0x4F, 0x01, 0, 0, 'S', 'F', 'X', 0}));

    SfxSettingsRecord s;
    ResetSettings(&s);
    Bytes block = Concat({example, makeFooter(26)});
    ASSERT_EQ(ParseTrailerRecords(block.data(), static_cast<uint32_t>(block.size()), LANGUAGE_ENGLISH, &s),
              TRAILER_OK);
    EXPECT_EQ(s.title.text, reinterpret_cast<const char*>(block.data() + 8));
}

TEST(TrailerRecords, DefaultsWithoutRecords)
{
    ReadResult r = ReadPackage(Concat({FakeStub(), makeFooter(12)}));
    ASSERT_EQ(r.code, TRAILER_OK);
    EXPECT_EQ(r.settings.archiveOffset, 0u);
    EXPECT_EQ(r.settings.archiveSize, 0u);
    EXPECT_EQ(r.settings.flags, 1u);
    EXPECT_TRUE(r.settings.passwordAccepted);
    EXPECT_FALSE(r.settings.cipherHeaderPresent);
    EXPECT_EQ(r.settings.folderTemplate.text, nullptr);
}

TEST(TrailerRecords, ArchiveRecordGivesArchivePlace)
{
    Bytes archive(321, 0x55);
    ReadResult r = ReadPackage(assemblePackage(FakeStub(), archive, TrailerBuilder()));
    ASSERT_EQ(r.code, TRAILER_OK);
    EXPECT_EQ(r.settings.archiveOffset, 20000u);
    EXPECT_EQ(r.settings.archiveSize, 321u);
}

TEST(TrailerRecords, EveryTextTypeFillsItsSlot)
{
    TrailerBuilder t;
    const RecordType types[] = {kTitle, kIntroText, kIntroLink, kFinishText, kFinishButton, kCommand1,
                                kFolderTemplate, kExitText, kExitButton, kCommand2, kDeleteList};
    for (RecordType type : types)
        t.text(type, kNeutral, "text " + std::to_string(type));
    ReadResult r = ReadPackage(assemblePackage(FakeStub(), {}, t));
    ASSERT_EQ(r.code, TRAILER_OK);
    const SfxSettingsRecord& s = r.settings;
    const LocalizedText* slots[] = {&s.title, &s.introText, &s.introLink, &s.finishText,
                                    &s.finishButtonText, &s.command1, &s.folderTemplate, &s.exitText,
                                    &s.exitButtonText, &s.command2, &s.deleteListFile};
    for (size_t i = 0; i < std::size(types); i++)
        EXPECT_EQ(Text(*slots[i]), "text " + std::to_string(types[i]));
}

struct LanguageCase {
    const char* name;
    uint32_t uiLanguage;
    std::vector<std::pair<uint16_t, const char*>> records;
    const char* expected;
};

class TextLanguageRule : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(TextLanguageRule, PicksTheRightRecord)
{
    TrailerBuilder t;
    for (const auto& [language, text] : GetParam().records)
        t.text(kIntroText, language, text);
    ReadResult r = ReadPackage(assemblePackage(FakeStub(), {}, t), GetParam().uiLanguage);
    ASSERT_EQ(r.code, TRAILER_OK);
    EXPECT_EQ(Text(r.settings.introText), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextLanguageRule,
    ::testing::Values(
        LanguageCase{"GermanUiPrefersLastGerman", 7, {{9, "A"}, {0, "B"}, {7, "C"}, {0, "D"}}, "C"},
        LanguageCase{"EnglishUiSameRecordsTakesEnglish", 9, {{9, "A"}, {0, "B"}, {7, "C"}, {0, "D"}}, "A"},
        LanguageCase{"LastUiLanguageRecordWins", 9, {{9, "A"}, {9, "B"}, {0, "N"}}, "B"},
        LanguageCase{"SingleForeignRecordIsUsed", 9, {{7, "G"}}, "G"},
        LanguageCase{"SecondNeutralReplacesFirst", 9, {{0, "N1"}, {0, "N2"}}, "N2"},
        LanguageCase{"NeutralReplacesForeign", 9, {{7, "G"}, {0, "N"}}, "N"},
        LanguageCase{"ForeignNeverReplacesNeutral", 9, {{0, "N"}, {7, "G"}}, "N"},
        LanguageCase{"FirstForeignKept", 7, {{9, "E1"}, {9, "E2"}}, "E1"},
        LanguageCase{"FullLangIdIsNotEnglish", 9, {{0, "N"}, {0x0409, "X"}}, "N"},
        LanguageCase{"FullLangIdIsNotGerman", 7, {{0x0407, "X"}, {0, "N"}}, "N"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrailerFlags, RecordsMergeInFileOrder)
{
    struct {
        std::vector<std::pair<uint32_t, uint32_t>> records;
        uint32_t expected;
    } cases[] = {
        {{}, 1},
        {{{3, 2}}, 2},
        {{{1, 0}, {2, 2}}, 2},
        {{{2, 2}, {2, 0}}, 1},
        {{{0, 0xFFFFFFFF}}, 1},
        {{{0xFFFFFFFF, 0x80000003}}, 0x80000003},
    };
    for (const auto& c : cases) {
        TrailerBuilder t;
        for (auto [mask, values] : c.records)
            t.flags(mask, values);
        ReadResult r = ReadPackage(assemblePackage(FakeStub(), {}, t));
        ASSERT_EQ(r.code, TRAILER_OK);
        EXPECT_EQ(r.settings.flags, c.expected);
    }
}

TEST(TrailerCipherHeader, PresentClearsPasswordAccepted)
{
    Bytes header(kCipherHeaderSize);
    for (size_t i = 0; i < header.size(); i++)
        header[i] = static_cast<uint8_t>(i * 7);
    TrailerBuilder t;
    t.cipherHeader(header);
    ReadResult r = ReadPackage(assemblePackage(FakeStub(), {}, t));
    ASSERT_EQ(r.code, TRAILER_OK);
    EXPECT_TRUE(r.settings.cipherHeaderPresent);
    EXPECT_FALSE(r.settings.passwordAccepted);
    EXPECT_EQ(r.settings.cipherHeader[0], 52);
    EXPECT_EQ(r.settings.cipherHeader[2], 14);
    EXPECT_EQ(0, std::memcmp(r.settings.cipherHeader + 4, header.data() + 4, kCipherHeaderSize - 4));
}

TEST(TrailerWriter, RefusesWhatDoesNotFit)
{
    TrailerBuilder t;
    EXPECT_THROW(t.text(kTitle, kNeutral, std::string(kMaxTextLength + 1, 'x')), FormatError);
    EXPECT_NO_THROW(t.text(kTitle, kNeutral, std::string(kMaxTextLength, 'x')));
    EXPECT_THROW(t.text(kTitle, kNeutral, std::string("a\0b", 3)), FormatError);
    EXPECT_THROW(t.cipherHeader(Bytes(51)), FormatError);
}
