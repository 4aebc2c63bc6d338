#include "archive_package.h"

#include <gtest/gtest.h>

#include "archive/archive_reader_state.h"
#include "archive/entry_reader.h"
#include "crypto/crypto_state.h"
#include "support/package_assembly.h"

using namespace packaging;

Bytes FakeProgramImage(std::size_t size)
{
    Bytes image(size, 0x90);
    image[0] = 'M';
    image[1] = 'Z';
    return image;
}

OpenedArchive::OpenedArchive(const Bytes& fileBytes, std::uint32_t archiveOffset, std::uint32_t archiveSize)
    : bytes_(fileBytes)
{
    path_ = dir_.write("package.exe", fileBytes);
    file_ = SysFileOpenRead(path_.c_str());
    EXPECT_NE(file_, SYS_FILE_INVALID);
    reader_ = ArchiveOpen(file_, archiveOffset, archiveSize, &ProcessArchiveData);
}

OpenedArchive::~OpenedArchive()
{
    ArchiveClose(reader_);
    SysFileClose(file_);
    SysFileClose(truncated_);
}

void OpenedArchive::truncateTo(std::size_t length)
{
    ASSERT_NE(reader_, nullptr);
    ASSERT_LE(length, bytes_.size());
    Bytes cut(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(length));
    std::string cutPath = dir_.write("truncated.exe", cut);
    SysFileClose(truncated_);
    truncated_ = SysFileOpenRead(cutPath.c_str());
    ASSERT_NE(truncated_, SYS_FILE_INVALID);
    reader_->file = truncated_;
    if (reader_->openEntry)
        reader_->openEntry->file = truncated_;
}

std::uint32_t PackageArchiveOffset()
{
    return static_cast<std::uint32_t>(FakeProgramImage().size());
}

std::unique_ptr<OpenedArchive> OpenInPackage(const Bytes& archive)
{
    TrailerBuilder trailer;
    trailer.text(kTitle, kNeutral, "Archive test");
    Bytes package = assemblePackage(FakeProgramImage(), archive, trailer);
    return std::make_unique<OpenedArchive>(package, PackageArchiveOffset(), static_cast<std::uint32_t>(archive.size()));
}

EntryContent ReadCurrentEntryWhole(ArchiveReader* reader, std::uint32_t pieceSize)
{
    EntryContent content;
    content.openResult = EntryOpen(reader);
    if (content.openResult != ARCHIVE_OK)
        return content;
    Bytes piece(pieceSize);
    for (;;) {
        int32_t n = EntryRead(reader, piece.data(), pieceSize);
        if (n <= 0) {
            content.readResult = n;
            break;
        }
        if (static_cast<std::uint32_t>(n) > pieceSize) {
            ADD_FAILURE() << "EntryRead returned " << n << " for a piece of " << pieceSize;
            break;
        }
        content.data.insert(content.data.end(), piece.begin(), piece.begin() + n);
    }
    content.closeResult = EntryClose(reader);
    return content;
}

void PutU16(Bytes& bytes, std::size_t offset, std::uint16_t value)
{
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    PutU16(bytes, offset, static_cast<std::uint16_t>(value));
    PutU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}
