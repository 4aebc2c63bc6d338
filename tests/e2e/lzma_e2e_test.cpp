// LZMA entries in the real stub under Wine: 7-Zip's LZMA ZIPs (with and
// without end markers, several dictionaries) embedded in packages come out
// byte for byte, and so does a package mixing stored, deflated and LZMA
// entries, plain and encrypted; damaged LZMA entries end with message 25
// and leave nothing.
#include <gtest/gtest.h>
#include <lzma.h>

#include <filesystem>
#include <fstream>

#include "e2e_support.h"
#include "packaging/entry_encryption.h"
#include "packaging/lzma_layout.h"
#include "resource_ids.h"
#include "stub_driver.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"

using namespace packaging;
using namespace e2e;
namespace fs = std::filesystem;

namespace {

const std::string kFixtures = SFX_TOOL_ARCHIVES_DIR;

std::vector<std::string> LinesOf(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string WindowsPath(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

class SevenZipLzma : public ::testing::TestWithParam<const char*> {};

TEST_P(SevenZipLzma, EveryFileComesOutExactly)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    driver::StubProcess stub(PackageInto(dir, into, readFileBytes(kFixtures + "/" + GetParam())));
    StartExtraction(stub);
    HWND frame = stub.waitForFrame();
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    std::string unique = UniqueFolderIn(into);
    ASSERT_FALSE(unique.empty());
    std::vector<std::string> files = LinesOf(kFixtures + "/tree-files.txt");
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        EXPECT_TRUE(readFileBytes(unique + "\\" + WindowsPath(file)) ==
                    readFileBytes(kFixtures + "/tree/" + file));
    }
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(Listing(into).empty());
}

INSTANTIATE_TEST_SUITE_P(Archives, SevenZipLzma,
                         ::testing::Values("7z-lzma.zip", "7z-lzma-noeos-d64k.zip", "7z-lzma-eos-d4m.zip"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '-' || c == '.')
                                     c = '_';
                             return name;
                         });

// An entry's LZMA data, end marker included, from liblzma's encoder.
Bytes LzmaData(const Bytes& data)
{
    lzma_options_lzma options{};
    EXPECT_FALSE(lzma_lzma_preset(&options, 6));
    options.dict_size = 1u << 16;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_raw_encoder(&stream, filters), LZMA_OK);
    std::uint8_t properties[kLzmaPropertiesSize];
    EXPECT_EQ(lzma_properties_encode(filters, properties), LZMA_OK);
    Bytes out = lzmaEntryHeader(properties);
    std::size_t at = out.size();
    out.resize(at + data.size() + data.size() / 2 + 1024);
    stream.next_in = data.data();
    stream.avail_in = data.size();
    stream.next_out = out.data() + at;
    stream.avail_out = out.size() - at;
    EXPECT_EQ(lzma_code(&stream, LZMA_FINISH), LZMA_STREAM_END);
    out.resize(at + stream.total_out);
    lzma_end(&stream);
    return out;
}

const Bytes& Text()
{
    static const Bytes text = [] {
        Bytes t;
        for (int i = 0; i < 4000; i++) {
            std::string line = "line " + std::to_string(i * 7919 % 1000) + " of the packed text\r\n";
            t.insert(t.end(), line.begin(), line.end());
        }
        return t;
    }();
    return text;
}

// Data that only partly compress: text with noise between its lines.
const Bytes& Mixed()
{
    static const Bytes mixed = [] {
        Bytes m;
        std::uint32_t seed = 12345;
        for (int i = 0; i < 6000; i++) {
            std::string line = "record " + std::to_string(i) + " of the mixed data: ";
            m.insert(m.end(), line.begin(), line.end());
            for (int j = 0; j < 16; j++) {
                seed = seed * 1103515245u + 12345u;
                m.push_back(static_cast<std::uint8_t>(seed >> 24));
            }
        }
        return m;
    }();
    return mixed;
}

// One package holding stored, deflated and LZMA entries side by side, plain
// or every entry encrypted: the stub switches between copying, inflating
// and LZMA decoding from entry to entry (the LZMA decoder taking its parked
// memory again) and comes out with every file exactly.
struct MixedCase {
    const char* name;
    bool encrypted;
};

class MixedMethods : public ::testing::TestWithParam<MixedCase> {};

