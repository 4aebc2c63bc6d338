// The icon, version information and execution level a package's program
// carries: icon files read and their faults named, version resources and
// manifests written and read, the resource tree read and written, and the
// resource section swapped in a small program with every other byte kept.
#include <gtest/gtest.h>

#include <functional>

#include "packaging/execution_level.h"
#include "packaging/icon_file.h"
#include "packaging/pe_image.h"
#include "packaging/program_resources.h"
#include "packaging/resource_tree.h"
#include "packaging/version_resource.h"
#include "support/icon_builder.h"
#include "support/program_builder.h"
#include "support/test_bytes.h"

using namespace packaging;

namespace {

std::uint32_t Le32(const Bytes& bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void SetLe32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The message of the FormatError that f throws; empty when it throws none.
std::string FailureOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const FormatError& error) {
        return error.what();
    }
    return "";
}

const std::vector<TestIconImage> kThreeImages = {
    {256, 0xFF0000, true, 32}, {48, 0x00FF00, false, 32}, {16, 0x0000FF, false, 4}};

// Where image i's entry lies in an icon file: size, then offset.
constexpr std::size_t EntryAt(std::size_t i)
{
    return 6 + 16 * i;
}

}  // namespace

TEST(IconFile, ImagesComeAsTheFileHoldsThem)
{
    Bytes file = makeIconFile(kThreeImages);
    std::vector<IconImage> images = readIconFile(file);
    ASSERT_EQ(images.size(), 3u);
    for (std::size_t i = 0; i < images.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(images[i].width, kThreeImages[i].side);
        EXPECT_EQ(images[i].height, kThreeImages[i].side);
        EXPECT_EQ(images[i].png, kThreeImages[i].png);
        EXPECT_TRUE(images[i].data == makeIconImage(kThreeImages[i]));
        EXPECT_TRUE(images[i].directoryEntry == Bytes(file.begin() + EntryAt(i), file.begin() + EntryAt(i) + 12));
    }
    std::vector<IconGroupEntry> group = readIconGroup(makeIconGroup(images, {7, 9, 10}));
    ASSERT_EQ(group.size(), 3u);
    EXPECT_EQ(group[0].width, 256u);
    EXPECT_EQ(group[0].id, 7);
    EXPECT_EQ(group[1].bitCount, 32);
    EXPECT_EQ(group[2].width, 16u);
    EXPECT_EQ(group[2].bitCount, 4);
    EXPECT_EQ(group[2].size, images[2].data.size());
    EXPECT_EQ(group[2].id, 10);
}

