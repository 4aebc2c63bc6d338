// Archives inside package files for the reader tests: writes the bytes into a
// fresh folder, opens the file and the archive the way the stub does, and
// reads entries back whole.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_reader.h"
#include "support/zip_builder.h"
#include "support/temp_path.h"
#include "support/test_bytes.h"

// A stand-in for the program image in front of the archive.
packaging::Bytes FakeProgramImage(std::size_t size = 5000);

class OpenedArchive {
  public:
    // Opens file bytes with the archive said to lie at archiveOffset, size
    // bytes long. reader() is null when ArchiveOpen refused.
    OpenedArchive(const packaging::Bytes& fileBytes, std::uint32_t archiveOffset, std::uint32_t archiveSize);
    ~OpenedArchive();
    OpenedArchive(const OpenedArchive&) = delete;
    OpenedArchive& operator=(const OpenedArchive&) = delete;

    ArchiveReader* reader() const { return reader_; }
    const std::string& path() const { return path_; }
    // Points the reader at a copy of the file cut after length bytes, as if
    // the package had ended there; the reader keeps every other state.
    void truncateTo(std::size_t length);

  private:
    TempDir dir_;
    std::string path_;
    packaging::Bytes bytes_;
    SysFile file_ = SYS_FILE_INVALID;
    SysFile truncated_ = SYS_FILE_INVALID;
    ArchiveReader* reader_ = nullptr;
};

// The archive behind FakeProgramImage() with a trailer after it, opened
// with the offset and size the trailer gives.
std::unique_ptr<OpenedArchive> OpenInPackage(const packaging::Bytes& archive);
// Offset of the archive in packages made by OpenInPackage.
std::uint32_t PackageArchiveOffset();

struct EntryContent {
    int openResult = ARCHIVE_OK;
    int readResult = 0;           // the last EntryRead result: 0 or negative
    packaging::Bytes data;
    int closeResult = ARCHIVE_OK;
};

// Opens the current entry and reads it to its end (or to the first error)
// in pieces of pieceSize, then closes it.
EntryContent ReadCurrentEntryWhole(ArchiveReader* reader, std::uint32_t pieceSize = 131072);

// Overwrites little-endian fields of built archives.
void PutU16(packaging::Bytes& bytes, std::size_t offset, std::uint16_t value);
void PutU32(packaging::Bytes& bytes, std::size_t offset, std::uint32_t value);