TEST_P(MixedMethods, EveryFileComesOutExactly)
{
    const char kPassword[] = "gemischt \xe4\xf6\xfc";   // as typed: Windows-1252
    const struct {
        const char* name;
        ZipMethod method;
        Bytes data;
    } files[] = {
        {"stored.txt", ZipMethod::kStored, Text()},
        {"first.lzma.txt", ZipMethod::kLzma, Text()},
        {"docs/deflated.txt", ZipMethod::kDeflated, Text()},
        {"docs/mixed.lzma.bin", ZipMethod::kLzma, Mixed()},
        {"docs/mixed.deflated.bin", ZipMethod::kDeflated, Mixed()},
        {"last.lzma.txt", ZipMethod::kLzma, B("short")},
    };
    ArchiveSecrets secrets = drawArchiveSecrets();
    EntryEncryptor encryptor(secrets);
    ZipWriter zip;
    for (const auto& file : files) {
        Bytes compressed = file.method == ZipMethod::kLzma       ? LzmaData(file.data)
                           : file.method == ZipMethod::kDeflated ? deflateRaw(file.data)
                                                                 : file.data;
        if (GetParam().encrypted)
            compressed = encryptor.encryptEntry(compressed);
        zip.add(ZipEntry::prepared(file.name, file.method, std::move(compressed), crc32Of(file.data),
                                   static_cast<std::uint32_t>(file.data.size())));
    }
    TrailerBuilder trailer;
    if (GetParam().encrypted)
        trailer.cipherHeader(makeCipherHeader(kPassword, secrets));

    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    driver::StubProcess stub(PackageInto(dir, into, zip.build(), trailer));
    HWND frame = stub.waitForFrame();
    if (GetParam().encrypted) {
        HWND page = driver::waitForPage(frame, IDC_PASSWORD_EDIT);
        driver::typeText(page, IDC_PASSWORD_EDIT, kPassword);
        driver::clickButton(frame, IDC_NEXT);
    }
    StartExtraction(stub);
    driver::waitForPage(frame, IDC_FINISH_TEXT);
    std::string unique = UniqueFolderIn(into);
    ASSERT_FALSE(unique.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        EXPECT_TRUE(readFileBytes(unique + "\\" + WindowsPath(file.name)) == file.data);
    }
    driver::clickButton(frame, IDC_CANCEL);
    EXPECT_EQ(stub.waitForExit(), 0u);
    EXPECT_TRUE(Listing(into).empty());
}

INSTANTIATE_TEST_SUITE_P(Packages, MixedMethods,
                         ::testing::Values(MixedCase{"Plain", false}, MixedCase{"Encrypted", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A good stored, deflated and LZMA entry, then the LZMA entry under test.
Bytes WithDamagedLzma(Bytes packed)
{
    return ZipWriter()
        .add(ZipEntry::file("stored.txt", B("fine"), ZipMethod::kStored))
        .add(ZipEntry::file("deflated.txt", Text()))
        .add(ZipEntry::prepared("good.txt", ZipMethod::kLzma, LzmaData(Text()), crc32Of(Text()),
                                static_cast<std::uint32_t>(Text().size())))
        .add(ZipEntry::prepared("bad.txt", ZipMethod::kLzma, std::move(packed), crc32Of(Text()),
                                static_cast<std::uint32_t>(Text().size())))
        .build();
}

struct DamagedCase {
    const char* name;
    Bytes (*make)();
};

class DamagedLzma : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedLzma, EndsWithMessage25AndLeavesNothing)
{
    TempDir dir;
    std::string into = dir.path() + "\\into";
    fs::create_directory(into);
    driver::StubProcess stub(PackageInto(dir, into, GetParam().make()));
    StartExtraction(stub);
    HWND box = stub.waitForMessageBox();
    EXPECT_EQ(driver::itemText(box, driver::kMessageBoxTextId),
              ByLanguage("Fehler beim Lesen des Archivs", "Error reading archive"));
    EXPECT_TRUE(Listing(into).empty());
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"into", "package.exe"}));
    driver::clickButton(box, IDOK);
    EXPECT_EQ(stub.waitForExit(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedLzma,
    ::testing::Values(
        DamagedCase{"Cut",
                    [] {
                        Bytes packed = LzmaData(Text());
                        packed.resize(packed.size() / 2);
                        return WithDamagedLzma(packed);
                    }},
        DamagedCase{"BitsFlipped",
                    [] {
                        Bytes packed = LzmaData(Text());
                        for (std::size_t at = 40; at < packed.size(); at += 97)
                            packed[at] ^= 0x10;
                        return WithDamagedLzma(packed);
                    }},
        DamagedCase{"HugeDictionary",
                    [] {
                        Bytes packed = LzmaData(Text());
                        packed.at(8) = 0xF0;   // the dictionary above 3.75 GiB
                        return WithDamagedLzma(packed);
                    }},
        DamagedCase{"PropertiesSizeWrong",
                    [] {
                        Bytes packed = LzmaData(Text());
                        packed[2] = 4;
                        return WithDamagedLzma(packed);
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
