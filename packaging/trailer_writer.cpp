// Trailer records and package assembly; the layout mirrors what the stub reads.
#include "trailer_writer.h"


namespace packaging {

void appendU16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendU32(Bytes& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

static void appendRecordHeader(Bytes& out, std::size_t size, RecordType type)
{
    if (size > kMaxRecordSize)
        throw FormatError("trailer record of type " + std::to_string(type) + " is " +
                          std::to_string(size) + " bytes; a record holds at most 65535");
    appendU16(out, static_cast<std::uint16_t>(size));
    appendU16(out, type);
}

TrailerBuilder& TrailerBuilder::archive(std::uint32_t offset, std::uint32_t size)
{
    appendRecordHeader(records_, ARCHIVE_RECORD_SIZE, kArchiveRecord);
    appendU32(records_, offset);
    appendU32(records_, size);
    return *this;
}

TrailerBuilder& TrailerBuilder::text(RecordType type, std::uint16_t language, std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        throw FormatError("a text of record type " + std::to_string(type) + " contains a zero byte");
    if (text.size() > kMaxTextLength)
        throw FormatError("text of record type " + std::to_string(type) + " is " +
                          std::to_string(text.size()) + " bytes; at most " +
                          std::to_string(kMaxTextLength) + " fit in a record");
    appendRecordHeader(records_, TRAILER_TEXT_HEADER_SIZE + text.size() + 1, type);
    appendU16(records_, language);
    appendU16(records_, static_cast<std::uint16_t>(text.size()));
    records_.insert(records_.end(), text.begin(), text.end());
    records_.push_back(0);
    return *this;
}

TrailerBuilder& TrailerBuilder::flags(std::uint32_t mask, std::uint32_t values)
{
    appendRecordHeader(records_, FLAGS_RECORD_SIZE, kFlagsRecord);
    appendU32(records_, mask);
    appendU32(records_, values);
    return *this;
}

TrailerBuilder& TrailerBuilder::cipherHeader(const Bytes& header52)
{
    if (header52.size() != kCipherHeaderSize)
        throw FormatError("a cipher header is " + std::to_string(kCipherHeaderSize) + " bytes");
    Bytes record = header52;
    // The header's own first four bytes are its record header.
    record[0] = kCipherHeaderSize;
    record[1] = 0;
    record[2] = kCipherHeaderRecord;
    record[3] = 0;
    return raw(record);
}

TrailerBuilder& TrailerBuilder::raw(const Bytes& record)
{
    records_.insert(records_.end(), record.begin(), record.end());
    return *this;
}

Bytes makeFooter(std::uint32_t trailerLength)
{
    Bytes footer;
    appendU16(footer, kFooterSize);
    appendU16(footer, 0);
    appendU32(footer, trailerLength);
    footer.insert(footer.end(), TRAILER_FOOTER_MAGIC);
    return footer;
}

Bytes TrailerBuilder::build() const
{
    Bytes out = records_;
    std::size_t length = records_.size() + kFooterSize;
    if (length > 0xFFFFFFFFu)
        throw FormatError("trailer too large");
    Bytes footer = makeFooter(static_cast<std::uint32_t>(length));
    out.insert(out.end(), footer.begin(), footer.end());
    return out;
}

}  // namespace packaging
