// Opening a finished package the way the stub opens itself: the trailer by
// its footer, the records, the archive by record 1, entries through the
// stub's own readers, and the password through its own check.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "crypto/archive_data.h"
#include "crypto/cipher.h"
#include "file_system.h"
#include "packaging/trailer_writer.h"
#include "password_input.h"
#include "startup/settings.h"

namespace packer {

struct RecordView {
    std::uint64_t offset = 0;     // in the file
    std::uint16_t size = 0;
    std::uint16_t type = 0;
    bool isText = false;
    std::uint16_t language = 0;   // text records
    std::string text;             // text records: the bytes as stored
    std::uint32_t first = 0;      // archive record: offset; flags record: mask
    std::uint32_t second = 0;     // archive record: size; flags record: values
};

struct PackageEntry {
    ArchiveEntryInfo info{};
    std::string name;             // the bytes the archive holds
    std::string utf8Name;         // as the stub writes it, in UTF-8; bytes it cannot map as \xNN
    std::string shownName;        // utf8Name with its control characters escaped, for messages
    bool directory = false;
    // The folders and the file of utf8Name, as Windows splits it: at both
    // separators, empty and "." names dropped.
    std::vector<std::string> components;
    std::string problem;          // why the stub would refuse it; empty when fine
    // An earlier entry this one meets on Windows: the same name (the stub
    // writes this one over it), or a file where this one needs a folder.
    // Empty when there is none.
    std::string clash;
};

class OpenedPackage {
  public:
    // Reads the trailer. Throws PackerError when the file cannot be opened,
    // has no footer, or its records do not walk to the footer.
    explicit OpenedPackage(const fs::path& path);
    ~OpenedPackage();
    OpenedPackage(const OpenedPackage&) = delete;
    OpenedPackage& operator=(const OpenedPackage&) = delete;

    // The package's path for messages, control characters escaped.
    const std::string& name() const { return name_; }
    std::uint64_t fileSize() const { return fileSize_; }
    std::uint64_t trailerStart() const { return trailerStart_; }
    std::uint32_t trailerLength() const { return trailerLength_; }
    std::uint64_t trailerEnd() const { return trailerStart_ + trailerLength_; }
    std::uint64_t tailSize() const { return fileSize_ - trailerEnd(); }
    // A signed package's certificate table, which follows its trailer (and
    // the zeros that align it); size 0 when the package is not signed. The
    // size is what the program header says, which the signature does not
    // cover.
    std::uint32_t signatureOffset() const { return signatureOffset_; }
    std::uint32_t signatureSize() const { return signatureSize_; }
    // Where the signature itself ends (its certificate's own structure,
    // aligned as signing tools write it); what follows up to the end of the
    // file is covered by no signature, and the stub never reads it.
    std::uint64_t signatureEnd() const { return signatureEnd_; }
    std::uint64_t bytesAfterSignature() const { return signatureSize_ > 0 ? fileSize_ - signatureEnd_ : 0; }
    const std::vector<RecordView>& records() const { return records_; }
    // Settings as an English system reads them (the flags, the archive
    // record and the cipher header do not depend on the language).
    const SfxSettingsRecord& settings() const { return settings_; }
    bool encrypted() const { return settings_.cipherHeaderPresent != 0; }
    bool hasArchiveRecord() const;

    // The program the package starts with: the bytes before its archive
    // (before the trailer when it has no archive record), at most
    // kMaxProgramSize of them. Throws PackerError when they cannot be read.
    packaging::Bytes readProgram();
    static constexpr std::uint64_t kMaxProgramSize = 64 << 20;

    // Opens the archive and reads its directory. Throws PackerError when
    // record 1 is missing or the archive cannot be read.
    void openArchive();
    ArchiveReader* archive() const { return archive_; }
    const std::vector<PackageEntry>& entries() const { return entries_; }

    // Checks the password and keys this package's own cipher with the
    // archive key for as long as the package is open. Throws PackerError for a wrong
    // password. A password given for a plain package is a likely mistake
    // (the wrong package?) and draws a warning.
    void unlock(const PasswordSource& source);

    // Reads entry `index` whole, handing its data to sink in pieces. Returns
    // an empty text, or why the entry cannot be read (damaged data, a CRC
    // that does not match).
    template <typename Sink>
    std::string readEntry(std::size_t index, Sink&& sink);

  private:
    std::string openEntry(std::size_t index);
    std::int32_t readPiece();
    std::string closeEntry();

    std::string name_;
    SysFileHolder file_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t trailerStart_ = 0;
    std::uint32_t trailerLength_ = 0;
    std::uint32_t signatureOffset_ = 0;
    std::uint32_t signatureSize_ = 0;
    std::uint64_t signatureEnd_ = 0;
    SfxSettingsRecord settings_{};
    // The trailer's record block, which the settings' texts point into.
    struct SysFreeBlock {
        void operator()(const std::uint8_t* block) const { SysFree(const_cast<std::uint8_t*>(block)); }
    };
    std::unique_ptr<const std::uint8_t, SysFreeBlock> trailerBlock_;
    std::vector<RecordView> records_;
    ArchiveReader* archive_ = nullptr;
    std::vector<PackageEntry> entries_;
    // The package's own cipher and chaining values, through which its
    // archive reader decrypts; another package open at the same time keeps
    // its own. cipher_ stays null until unlock, so that data read before it
    // are read plainly, as the stub reads them.
    std::unique_ptr<CipherState> cipherStorage_;
    CipherState* cipher_ = nullptr;
    std::uint8_t entryIvStart_[CIPHER_BLOCK_SIZE] = {};
    std::uint8_t entryIv_[CIPHER_BLOCK_SIZE] = {};
    ArchiveDataSource dataSource_ = {&cipher_, entryIvStart_, entryIv_};
    std::vector<std::uint8_t> buffer_;
};

template <typename Sink>
std::string OpenedPackage::readEntry(std::size_t index, Sink&& sink)
{
    std::string problem = openEntry(index);
    if (!problem.empty())
        return problem;
    std::uint64_t produced = 0;
    for (;;) {
        std::int32_t n = readPiece();
        if (n < 0) {
            closeEntry();
            std::string suffix = encrypted() ? " (or encrypted differently)" : "";
            if (n == ARCHIVE_BAD_FORMAT)
                return "its data do not end where the directory's sizes say" + suffix;
            return "the entry's data are damaged" + suffix;
        }
        if (n == 0)
            break;
        produced += static_cast<std::uint64_t>(n);
        sink(buffer_.data(), static_cast<std::size_t>(n));
    }
    problem = closeEntry();
    // A deflate stream that ends early ends the entry without a CRC verdict.
    if (problem.empty() && produced != entries_[index].info.uncompressedSize)
        problem = "its data end after " + std::to_string(produced) + " of " +
                  std::to_string(entries_[index].info.uncompressedSize) + " bytes";
    return problem;
}

// Names of record types and languages, for listings.
const char* RecordTypeName(std::uint16_t type);
const char* LanguageName(std::uint16_t language);

}  // namespace packer