TEST(IconFile, FaultsAreNamed)
{
    const Bytes good = makeIconFile(kThreeImages);
    const std::size_t pngAt = Le32(good, EntryAt(0) + 12);
    const std::size_t bmpAt = Le32(good, EntryAt(1) + 12);
    const struct {
        const char* fault;
        std::function<void(Bytes&)> make;
        const char* message;
    } cases[] = {
        {"a ZIP file", [](Bytes& f) { f = B("PK\x03\x04 and more"); }, "not an icon file (.ico)"},
        {"a cursor", [](Bytes& f) { f[2] = 2; }, "a cursor file, not an icon"},
        {"no images", [](Bytes& f) { f[4] = 0; }, "the file holds no image"},
        {"a short directory", [](Bytes& f) { f.resize(EntryAt(2)); }, "cut short: the directory of 3 images is incomplete"},
        {"the last image cut", [](Bytes& f) { f.resize(f.size() - 10); }, "cut short: image 3 (16x16) runs past the end"},
        {"an empty image", [](Bytes& f) { SetLe32(f, EntryAt(1) + 8, 0); }, "image 2 (48x48) is empty"},
        {"a BMP without its mask",
         [](Bytes& f) { SetLe32(f, EntryAt(1) + 8, Le32(f, EntryAt(1) + 8) - 100); },
         "image 2 (48x48) is cut short: 9540 bytes of the 9640 its pixels and mask need"},
        {"a PNG cut before its end", [](Bytes& f) { SetLe32(f, EntryAt(0) + 8, Le32(f, EntryAt(0) + 8) - 12); },
         "image 1 (256x256) is cut short: its PNG data end before their last part"},
        {"a PNG larger than an icon",
         [pngAt](Bytes& f) {
             SetLe32(f, pngAt + 16, 0x00020000u);   // 512 wide, big-endian: 00 00 02 00
             SetLe32(f, pngAt + 20, 0x00020000u);
         },
         "image 1 (256x256) is 512x512 pixels; icons are at most 256x256"},
        {"a BMP larger than an icon",
         [bmpAt](Bytes& f) {
             SetLe32(f, bmpAt + 4, 300);
             SetLe32(f, bmpAt + 8, 600);
         },
         "image 2 (48x48) is 300x300 pixels; icons are at most 256x256"},
        {"a directory that disagrees", [](Bytes& f) { f[EntryAt(1)] = f[EntryAt(1) + 1] = 32; },
         "image 2 (32x32): the file's directory says 32x32, the BMP image is 48x48"},
        {"an image of no known kind", [bmpAt](Bytes& f) { f[bmpAt] = 'G'; }, "image 2 (48x48) is neither a BMP nor a PNG image"},
        {"7 bits per pixel", [bmpAt](Bytes& f) { f[bmpAt + 14] = 7; }, "image 2 (48x48) is a BMP image of 7 bits per pixel"},
        {"a compressed BMP", [bmpAt](Bytes& f) { f[bmpAt + 16] = 1; }, "image 2 (48x48) is a compressed BMP image"},
        {"more than 4 MiB", [](Bytes& f) { f.resize(kMaxIconFileSize + 1); }, "4194305 bytes, more than the 4 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Bytes file = good;
        c.make(file);
        EXPECT_NE(FailureOf([&file] { readIconFile(file); }).find(c.message), std::string::npos)
            << FailureOf([&file] { readIconFile(file); });
    }
}

TEST(VersionResource, NumbersAndTextsComeBackAsWritten)
{
    VersionResource version;
    version.fileVersion = {1, 2, 3, 4};
    version.productVersion = {65535, 0, 7, 0};
    version.language = 0x0407;
    version.codePage = 1252;
    version.strings = {{u"ProductName", u"Demo Produkt \u00e4\u20ac"}, {u"CompanyName", u"Brenlow"}, {u"Comments", u""}};
    VersionResource read = readVersionResource(writeVersionResource(version));
    EXPECT_EQ(read.fileVersion, version.fileVersion);
    EXPECT_EQ(read.productVersion, version.productVersion);
    EXPECT_TRUE(read.hasStrings);
    EXPECT_EQ(read.language, 0x0407);
    EXPECT_EQ(read.codePage, 1252);
    ASSERT_EQ(read.strings.size(), 3u);
    for (std::size_t i = 0; i < 3; i++) {
        EXPECT_TRUE(read.strings[i].key == version.strings[i].key);
        EXPECT_TRUE(read.strings[i].value == version.strings[i].value);
    }
    EXPECT_EQ(read.translations, (std::vector<std::uint32_t>{1252u << 16 | 0x0407}));
    ASSERT_EQ(read.fixed.size(), kFixedVersionSize);
    EXPECT_EQ(Le32(read.fixed, 36), 1u) << "an application";

    // The other fields of a fixed part given stay; without strings there is
    // no string table, only the translation.
    Bytes fixed = read.fixed;
    SetLe32(fixed, 36, 2);   // a library
    VersionResource bare;
    bare.fixed = fixed;
    bare.fileVersion = {9, 8, 7, 6};
    VersionResource again = readVersionResource(writeVersionResource(bare));
    EXPECT_FALSE(again.hasStrings);
    EXPECT_EQ(Le32(again.fixed, 36), 2u);
    EXPECT_EQ(again.fileVersion, bare.fileVersion);
}

TEST(VersionResource, DamagedOnesAreRefused)
{
    VersionResource version;
    version.strings = {{u"ProductName", u"Demo"}};
    const Bytes good = writeVersionResource(version);
    const struct {
        const char* fault;
        std::function<void(Bytes&)> make;
    } cases[] = {
        {"cut short", [](Bytes& d) { d.resize(d.size() - 20); }},
        {"a root longer than the data", [](Bytes& d) { d[0] = 0xFF; d[1] = 0x7F; }},
        {"a root shorter than its header", [](Bytes& d) { d[0] = 4; d[1] = 0; }},
        {"no terminating zero in the key", [](Bytes& d) { d.resize(20); d[0] = 20; d[1] = 0; }},
        {"another root key", [](Bytes& d) { d[6] = 'W'; }},
        {"nothing", [](Bytes& d) { d.clear(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Bytes data = good;
        c.make(data);
        EXPECT_NE(FailureOf([&data] { readVersionResource(data); }), "");
    }
}

TEST(ExecutionLevel, OnlyTheLevelAttributeChanges)
{
    const struct {
        const char* manifest;
        const char* changed;
    } cases[] = {
        {"<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
         "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"},
        {"<requestedExecutionLevel uiAccess='false' level = 'asInvoker'/>",
         "<requestedExecutionLevel uiAccess='false' level = 'requireAdministrator'/>"},
        {"<v3:requestedExecutionLevel\n  level=\"highestAvailable\"></v3:requestedExecutionLevel>",
         "<v3:requestedExecutionLevel\n  level=\"requireAdministrator\"></v3:requestedExecutionLevel>"},
        {"<!-- requestedExecutionLevel level=\"x\" --><requestedExecutionLevel level=\"asInvoker\"/>",
         "<!-- requestedExecutionLevel level=\"x\" --><requestedExecutionLevel level=\"requireAdministrator\"/>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.manifest);
        EXPECT_EQ(setExecutionLevel(c.manifest, kRequireAdministrator), c.changed);
        EXPECT_EQ(executionLevel(c.changed), std::optional<std::string>(kRequireAdministrator));
    }
    for (const char* without : {"<assembly/>", "<requestedExecutionLevel uiAccess=\"false\"/>",
                                "<requestedExecutionLevel level=asInvoker/>", "<requestedExecutionLevel level=\"asInvoker"}) {
        SCOPED_TRACE(without);
        EXPECT_EQ(executionLevel(without), std::nullopt);
        EXPECT_NE(FailureOf([without] { setExecutionLevel(without, kAsInvoker); }), "");
    }
}

TEST(ResourceTree, ReadsWhatItWroteAndWritesItAlike)
{
    const ResourceTree tree = testResources();
    const Bytes section = writeResourceTree(tree, 0x5000);
    ResourceTree read = readResourceTree(section, 0x5000);
    ASSERT_EQ(read.types.size(), tree.types.size());
    // Text names first, then numbers in order: the loader searches them so.
    EXPECT_TRUE(read.types[0].type.text == u"CUSTOM");
    EXPECT_TRUE(read.types[0].entries[0].name.text == u"SETTINGS");
    for (std::size_t t = 1; t < read.types.size(); t++)
        EXPECT_EQ(read.types[t].type.id, tree.types[t].type.id);
    const ResourceType* icons = findResourceType(read, kResourceIcon);
    ASSERT_NE(icons, nullptr);
    ASSERT_EQ(icons->entries.size(), 2u);
    EXPECT_EQ(icons->entries[1].items[0].language, 0x0407);
    EXPECT_TRUE(icons->entries[1].items[0].data == tree.types[2].entries[1].items[0].data);
    EXPECT_TRUE(writeResourceTree(read, 0x5000) == section);
    // The data entries hold addresses: another place, other bytes.
    EXPECT_FALSE(writeResourceTree(read, 0x6000) == section);
}

TEST(ResourceTree, DamagedSectionsAreRefused)
{
    const Bytes good = writeResourceTree(testResources(), 0x5000);
    const struct {
        const char* fault;
        std::function<void(Bytes&)> make;
    } cases[] = {
        {"cut in the root table", [](Bytes& s) { s.resize(20); }},
        {"cut before the data", [](Bytes& s) { s.resize(s.size() / 2); }},
        {"a type that leads back to the root", [](Bytes& s) { SetLe32(s, 16 + 8 * 1 + 4, 0x80000000u); }},
        {"a name past the end", [](Bytes& s) { SetLe32(s, 16, 0x8FFFFFF0u); }},
        {"an entry count past the end", [](Bytes& s) { s[14] = 0xFF; s[15] = 0xFF; }},
        {"a data entry at the type level", [](Bytes& s) { SetLe32(s, 16 + 8 * 1 + 4, Le32(s, 16 + 8 * 1 + 4) & 0x7FFFFFFFu); }},
        {"nothing", [](Bytes& s) { s.clear(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Bytes section = good;
        c.make(section);
        EXPECT_NE(FailureOf([&section] { readResourceTree(section, 0x5000); }), "");
    }
    // Data that lie before the section's address, or past its end.
    EXPECT_NE(FailureOf([&good] { readResourceTree(good, 0x6000); }), "");
    EXPECT_NE(FailureOf([&good] { readResourceTree(good, 0x4000); }), "");
}

namespace {

ProgramChanges AllChanges()
{
    ProgramChanges changes;
    changes.icon = readIconFile(makeIconFile(kThreeImages));
    changes.version = VersionChange{{1, 2, 3, 4}, {1, 2, 0, 0}, {{u"ProductName", u"Demo"}, {u"FileVersion", u"1.2.3.4"}}};
    changes.executionLevel = kHighestAvailable;
    return changes;
}

// The fields the swap may change: the resource section's header, the
// relocation section's header, the resource and relocation directory
// entries, the size of the image and of the initialised data, the checksum.
std::vector<std::pair<std::size_t, std::size_t>> PatchedFields(const Bytes& program)
{
    PeImage image = readPeImage(program);
    std::vector<std::pair<std::size_t, std::size_t>> fields = {
        {image.optionalAt + 8, 4}, {image.optionalAt + 56, 4}, {image.checksumAt, 4},
        {image.directoriesAt + 8 * kPeResourceDirectory, 8},
        {image.directoriesAt + 8 * kPeBaseRelocationDirectory, 8}};
    for (const PeSection& section : image.sections)
        if (section.name == ".rsrc" || section.name == ".reloc")
            fields.emplace_back(section.headerAt + 8, 16);
    return fields;
}

}  // namespace

TEST(ProgramResources, IconVersionAndLevelReplacedTheRestKept)
{
    TestProgram program;
    program.resources = testResources();
    const Bytes before = makeTestProgram(program);
    Bytes after = before;
    changeProgramResources(after, AllChanges());

    ProgramResources read = readProgramResources(after);
    ASSERT_EQ(read.icon.size(), 3u);
    EXPECT_EQ(read.icon[0].entry.width, 256u);
    EXPECT_TRUE(read.icon[0].png);
    EXPECT_EQ(read.icon[2].entry.bitCount, 4);
    ASSERT_TRUE(read.version);
    EXPECT_EQ(read.version->fileVersion, (VersionNumber{1, 2, 3, 4}));
    EXPECT_EQ(read.version->productVersion, (VersionNumber{1, 2, 0, 0}));
    EXPECT_EQ(read.version->language, 0x0407) << "the language of the program's version resource";
    EXPECT_EQ(read.version->codePage, 1252);
    ASSERT_EQ(read.version->strings.size(), 2u);
    EXPECT_TRUE(read.version->strings[0].value == u"Demo");
    EXPECT_EQ(read.executionLevel, std::optional<std::string>(kHighestAvailable));

    // The old images went, the new ones took their ids; the rest is there.
    PeImage image = readPeImage(after);
    const PeSection* section = findResourceSection(image);
    ASSERT_NE(section, nullptr);
    ResourceTree tree = readResourceTree(sectionBytes(after, *section), section->virtualAddress);
    const ResourceType* icons = findResourceType(tree, kResourceIcon);
    ASSERT_NE(icons, nullptr);
    ASSERT_EQ(icons->entries.size(), 3u);
    for (std::size_t i = 0; i < 3; i++) {
        EXPECT_EQ(icons->entries[i].name.id, i + 1);
        EXPECT_EQ(icons->entries[i].items[0].language, 0x0407);
        EXPECT_TRUE(icons->entries[i].items[0].data == makeIconImage(kThreeImages[i]));
    }
    EXPECT_EQ(findResourceType(tree, kResourceIconGroup)->entries[0].name.id, 121);
    EXPECT_TRUE(tree.types[0].type.text == u"CUSTOM");
    EXPECT_EQ(findResourceType(tree, 2)->entries[0].items[0].data.size(), 300u);

    // Every byte before the resources but the patched fields, and the
    // relocations, moved behind the grown resources, are the same.
    std::vector<bool> patched(before.size());
    for (const auto& [at, size] : PatchedFields(before))
        for (std::size_t i = at; i < at + size; i++)
            patched[i] = true;
    PeImage old = readPeImage(before);
    const PeSection& oldResources = old.sections[1];
    for (std::size_t i = 0; i < oldResources.rawOffset; i++) {
        if (!patched[i]) {
            ASSERT_EQ(before[i], after[i]) << "byte " << i;
        }
    }
    EXPECT_TRUE(sectionBytes(after, image.sections[2]) == sectionBytes(before, old.sections[2]));
    EXPECT_GT(image.sections[2].virtualAddress, old.sections[2].virtualAddress) << "the relocations moved up";
    EXPECT_EQ(image.directories[kPeBaseRelocationDirectory].rva, image.sections[2].virtualAddress);
    EXPECT_EQ(Le32(after, image.optionalAt + 56),
              (image.sections[2].virtualAddress + image.sections[2].virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(Le32(after, image.checksumAt), peChecksum(after, image.checksumAt));
    EXPECT_EQ(after.size(), std::size_t{image.sections[2].rawOffset} + image.sections[2].rawSize);

    // And back to a small icon: the section shrinks again.
    ProgramChanges small;
    small.icon = readIconFile(makeIconFile({{16, 0x123456, false, 4}}));
    changeProgramResources(after, small);
    EXPECT_LT(after.size(), before.size() + 0x400);
    EXPECT_EQ(readProgramResources(after).icon.size(), 1u);
}

TEST(ProgramResources, AProgramWithoutIconOrVersionGetsThem)
{
    TestProgram made;
    made.resources = testResources();
    // Without the icons, the group and the version resource.
    made.resources.types.erase(made.resources.types.begin() + 2, made.resources.types.begin() + 5);
    Bytes program = makeTestProgram(made);
    ASSERT_TRUE(readProgramResources(program).icon.empty());
    changeProgramResources(program, AllChanges());
    ProgramResources read = readProgramResources(program);
    ASSERT_EQ(read.icon.size(), 3u);
    EXPECT_EQ(read.icon[0].entry.id, 1);
    ASSERT_TRUE(read.version);
    EXPECT_EQ(read.version->fileVersion, (VersionNumber{1, 2, 3, 4}));
    EXPECT_EQ(read.version->codePage, kDefaultVersionCodePage);
    EXPECT_EQ(read.executionLevel, std::optional<std::string>(kHighestAvailable));
}

TEST(ProgramResources, WhatCannotBeRewrittenIsRefusedAndLeftAlone)
{
    // The code section's data moved behind the resources.
    auto codeBehind = [](Bytes& program) {
        PeImage image = readPeImage(program);
        SetLe32(program, image.sections[0].headerAt + 20, image.sections[2].rawOffset);
    };
    const struct {
        const char* fault;
        std::function<void(TestProgram&)> make;
        const char* message;
        std::function<void(Bytes&)> damage = [](Bytes&) {};
    } cases[] = {
        {"signed", [](TestProgram& p) { p.signature = true; }, "the program is signed"},
        {"code behind the resources", [](TestProgram&) {}, "the section .text lies behind the resources", codeBehind},
        // Found by the fuzzer: the resources padded to 4 GiB.
        {"a file alignment of almost 4 GiB", [](TestProgram&) {}, "alignments no program has",
         [](Bytes& program) { SetLe32(program, readPeImage(program).optionalAt + 36, 0xFFFFFF00u); }},
        {"bytes behind the sections", [](TestProgram& p) { p.tail = 100; }, "100 bytes behind its last section"},
        {"a data section behind the resources", [](TestProgram& p) { p.dataBehindResources = true; },
         "the section .data follows the resources and cannot be moved"},
        {"a relocation into the resources", [](TestProgram& p) { p.relocationIntoResources = true; },
         "a base relocation points into the resources"},
        {"no manifest",
         [](TestProgram& p) {
             p.resources.types.erase(p.resources.types.begin() + 5);
         },
         "no manifest to set the execution level in"},
        {"texts in another code page",
         [](TestProgram& p) {
             VersionResource other;
             other.language = 0x0419;
             other.codePage = 1251;
             other.strings = {{u"ProductName", u"x"}};
             p.resources.types[4].entries[0].items[0].data = writeVersionResource(other);
         },
         "in code page 1251"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        TestProgram made;
        made.resources = testResources();
        c.make(made);
        Bytes before = makeTestProgram(made);
        c.damage(before);
        Bytes program = before;
        std::string failure = FailureOf([&program] { changeProgramResources(program, AllChanges()); });
        EXPECT_NE(failure.find(c.message), std::string::npos) << failure;
        EXPECT_TRUE(program == before);
    }
}

TEST(ProgramResources, TimeStampsOfTheTablesAreBounded)
{
    TestProgram made;
    made.resources = testResources();
    made.resources.info.timeStamp = 2000000000;
    made.resources.types[3].info.timeStamp = 1000;
    Bytes program = makeTestProgram(made);
    ProgramChanges changes;
    changes.executionLevel = kAsInvoker;
    changes.latestTime = 1700000000;
    changeProgramResources(program, changes);
    PeImage image = readPeImage(program);
    ResourceTree tree = readResourceTree(sectionBytes(program, image.sections[1]), image.sections[1].virtualAddress);
    EXPECT_EQ(tree.info.timeStamp, 1700000000u);
    EXPECT_EQ(tree.types[3].info.timeStamp, 1000u) << "an earlier one stays";
}
