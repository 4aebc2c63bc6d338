// Writing configuration trailers and putting packages together: the stub, the
// archive, the trailer records, the footer and an optional tail. Used by the
// packer and by the tests, which also need trailers that are wrong on purpose.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "startup/package_format.h"

namespace packaging {

using Bytes = std::vector<std::uint8_t>;

// The names of package_format.h as the C++ writers spell them.
enum Language : std::uint16_t { kNeutral = LANGUAGE_NEUTRAL, kGerman = LANGUAGE_GERMAN, kEnglish = LANGUAGE_ENGLISH };

enum RecordType : std::uint16_t {
    kArchiveRecord = RECORD_ARCHIVE,       kTitle = RECORD_TITLE,
    kIntroText = RECORD_INTRO_TEXT,        kIntroLink = RECORD_INTRO_LINK,
    kFinishText = RECORD_FINISH_TEXT,      kFinishButton = RECORD_FINISH_BUTTON,
    kFlagsRecord = RECORD_FLAGS,           kCommand1 = RECORD_COMMAND1,
    kFolderTemplate = RECORD_FOLDER_TEMPLATE, kExitText = RECORD_EXIT_TEXT,
    kExitButton = RECORD_EXIT_BUTTON,      kCommand2 = RECORD_COMMAND2,
    kDeleteList = RECORD_DELETE_LIST,      kCipherHeaderRecord = RECORD_CIPHER_HEADER,
};

constexpr std::size_t kFooterSize = TRAILER_FOOTER_SIZE;
constexpr std::size_t kCipherHeaderSize = CIPHER_HEADER_SIZE;
constexpr std::size_t kArchiveRecordSize = ARCHIVE_RECORD_SIZE;
constexpr std::size_t kMaxRecordSize = TRAILER_MAX_RECORD_SIZE;
constexpr std::size_t kMaxTextLength = kMaxRecordSize - TRAILER_TEXT_HEADER_SIZE - 1;

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

}  // namespace packaging
