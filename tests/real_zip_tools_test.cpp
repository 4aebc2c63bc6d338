// Archives made by real tools (Info-ZIP zip, 7-Zip, bsdtar, Python's
// zipfile), embedded in packages and read back entry by entry, byte for byte,
// with every CRC checked. The archives and the folder tree they hold are
// generated at build time by fixtures/make_tool_archives.sh.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "archive/archive_reader_state.h"
#include "archive/entry_reader.h"
#include "startup/trailer.h"
#include "support/archive_package.h"
#include "support/package_assembly.h"
#include "support/reader_memory.h"

using namespace packaging;

namespace {

const std::string kFixtures = SFX_TOOL_ARCHIVES_DIR;

bool FileExists(const std::string& path)
{
    return std::ifstream(path, std::ios::binary).good();
}

std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// The tree's files, read once for all archives.
const Bytes& TreeFile(const std::string& name)
{
    static std::map<std::string, Bytes> cache;
    auto found = cache.find(name);
    if (found == cache.end())
        found = cache.emplace(name, readFileBytes(kFixtures + "/tree/" + name)).first;
    return found->second;
}

struct ToolArchive {
    const char* file;
    bool wholeTree;            // else one entry "-" holding data/mixed-1m.bin
    bool streamed;             // entries carry data descriptors (bit 3)
    std::uint32_t commentLength;
};

void PrintTo(const ToolArchive& a, std::ostream* os)
{
    *os << a.file;
}

const ToolArchive kToolArchives[] = {
    {"infozip-deflated.zip", true, false, 33},
    {"infozip-stored.zip", true, false, 0},
    {"infozip-streamed.zip", true, true, 0},
    {"infozip-pipe.zip", false, true, 0},
    {"7z-deflated.zip", true, false, 0},
    {"7z-stored.zip", true, false, 0},
    {"7z-lzma.zip", true, false, 0},
    {"7z-lzma-noeos-d64k.zip", true, false, 0},
    {"7z-lzma-eos-d4m.zip", true, false, 0},
    {"bsdtar-deflated.zip", true, true, 0},
    {"bsdtar-stored.zip", true, true, 0},
    {"python-mixed.zip", true, false, 27},
};

class RealToolArchive : public ::testing::TestWithParam<ToolArchive> {};

TEST_P(RealToolArchive, EveryEntryReadsBackExactly)
{
    const ToolArchive& a = GetParam();
    const std::string archivePath = kFixtures + "/" + a.file;
    if (!FileExists(archivePath))
        GTEST_SKIP() << archivePath << " was not made (its tool is missing)";

    // Embedded like a real package and found through the trailer, as the
    // program finds it.
    Bytes archive = readFileBytes(archivePath);
    TrailerBuilder records;
    records.text(kTitle, kNeutral, "Real tool archive");
    Bytes package = assemblePackage(FakeProgramImage(70000), archive, records);
    TempDir dir;
    std::string path = dir.write("package.exe", package);
    SysFile file = SysFileOpenRead(path.c_str());
    ASSERT_NE(file, SYS_FILE_INVALID);
    SfxSettingsRecord settings;
    ResetSettings(&settings);
    const uint8_t* block = nullptr;
    uint32_t blockLength = 0;
    ASSERT_EQ(ReadTrailer(file, LANGUAGE_ENGLISH, &settings, &block, &blockLength), TRAILER_OK);
    TrailerBlock blockOwner = OwnTrailerBlock(block);

    ArchiveHandle opened(ArchiveOpen(file, settings.archiveOffset, settings.archiveSize, nullptr));
    ArchiveReader* reader = opened.get();
    ASSERT_NE(reader, nullptr);
    std::uint32_t count = 0;
    std::uint32_t commentLength = 0;
    ASSERT_EQ(ArchiveGetInfo(reader, &count, &commentLength), ARCHIVE_OK);
    EXPECT_EQ(reader->archiveBase, 70000u);
    EXPECT_EQ(commentLength, a.commentLength);

    const std::vector<std::string> treeFiles = Lines(kFixtures + "/tree-files.txt");
    const std::vector<std::string> treeFolderList = Lines(kFixtures + "/tree-folders.txt");
    const std::set<std::string> treeFolders(treeFolderList.begin(), treeFolderList.end());
    std::set<std::string> seen;
    bool sawDescriptor = false;
    for (std::uint32_t i = 0; i < count; i++) {
        ASSERT_EQ(i == 0 ? ArchiveFirstEntry(reader) : ArchiveNextEntry(reader), ARCHIVE_OK) << i;
        char nameBuffer[260];
        ArchiveEntryInfo info;
        ASSERT_EQ(ArchiveGetEntryInfo(reader, &info, nameBuffer, sizeof nameBuffer, nullptr, 0, nullptr, 0),
                  ARCHIVE_OK);
        sawDescriptor = sawDescriptor || (info.flagBits & ZIP_FLAG_DATA_DESCRIPTOR);
        std::string name = nameBuffer;
        if (name.rfind("./", 0) == 0)   // bsdtar names everything from "./"
            name.erase(0, 2);
        SCOPED_TRACE(name);

        EntryContent content = ReadCurrentEntryWhole(reader);
        EXPECT_EQ(content.openResult, ARCHIVE_OK);
        EXPECT_EQ(content.readResult, 0);
        EXPECT_EQ(content.closeResult, ARCHIVE_OK);
        if (name.empty() || name.back() == '/') {
            if (!name.empty()) {
                EXPECT_EQ(treeFolders.count(name.substr(0, name.size() - 1)), 1u);
            }
            EXPECT_TRUE(content.data.empty());
            continue;
        }
        const std::string source = a.wholeTree ? name : "data/mixed-1m.bin";
        if (!a.wholeTree) {
            EXPECT_EQ(name, "-");
        }
        const Bytes& expected = TreeFile(source);
        EXPECT_EQ(content.data.size(), expected.size());
        EXPECT_TRUE(content.data == expected);
        EXPECT_TRUE(seen.insert(source).second) << "entry appears twice";
    }
    EXPECT_EQ(ArchiveNextEntry(reader), ARCHIVE_END_OF_LIST);
    EXPECT_EQ(sawDescriptor, a.streamed);
    if (a.wholeTree) {
        EXPECT_EQ(seen, std::set<std::string>(treeFiles.begin(), treeFiles.end()));
    } else {
        EXPECT_EQ(seen.size(), 1u);
    }
    SysFileClose(file);
}

INSTANTIATE_TEST_SUITE_P(Tools, RealToolArchive, ::testing::ValuesIn(kToolArchives),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

}  // namespace
