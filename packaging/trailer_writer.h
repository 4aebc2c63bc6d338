// Writing configuration trailers and putting packages together: the stub, the
// archive, the trailer records, the footer and an optional tail. Used by the
// packer and by the tests, which also need trailers that are wrong on purpose.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace packaging {

using Bytes = std::vector<std::uint8_t>;

enum Language : std::uint16_t { kNeutral = 0, kGerman = 7, kEnglish = 9 };

enum RecordType : std::uint16_t {
    kArchiveRecord = 1, kTitle = 2, kIntroText = 3, kIntroLink = 4, kFinishText = 5,
    kFinishButton = 6, kFlagsRecord = 7, kCommand1 = 8, kFolderTemplate = 9, kExitText = 10,
    kExitButton = 11, kCommand2 = 12, kDeleteList = 13, kCipherHeaderRecord = 14,
};

constexpr std::size_t kFooterSize = 12;
constexpr std::size_t kCipherHeaderSize = 52;
constexpr std::size_t kMaxRecordSize = 0xFFFF;
constexpr std::size_t kMaxTextLength = kMaxRecordSize - 9;

// A limit of the package format was exceeded; the message says which.
class FormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Collects trailer records in the order they are added.
class TrailerBuilder {
  public:
    TrailerBuilder& archive(std::uint32_t offset, std::uint32_t size);
    TrailerBuilder& text(RecordType type, std::uint16_t language, std::string_view text);
    TrailerBuilder& flags(std::uint32_t mask, std::uint32_t values);
    TrailerBuilder& cipherHeader(const Bytes& header52);
    // Appends bytes as they stand, for records the other calls cannot make.
    TrailerBuilder& raw(const Bytes& record);

    const Bytes& records() const { return records_; }
    // The records followed by a footer whose length covers them.
    Bytes build() const;

  private:
    Bytes records_;
};

Bytes makeFooter(std::uint32_t trailerLength);
void appendU16(Bytes& out, std::uint16_t value);
void appendU32(Bytes& out, std::uint32_t value);

// stub, archive, an archive record telling where the archive lies, the other
// records, the footer, then tail. Throws FormatError past the format's limits.
Bytes assemblePackage(const Bytes& stub, const Bytes& archive, const TrailerBuilder& trailer,
                      const Bytes& tail = {});

Bytes readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const Bytes& bytes);

}  // namespace packaging
