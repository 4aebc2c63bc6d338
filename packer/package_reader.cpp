// Reading packages through the stub's trailer, archive and cipher code.
#include "package_reader.h"

#include <algorithm>

#include "platform/byte_order.h"

#include "archive/entry_reader.h"
#include "crypto/password_check.h"
#include "crypto/secure_wipe.h"
#include "extract/path_helpers.h"
#include "notes.h"
#include "packer_error.h"
#include "source_entries.h"
#include "startup/trailer.h"
#include "text_encoding.h"

namespace packer {

namespace {

// The stub's name buffer: MAX_PATH bytes, the zero included.
constexpr std::uint32_t kStubNameBufferSize = 260;
constexpr std::uint32_t kReadPieceSize = 131072;

// What the stub refuses in a name, said as what it is: a control
// character by its code, ".." and ":" as ways out of the folder. Empty when
// the name is safe.
std::string UnsafeNameProblem(const PackageEntry& entry)
{
    if (std::optional<char32_t> control = FirstNameControl(entry.utf8Name))
        return "its name contains the control character " + DescribeCharacter(*control);
    switch (CheckEntryName(entry.name.c_str())) {
    case NAME_SAFE: return {};
    case NAME_PARENT_COMPONENT: return "its name would lead out of the extraction folder through \"..\"";
    case NAME_COLON: return "its name would lead out of the extraction folder through a drive or a data stream (\":\")";
    case NAME_DEVICE: return "its name names a device on Windows (CON, NUL, COM1 ...)";
    case NAME_TRAILING_DOT_OR_SPACE:
        return "its name ends in a dot or space, which Windows drops: it would name another file";
    default: return "its name contains a control character";
    }
}

std::vector<std::string> PathComponents(const std::string& utf8Name)
{
    std::vector<std::string> components;
    std::string current;
    for (char c : utf8Name + "/") {
        if (IsPathSeparator(c)) {
            if (!current.empty() && current != ".")
                components.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return components;
}

// Marks each entry that meets an earlier one on Windows; entries the stub
// refuses anyway are left out. Two folder entries of one name are no
// problem: the stub writes no folder twice.
void FindClashes(std::vector<PackageEntry>& entries)
{
    std::vector<std::size_t> compared;
    std::vector<ComparedName> names;
    for (std::size_t i = 0; i < entries.size(); i++) {
        if (!entries[i].problem.empty())
            continue;
        std::string joined;
        for (const std::string& component : entries[i].components)
            joined += (joined.empty() ? "" : "/") + component;
        compared.push_back(i);
        names.push_back({FoldEntryName(joined), entries[i].directory});
    }
    for (const NameClash& clash : FindNameClashes(names)) {
        PackageEntry& entry = entries[compared[clash.entry]];
        const PackageEntry& other = entries[compared[clash.other]];
        if (!entry.clash.empty() || (entry.directory && other.directory))
            continue;
        if (clash.belowFile)
            entry.clash = "needs a folder where the file " + other.shownName + " is";
        else
            entry.clash = "the same name on Windows as " + other.shownName + ": the stub writes one over the other";
    }
}

// A certificate in the table: its length (u32), revision (u16) and type
// (u16), then for Authenticode a PKCS#7 structure in DER, whose first bytes
// are a SEQUENCE tag and a length of at most 4 bytes.
constexpr std::uint32_t kCertificateHeaderSize = 8;
constexpr std::uint16_t kCertificateTypePkcsSignedData = 0x0002;
constexpr std::uint8_t kDerSequenceTag = 0x30;
constexpr std::uint32_t kDerLongLengthMaxBytes = 4;
constexpr std::uint32_t kSignatureStartRead = kCertificateHeaderSize + 2 + kDerLongLengthMaxBytes;
constexpr std::uint64_t kCertificateAlignment = CERTIFICATE_TABLE_ALIGNMENT;

// The size of a DER element from its tag and length bytes, or 0 when they
// give none (an indefinite or overlong length).
std::uint64_t DerElementSize(const std::uint8_t* bytes)
{
    std::uint32_t first = bytes[1];
    if (first < 0x80)
        return 2 + first;
    std::uint32_t count = first & 0x7F;
    if (count == 0 || count > kDerLongLengthMaxBytes)
        return 0;
    std::uint64_t length = 0;
    for (std::uint32_t i = 0; i < count; i++)
        length = (length << 8) | bytes[2 + i];
    return 2 + count + length;
}

// Where the signature in a certificate table ends. Neither the table's size
// in the program header nor the certificate's own length is covered by the
// signature, so both can be grown to hide bytes; the PKCS#7 structure's DER
// length is part of what was signed. Only that outer length is read, too
// little to bring in an ASN.1 parser for. A certificate of another kind
// ends where the header's size says.
std::uint64_t FindSignatureEnd(SysFile file, std::uint32_t tableOffset, std::uint32_t tableSize,
                               std::uint64_t fileSize)
{
    std::uint64_t byHeader = std::min<std::uint64_t>(static_cast<std::uint64_t>(tableOffset) + tableSize, fileSize);
    std::uint8_t start[kSignatureStartRead];
    if (static_cast<std::uint64_t>(tableOffset) + sizeof start > fileSize ||
        SysFileSeekTo(file, tableOffset) != 0 || SysFileReadExact(file, start, sizeof start) != 0)
        return byHeader;
    if (ReadU16Le(start + 6) != kCertificateTypePkcsSignedData || start[kCertificateHeaderSize] != kDerSequenceTag)
        return byHeader;
    std::uint64_t element = DerElementSize(start + kCertificateHeaderSize);
    if (element == 0)
        return byHeader;
    std::uint64_t used = kCertificateHeaderSize + element;
    used = (used + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
    return std::min(tableOffset + used, fileSize);
}

}  // namespace

const char* RecordTypeName(std::uint16_t type)
{
    switch (type) {
    case RECORD_ARCHIVE: return "archive";
    case RECORD_TITLE: return "title";
    case RECORD_INTRO_TEXT: return "intro_text";
    case RECORD_INTRO_LINK: return "intro_link";
    case RECORD_FINISH_TEXT: return "finish_text";
    case RECORD_FINISH_BUTTON: return "finish_button";
    case RECORD_FLAGS: return "flags";
    case RECORD_COMMAND1: return "command1";
    case RECORD_FOLDER_TEMPLATE: return "folder_template";
    case RECORD_EXIT_TEXT: return "exit_text";
    case RECORD_EXIT_BUTTON: return "exit_button";
    case RECORD_COMMAND2: return "command2";
    case RECORD_DELETE_LIST: return "delete_list";
    case RECORD_CIPHER_HEADER: return "cipher_header";
    default: return "unknown";
    }
}

const char* LanguageName(std::uint16_t language)
{
    switch (language) {
    case LANGUAGE_NEUTRAL: return "neutral";
    case LANGUAGE_GERMAN: return "german";
    case LANGUAGE_ENGLISH: return "english";
    default: return "other";
    }
}

OpenedPackage::OpenedPackage(const fs::path& path)
    : name_(ShownPath(path)), file_(OpenSysFile(path))
{
    if (!file_.valid())
        throw PackerError("cannot open " + name_ + ": " + LastSystemError());
#ifndef _WIN32
    SysFileBufferReads(file_.get());
#endif
    int64_t size = SysFileSeek(file_.get(), 0, SYS_SEEK_END);
    if (size < 0)
        throw PackerError("cannot read " + name_);
    fileSize_ = static_cast<std::uint64_t>(size);

    if (FindCertificateTable(file_.get(), size, &signatureOffset_, &signatureSize_) != 0)
        signatureOffset_ = signatureSize_ = 0;
    std::uint8_t footer[TRAILER_FOOTER_SIZE];
    int64_t trailerEnd = FindTrailerFooter(file_.get(), footer);
    if (trailerEnd < 0 && signatureSize_ > 0)
        throw PackerError(name_ + ": no trailer right before its signature at offset " +
                          std::to_string(signatureOffset_) +
                          ": not a package, or it was signed with something after its trailer");
    if (trailerEnd < 0)
        throw PackerError(name_ + ": no trailer found: not a package, or its end is damaged");
    const uint8_t* block = nullptr;
    uint32_t length = 0;
    ResetSettings(&settings_);
    int result = ReadTrailerBefore(file_.get(), trailerEnd, footer, LANGUAGE_ENGLISH, &settings_, &block, &length);
    trailerBlock_.reset(block);
    if (result == TRAILER_NO_MEMORY)
        throw PackerError(name_ + ": the trailer is too large to read");
    if (result != TRAILER_OK)
        throw PackerError(name_ + ": the trailer is damaged: its records do not lead to its footer");
    trailerLength_ = length;
    trailerStart_ = static_cast<std::uint64_t>(trailerEnd) - length;
    if (signatureSize_ > 0)
        signatureEnd_ = FindSignatureEnd(file_.get(), signatureOffset_, signatureSize_, fileSize_);

    // ReadTrailer has walked the records already; this walk only lists them.
    for (std::uint32_t position = 0; position < length - TRAILER_FOOTER_SIZE;) {
        const std::uint8_t* record = block + position;
        std::uint32_t recordSize = CheckTrailerRecord(record, length - TRAILER_FOOTER_SIZE - position);
        RecordView view;
        view.offset = trailerStart_ + position;
        view.size = static_cast<std::uint16_t>(recordSize);
        view.type = ReadU16Le(record + 2);
        if (IsTextRecordType(view.type)) {
            view.isText = true;
            view.language = ReadU16Le(record + 4);
            view.text = reinterpret_cast<const char*>(record + TRAILER_TEXT_HEADER_SIZE);
        } else if (view.type == RECORD_ARCHIVE || view.type == RECORD_FLAGS) {
            view.first = ReadU32Le(record + 4);
            view.second = ReadU32Le(record + 8);
        }
        records_.push_back(view);
        position += recordSize;
    }
}

OpenedPackage::~OpenedPackage()
{
    ArchiveClose(archive_);
    // The key must not stay in memory after its package.
    if (cipherStorage_)
        SecureWipe(cipherStorage_.get(), sizeof(CipherState));
    SecureWipe(entryIvStart_, sizeof entryIvStart_);
    SecureWipe(entryIv_, sizeof entryIv_);
}

bool OpenedPackage::hasArchiveRecord() const
{
    for (const RecordView& record : records_)
        if (record.type == RECORD_ARCHIVE)
            return true;
    return false;
}

packaging::Bytes OpenedPackage::readProgram()
{
    std::uint64_t end = hasArchiveRecord() ? std::min<std::uint64_t>(settings_.archiveOffset, trailerStart_)
                                           : trailerStart_;
    packaging::Bytes program(static_cast<std::size_t>(std::min(end, kMaxProgramSize)));
    if (SysFileSeekTo(file_.get(), 0) != 0 ||
        SysFileReadExact(file_.get(), program.data(), static_cast<std::uint32_t>(program.size())) != 0)
        throw PackerError("cannot read " + name_ + ": " + LastSystemError());
    return program;
}

void OpenedPackage::openArchive()
{
    if (!hasArchiveRecord())
        throw PackerError(name_ + ": the trailer has no archive record");
    std::uint64_t archiveEnd = static_cast<std::uint64_t>(settings_.archiveOffset) + settings_.archiveSize;
    if (archiveEnd > trailerStart_)
        throw PackerError(name_ + ": the archive record points past the start of the trailer");
    archive_ = ArchiveOpen(file_.get(), settings_.archiveOffset, settings_.archiveSize, &dataSource_);
    if (archive_ == nullptr)
        throw PackerError(name_ + ": the archive is damaged: its end record or directory cannot be read");
    std::uint32_t entryCount = 0;
    ArchiveGetInfo(archive_, &entryCount, nullptr);
    for (std::uint32_t i = 0; i < entryCount; i++) {
        int result = i == 0 ? ArchiveFirstEntry(archive_) : ArchiveNextEntry(archive_);
        PackageEntry entry;
        char name[kStubNameBufferSize];
        if (result == ARCHIVE_OK)
            result = ArchiveGetEntryInfo(archive_, &entry.info, name, sizeof name, nullptr, 0, nullptr, 0);
        if (result == ARCHIVE_BAD_PARAMETER) {
            entry.utf8Name = entry.shownName = "(entry " + std::to_string(i + 1) + ")";
            entry.problem = "its name of " + std::to_string(entry.info.nameLength) +
                            " bytes does not fit the stub's buffer";
            entries_.push_back(entry);
            continue;
        }
        if (result != ARCHIVE_OK)
            throw PackerError(name_ + ": the archive directory is damaged at entry " + std::to_string(i + 1));
        entry.name.assign(name, entry.info.nameLength);
        std::size_t length = entry.name.size();
        entry.directory = length > 0 && IsPathSeparator(entry.name[length - 1]);
        std::u32string decoded;
        if (entry.info.flagBits & ZIP_FLAG_UTF8_NAME) {
            // Written in the user's ANSI code page; whether that holds the
            // letters is the user's system's business, so only invalid UTF-8
            // is a fault of the package.
            entry.utf8Name = entry.name;
            if (!DecodeUtf8(entry.name, decoded)) {
                entry.utf8Name = ShowOemName(entry.name);
                entry.problem = "its name is marked as UTF-8 but is none";
            }
        } else if (!OemNameToUtf8(entry.name, entry.utf8Name)) {
            entry.utf8Name = ShowOemName(entry.name);
            entry.problem = "its name holds bytes the stub cannot map";
        }
        if (entry.problem.empty() && entry.name.find('\0') != std::string::npos)
            entry.problem = "its name holds a zero byte";
        else if (entry.problem.empty())
            entry.problem = UnsafeNameProblem(entry);
        entry.shownName = EscapeControls(entry.utf8Name);
        entry.components = PathComponents(entry.utf8Name);
        entries_.push_back(entry);
    }
    FindClashes(entries_);
}

void OpenedPackage::unlock(const PasswordSource& source)
{
    if (!encrypted()) {
        if (!source.file.empty() || !source.environment.empty())
            Warn(name_ + " is not encrypted; the password from " +
                         (source.file.empty() ? "--password-env " + source.environment
                                              : "--password-file " + source.file) +
                         " is not used");
        return;
    }
    if (settings_.passwordAccepted)
        return;
    std::string password = ReadPassword(source, false);
    if (!cipherStorage_)
        cipherStorage_ = std::make_unique<CipherState>();
    cipher_ = cipherStorage_.get();
    int result = VerifyPasswordInto(&settings_, reinterpret_cast<const std::uint8_t*>(password.data()),
                                    static_cast<std::uint32_t>(password.size()), &cipher_, entryIvStart_);
    WipePassword(password);
    if (result == PASSWORD_NO_MEMORY)
        throw PackerError("out of memory");
    if (result != PASSWORD_ACCEPTED)
        throw PackerError(name_ + ": wrong password");
}

std::string OpenedPackage::openEntry(std::size_t index)
{
    if (archive_ == nullptr || index >= entries_.size())
        return "no such entry";
    if (encrypted() && !settings_.passwordAccepted)
        return "the package is encrypted and no password was accepted";
    if (ArchiveGoToEntry(archive_, static_cast<std::uint32_t>(index)) != ARCHIVE_OK)
        return "the archive directory is damaged here";
    if (EntryOpen(archive_) != ARCHIVE_OK)
        return "its local header is damaged or disagrees with the directory";
    buffer_.resize(kReadPieceSize);
    return {};
}

std::int32_t OpenedPackage::readPiece()
{
    return EntryRead(archive_, buffer_.data(), kReadPieceSize);
}

std::string OpenedPackage::closeEntry()
{
    if (EntryClose(archive_) == ARCHIVE_CRC_MISMATCH)
        return "its data do not match their CRC-32" + std::string(encrypted() ? " (or encrypted differently)" : "");
    return {};
}

}  // namespace packer
