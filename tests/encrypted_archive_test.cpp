// Encrypted packages made by the packaging library, read back the way the
// stub reads them: trailer, password check, directory walk, and each entry
// through EntryOpen/EntryRead/EntryClose with the chain reset before it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_reader_state.h"
#include "archive/entry_reader.h"
#include "crypto/crypto_state.h"
#include "crypto/password_check.h"
#include "packaging/entry_encryption.h"
#include "support/package_assembly.h"
#include "support/reader_memory.h"
#include "support/zip_builder.h"
#include "startup/trailer.h"
#include "support/archive_package.h"
#include "support/temp_path.h"

using namespace packaging;

namespace {

const char kPassword[] = "Sch\xFC" "ssel 2024";

struct PlainEntry {
    std::string name;
    Bytes data;
    ZipMethod method;
};

// A package file opened as the stub opens its own: settings from the
// trailer, the archive where record 1 says.
class EncryptedPackage {
  public:
    EncryptedPackage(const std::vector<PlainEntry>& entries, const std::vector<ZipEntry>& extra = {})
    {
        ArchiveSecrets secrets = drawArchiveSecrets();
        EntryEncryptor encryptor(secrets);
        ZipWriter zip;
        for (const PlainEntry& e : entries)
            zip.add(encryptedZipEntry(encryptor, e.name, e.data, e.method));
        for (const ZipEntry& e : extra)
            zip.add(e);
        TrailerBuilder trailer;
        trailer.text(kTitle, kNeutral, "Encrypted").cipherHeader(makeCipherHeader(kPassword, secrets));
        Bytes package = assemblePackage(FakeProgramImage(), zip.build(), trailer);

        file_ = SysFileOpenRead(dir_.write("package.exe", package).c_str());
        EXPECT_NE(file_, SYS_FILE_INVALID);
        ResetSettings(&settings);
        const uint8_t* block = nullptr;
        uint32_t blockLength = 0;
        EXPECT_EQ(ReadTrailer(file_, LANGUAGE_ENGLISH, &settings, &block, &blockLength), TRAILER_OK);
        block_ = OwnTrailerBlock(block);
        EXPECT_EQ(settings.passwordAccepted, 0);
    }
    ~EncryptedPackage()
    {
        readers_.clear();
        SysFileClose(file_);
    }

    int Verify(const std::string& password)
    {
        return VerifyPassword(&settings, (const uint8_t*)password.data(), (uint32_t)password.size());
    }

    ArchiveReader* Open()
    {
        ArchiveReader* reader = ArchiveOpen(file_, settings.archiveOffset, settings.archiveSize, &ProcessArchiveData);
        EXPECT_NE(reader, nullptr);
        readers_.emplace_back(reader);
        return reader;
    }

    // The same through a cipher and chain of this package's own, as a host
    // tool keeps them, instead of the process-wide ones.
    int VerifyOwn(const std::string& password)
    {
        return VerifyPasswordInto(&settings, (const uint8_t*)password.data(), (uint32_t)password.size(), &cipher_,
                                  ivStart_);
    }

    ArchiveReader* OpenOwn()
    {
        ArchiveReader* reader = ArchiveOpen(file_, settings.archiveOffset, settings.archiveSize, &own_);
        EXPECT_NE(reader, nullptr);
        readers_.emplace_back(reader);
        return reader;
    }

    SfxSettingsRecord settings;

  private:
    CipherState state_{};
    CipherState* cipher_ = &state_;
    uint8_t ivStart_[CIPHER_BLOCK_SIZE] = {};
    uint8_t iv_[CIPHER_BLOCK_SIZE] = {};
    ArchiveDataSource own_ = {&cipher_, ivStart_, iv_};
    TempDir dir_;
    TrailerBlock block_;
    std::vector<ArchiveHandle> readers_;
    SysFile file_ = SYS_FILE_INVALID;
};

class EncryptedArchiveTest : public testing::Test {
  protected:
    void SetUp() override { ResetCryptoState(); }
    void TearDown() override { ResetCryptoState(); }
};

// Reads every entry as the extraction worker does and compares it.
void ExpectEntriesReadBack(ArchiveReader* reader, const std::vector<PlainEntry>& entries, uint32_t pieceSize)
{
    ASSERT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK);
    for (size_t i = 0; i < entries.size(); i++) {
        SCOPED_TRACE(entries[i].name);
        if (i > 0) {
            ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
        }
        EntryContent content = ReadCurrentEntryWhole(reader, pieceSize);
        ASSERT_EQ(content.openResult, ARCHIVE_OK);
        EXPECT_EQ(content.readResult, 0);
        EXPECT_EQ(content.closeResult, ARCHIVE_OK);
        EXPECT_TRUE(content.data == entries[i].data) << "size " << content.data.size() << " of "
                                                     << entries[i].data.size();
    }
}

TEST_F(EncryptedArchiveTest, EntriesAroundBlockAndChunkEdgesReadBackExactly)
{
    std::vector<PlainEntry> entries;
    const size_t sizes[] = {0, 1, 7, 8, 9, 16383, 16384, 16385, 3 * 1024 * 1024 + 5};
    for (ZipMethod method : {ZipMethod::kStored, ZipMethod::kDeflated}) {
        for (size_t size : sizes) {
            std::string name = (method == ZipMethod::kStored ? "stored-" : "deflated-") + std::to_string(size);
            // Random data keep deflated sizes near the edges too; mixed data
            // give a deflate stream much shorter than its output.
            entries.push_back({name, NoiseBytes(size, (unsigned)size), method});
        }
    }
    entries.push_back({"mixed", MixedBytes(2 * 1024 * 1024 + 3, 9), ZipMethod::kDeflated});

    EncryptedPackage package(entries);
    ASSERT_EQ(package.Verify(kPassword), PASSWORD_ACCEPTED);
    ArchiveReader* reader = package.Open();
    ASSERT_NE(reader, nullptr);
    // The worker's piece size, and one that splits chunks unevenly.
    for (uint32_t pieceSize : {131072u, 5000u}) {
        SCOPED_TRACE(pieceSize);
        ExpectEntriesReadBack(reader, entries, pieceSize);
    }
}

TEST_F(EncryptedArchiveTest, SecondEntryDecryptsWhetherOrNotTheFirstWasFinished)
{
    std::vector<PlainEntry> entries = {{"first", NoiseBytes(40000, 1), ZipMethod::kStored},
                                       {"second", NoiseBytes(30000, 2), ZipMethod::kDeflated}};
    EncryptedPackage package(entries);
    ASSERT_EQ(package.Verify(kPassword), PASSWORD_ACCEPTED);
    ArchiveReader* reader = package.Open();
    ASSERT_NE(reader, nullptr);

    for (uint32_t readOfFirst : {0u, 100u, 20000u, 40000u}) {
        SCOPED_TRACE(readOfFirst);
        ASSERT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK);
        ASSERT_EQ(EntryOpen(reader), ARCHIVE_OK);
        Bytes part(readOfFirst + 1);
        uint32_t done = 0;
        while (done < readOfFirst) {
            int32_t n = EntryRead(reader, part.data() + done, readOfFirst - done);
            ASSERT_GT(n, 0);
            done += (uint32_t)n;
        }
        EXPECT_EQ(0, std::memcmp(part.data(), entries[0].data.data(), readOfFirst));
        // The second open closes the first, whatever state it was left in.
        ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);
        EntryContent second = ReadCurrentEntryWhole(reader);
        ASSERT_EQ(second.openResult, ARCHIVE_OK);
        EXPECT_EQ(second.closeResult, ARCHIVE_OK);
        EXPECT_TRUE(second.data == entries[1].data);
    }
}

TEST_F(EncryptedArchiveTest, WrongPasswordThenRightThenAnotherCallLeavesReadingIntact)
{
    std::vector<PlainEntry> entries = {{"a.txt", MixedBytes(70000, 3), ZipMethod::kDeflated},
                                       {"b.bin", NoiseBytes(16385, 4), ZipMethod::kStored}};
    EncryptedPackage package(entries);
    EXPECT_EQ(package.Verify("schluessel 2024"), PASSWORD_REFUSED);
    EXPECT_EQ(package.settings.passwordAccepted, 0);
    EXPECT_EQ(package.Verify(kPassword), PASSWORD_ACCEPTED);
    EXPECT_EQ(package.settings.passwordAccepted, 1);
    // A further call, even with the wrong password, must not disturb the key.
    EXPECT_EQ(package.Verify("wrong"), PASSWORD_REFUSED);
    EXPECT_EQ(package.Verify(kPassword), PASSWORD_REFUSED);
    EXPECT_EQ(package.settings.passwordAccepted, 1);

    ArchiveReader* reader = package.Open();
    ASSERT_NE(reader, nullptr);
    ExpectEntriesReadBack(reader, entries, 131072);
}

TEST_F(EncryptedArchiveTest, EntryWhoseSizeIsNotWholeBlocksIsRefusedAtOpen)
{
    // Stored data of 13 bytes cannot be the encryption of anything.
    Bytes odd = NoiseBytes(13, 5);
    std::vector<PlainEntry> entries = {{"good", NoiseBytes(100, 6), ZipMethod::kStored}};
    EncryptedPackage package(entries, {ZipEntry::prepared("odd", ZipMethod::kStored, odd, crc32Of(odd), 13)});
    ArchiveReader* reader = package.Open();
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK);
    ASSERT_EQ(ArchiveNextEntry(reader), ARCHIVE_OK);

    // Before the password the archive is read as plain data, so the size
    // is no concern of the reader's yet.
    EXPECT_EQ(EntryOpen(reader), ARCHIVE_OK);
    EXPECT_EQ(EntryClose(reader), ARCHIVE_OK);

    ASSERT_EQ(package.Verify(kPassword), PASSWORD_ACCEPTED);
    EXPECT_EQ(EntryOpen(reader), ARCHIVE_BAD_FORMAT);
    EXPECT_EQ(reader->openEntry, nullptr);
    EXPECT_EQ(EntryRead(reader, odd.data(), 13), ARCHIVE_BAD_PARAMETER);

    ASSERT_EQ(ArchiveFirstEntry(reader), ARCHIVE_OK);
    EntryContent good = ReadCurrentEntryWhole(reader);
    EXPECT_EQ(good.closeResult, ARCHIVE_OK);
    EXPECT_TRUE(good.data == entries[0].data);
}

TEST_F(EncryptedArchiveTest, TwoPackagesWithSourcesOfTheirOwnReadSideBySide)
{
    // Each package draws its own key and first chaining value.
    std::vector<PlainEntry> first = {{"a", NoiseBytes(50000, 11), ZipMethod::kStored},
                                     {"b", MixedBytes(60000, 12), ZipMethod::kDeflated}};
    std::vector<PlainEntry> second = {{"c", MixedBytes(70000, 13), ZipMethod::kDeflated}};
    EncryptedPackage one(first);
    EncryptedPackage two(second);
    ASSERT_EQ(one.VerifyOwn(kPassword), PASSWORD_ACCEPTED);
    ArchiveReader* readerOne = one.OpenOwn();
    ASSERT_NE(readerOne, nullptr);
    // Keyed after the first reader exists: the source points, it does not copy.
    ASSERT_EQ(two.VerifyOwn(kPassword), PASSWORD_ACCEPTED);
    ArchiveReader* readerTwo = two.OpenOwn();
    ASSERT_NE(readerTwo, nullptr);

    // Half an entry of one, a whole entry of the other, then the first
    // package's entries whole: neither chain may disturb the other.
    ASSERT_EQ(ArchiveFirstEntry(readerOne), ARCHIVE_OK);
    ASSERT_EQ(EntryOpen(readerOne), ARCHIVE_OK);
    Bytes part(20000);
    ASSERT_EQ(EntryRead(readerOne, part.data(), (uint32_t)part.size()), (int32_t)part.size());
    EXPECT_EQ(0, std::memcmp(part.data(), first[0].data.data(), part.size()));
    ExpectEntriesReadBack(readerTwo, second, 5000);
    ExpectEntriesReadBack(readerOne, first, 131072);
    EXPECT_EQ(ActiveCipher, nullptr) << "the process-wide cipher is not theirs";
}

}  // namespace
