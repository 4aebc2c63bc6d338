// Writing a package in one pass: the stub, each entry's local header and
// data (compressed and encrypted on the way, the header's sizes filled in
// afterwards), the central directory, the trailer.
#include "package_builder.h"

#include <algorithm>
#include <zlib.h>

#include "command_lines.h"
#include "delete_list.h"
#include "entry_compression.h"
#include "exclude_patterns.h"
#include "interruption.h"
#include "notes.h"
#include "package_identity.h"
#include "package_output.h"
#include "parallel_compression.h"
#include "packaging/entry_encryption.h"
#include "packaging/program_resources.h"
#include "packaging/zip_headers.h"
#include "packer_error.h"
#include "progress.h"
#include "source_entries.h"
#include "text_encoding.h"

namespace packer {

namespace {

using packaging::Bytes;

constexpr std::size_t kChunkSize = 1 << 16;
constexpr std::uint64_t kMaxOffset = 0xFFFFFFFFu;
constexpr std::size_t kMaxEntries = 0xFFFF;
constexpr std::uint64_t kMaxDeleteListSize = 1 << 20;

class MemoryData : public EntryData {
  public:
    explicit MemoryData(std::shared_ptr<const Bytes> bytes) : bytes_(std::move(bytes)) {}
    std::size_t read(std::uint8_t* buffer, std::size_t size) override
    {
        std::size_t n = std::min(size, bytes_->size() - position_);
        std::copy(bytes_->begin() + static_cast<std::ptrdiff_t>(position_),
                  bytes_->begin() + static_cast<std::ptrdiff_t>(position_ + n), buffer);
        position_ += n;
        return n;
    }

  private:
    std::shared_ptr<const Bytes> bytes_;
    std::size_t position_ = 0;
};

// The uncompressed bytes that part of whole compressed bytes stand for, in
// integers exact up to 4 GiB each, so that the whole comes to exactly total:
// progress counts uncompressed bytes.
std::uint64_t UncompressedShare(std::uint64_t total, std::uint64_t part, std::uint64_t whole)
{
    if (whole == 0)
        return total;
    return total / whole * part + total % whole * part / whole;
}

std::unique_ptr<EntryData> OpenData(PackageSource& source, const SourceEntry& entry)
{
    if (entry.content)
        return std::make_unique<MemoryData>(entry.content);
    return source.open(entry);
}

// The archive part of the package, written entry by entry.
class ArchiveStream {
  public:
    // pool: the threads that compress entries ahead; null when the
    // writer compresses each entry itself.
    ArchiveStream(OutputFile& out, PackageSource& source, const packaging::EntryEncryptor* encryptor,
                  std::unique_ptr<EntryCompressor> compressor, ParallelCompression* pool, Progress& progress)
        : out_(out), source_(source), encryptor_(encryptor), compressor_(std::move(compressor)), pool_(pool),
          progress_(progress), start_(out.position()), input_(kChunkSize)
    {
    }

    void add(const SourceEntry& entry)
    {
        packaging::ZipHeaderFields fields;
        fields.dosDate = entry.time.date;
        fields.dosTime = entry.time.time;
        fields.localHeaderOffset = archiveOffset(out_.position());
        if (entry.utf8Name)
            fields.flags |= packaging::kZipFlagUtf8Name;
        std::uint64_t headerAt = out_.position();
        if (entry.directory) {
            fields.versionNeeded = packaging::zipVersionNeeded(packaging::ZipMethod::kStored, true);
            fields.externalAttributes = packaging::kDosDirectoryAttribute;
            writeHeader(fields, entry.name);
        } else {
            bool compress = compressor_ && entry.size > 0;
            bool keep = compress && entry.kept &&
                        entry.kept->method == static_cast<std::uint16_t>(compressor_->method());
            setMethod(fields, compress);
            if (keep)
                fields.flags = static_cast<std::uint16_t>((fields.flags & packaging::kZipFlagUtf8Name) |
                                                          entry.kept->flags);
            writeHeader(fields, entry.name);
            std::uint64_t dataAt = out_.position();
            if (keep)
                writeKept(entry, fields);
            else if (compress && pool_ != nullptr && pool_->handles(count_))
                writeCompressed(entry, pool_->take(count_), fields);
            else
                writeData(entry, compress, fields, true);
            // Data that do not shrink (already compressed ones) are stored
            // instead: the stub then copies rather than decodes them.
            std::uint64_t storedSize = encryptor_ ? packaging::encryptedSize(entry.size) : entry.size;
            if (compress && fields.compressedSize >= storedSize) {
                out_.truncateTo(dataAt);
                setMethod(fields, false);
                writeData(entry, false, fields, false);
            }
            fields.versionNeeded = packaging::zipVersionNeeded(
                static_cast<packaging::ZipMethod>(fields.method), false);
            Bytes header;
            packaging::appendLocalHeader(header, fields, entry.name, {});
            out_.writeAt(headerAt, header.data(), header.size());
        }
        packaging::appendCentralHeader(directory_, fields, entry.name, {}, {});
        count_++;
    }

    // Writes the central directory and the end record; the archive's size.
    std::uint64_t finish()
    {
        std::uint32_t directoryOffset = archiveOffset(out_.position());
        write(directory_.data(), directory_.size());
        Bytes end;
        packaging::appendEndRecord(end, static_cast<std::uint16_t>(count_),
                                   static_cast<std::uint32_t>(directory_.size()), directoryOffset, {});
        write(end.data(), end.size());
        return out_.position() - start_;
    }

  private:
    // The method and its flag bits (the UTF-8 name bit stays).
    void setMethod(packaging::ZipHeaderFields& fields, bool compress) const
    {
        fields.flags &= packaging::kZipFlagUtf8Name;
        fields.method = static_cast<std::uint16_t>(packaging::ZipMethod::kStored);
        if (compress) {
            fields.method = static_cast<std::uint16_t>(compressor_->method());
            fields.flags |= compressor_->flags();
        }
    }

    std::uint32_t archiveOffset(std::uint64_t position) const
    {
        return static_cast<std::uint32_t>(position - start_);
    }

    // Every write keeps the whole package below 4 GiB: the trailer's
    // archive record and the archive's own offsets are 32-bit.
    void write(const std::uint8_t* data, std::size_t size)
    {
        if (out_.position() + size > kMaxOffset)
            throw PackerError("the package would reach 4 GiB, the limit of ZIP without ZIP64 and of the "
                              "trailer's archive record; pack fewer or smaller files");
        out_.write(data, size);
    }

    void writeHeader(const packaging::ZipHeaderFields& fields, const std::string& name)
    {
        Bytes header;
        packaging::appendLocalHeader(header, fields, name, {});
        write(header.data(), header.size());
    }

    // Reads the entry's data, compresses and encrypts them, writes them,
    // and fills crc and sizes into fields.
    void writeData(const SourceEntry& entry, bool compress, packaging::ZipHeaderFields& fields, bool countProgress)
    {
        std::unique_ptr<EntryData> data = OpenData(source_, entry);
        std::uint8_t chain[packaging::kChainSize];
        if (encryptor_)
            encryptor_->startChain(chain);
        pending_.clear();
        std::uint64_t written = 0;
        EntryCompressor::Emit emitPiece = [this, &chain, &written](const std::uint8_t* piece, std::size_t size) {
            written += emit(piece, size, chain, false);
        };
        std::uint64_t read = 0;
        uLong crc = crc32(0L, Z_NULL, 0);
        bool atEnd = false;
        if (compress)
            Compressing(entry, [&] { compressor_->start(entry.size, emitPiece); });
        while (!atEnd) {
            CheckInterrupted();
            std::size_t n = data->read(input_.data(), input_.size());
            atEnd = n == 0;
            read += n;
            if (read > entry.size)
                break;
            crc = crc32(crc, input_.data(), static_cast<uInt>(n));
            if (countProgress)
                progress_.advance(n, entry.shownName);
            if (compress)
                Compressing(entry, [&] { compressor_->compress(input_.data(), n, atEnd, emitPiece); });
            else
                emitPiece(input_.data(), n);
        }
        written += emit(nullptr, 0, chain, true);
        if (read != entry.size)
            throw PackerError(entry.shownName + " changed while it was packed (" + std::to_string(entry.size) +
                              " bytes before, " + std::to_string(read) + " now)");
        if (written > kMaxOffset)
            throw PackerError(entry.shownName + ": compressed data of 4 GiB or more");
        fields.crc = static_cast<std::uint32_t>(crc);
        fields.compressedSize = static_cast<std::uint32_t>(written);
        fields.uncompressedSize = static_cast<std::uint32_t>(entry.size);
    }

    // Copies an entry's compressed data as the source holds them, encrypted
    // when the package is, and fills crc and sizes into fields from what
    // the source says of them.
    void writeKept(const SourceEntry& entry, packaging::ZipHeaderFields& fields)
    {
        std::unique_ptr<EntryData> data = source_.openKept(entry);
        std::uint8_t chain[packaging::kChainSize];
        if (encryptor_)
            encryptor_->startChain(chain);
        pending_.clear();
        std::uint64_t read = 0;
        std::uint64_t written = 0;
        std::uint64_t counted = 0;
        std::uint64_t keptSize = entry.kept->compressedSize;
        for (std::size_t n; (n = data->read(input_.data(), input_.size())) > 0;) {
            CheckInterrupted();
            read += n;
            if (read > keptSize)
                break;
            written += emit(input_.data(), n, chain, false);
            std::uint64_t reached = UncompressedShare(entry.size, read, keptSize);
            progress_.advance(reached - counted, entry.shownName);
            counted = reached;
        }
        written += emit(nullptr, 0, chain, true);
        if (read != keptSize)
            throw PackerError(entry.shownName + " changed while it was packed (" + std::to_string(keptSize) +
                              " compressed bytes before, " + std::to_string(read) + " now)");
        if (written > kMaxOffset)
            throw PackerError(entry.shownName + ": compressed data of 4 GiB or more");
        fields.crc = entry.kept->crc;
        fields.compressedSize = static_cast<std::uint32_t>(written);
        fields.uncompressedSize = static_cast<std::uint32_t>(entry.size);
    }

    // Writes an entry the threads compressed, through the cipher when there
    // is one, as writeData would have written it.
    void writeCompressed(const SourceEntry& entry, const CompressedEntry& compressed,
                         packaging::ZipHeaderFields& fields)
    {
        progress_.advance(entry.size, entry.shownName);
        CheckInterrupted();   // a task stops early on Ctrl-C
        if (compressed.read != entry.size)
            throw PackerError(entry.shownName + " changed while it was packed (" + std::to_string(entry.size) +
                              " bytes before, " + std::to_string(compressed.read) + " now)");
        std::uint8_t chain[packaging::kChainSize];
        if (encryptor_)
            encryptor_->startChain(chain);
        pending_.clear();
        std::uint64_t written = emit(compressed.data.data(), compressed.data.size(), chain, false);
        written += emit(nullptr, 0, chain, true);
        fields.crc = compressed.crc;
        fields.compressedSize = static_cast<std::uint32_t>(written);
        fields.uncompressedSize = static_cast<std::uint32_t>(entry.size);
    }

    // A compressor's failure, said with the entry it failed on.
    template <typename Step>
    static void Compressing(const SourceEntry& entry, Step step)
    {
        try {
            step();
        } catch (const PackerError& error) {
            throw PackerError(entry.shownName + ": " + error.what());
        }
    }

    // Writes stored data, through the cipher when there is one: whole blocks
    // go out, a partial one waits for more or, at the end, for fill bytes.
    std::size_t emit(const std::uint8_t* data, std::size_t size, std::uint8_t* chain, bool last)
    {
        if (!encryptor_) {
            write(data, size);
            return size;
        }
        pending_.insert(pending_.end(), data, data + size);
        if (last)
            pending_.resize(packaging::encryptedSize(pending_.size()), 0);
        std::size_t whole = pending_.size() / packaging::kCipherBlockSize * packaging::kCipherBlockSize;
        encryptor_->encryptBlocks(pending_.data(), whole, chain);
        write(pending_.data(), whole);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
        return whole;
    }

    OutputFile& out_;
    PackageSource& source_;
    const packaging::EntryEncryptor* encryptor_;
    std::unique_ptr<EntryCompressor> compressor_;   // none when every entry is stored
    ParallelCompression* pool_;
    Progress& progress_;
    std::uint64_t start_;
    Bytes input_;    // kChunkSize bytes read from an entry
    Bytes directory_;
    Bytes pending_;
    std::size_t count_ = 0;
};

// Opens the folder or ZIP file, and says so when nothing of it goes into
// the package.
std::unique_ptr<PackageSource> OpenSource(const fs::path& source, const SourceOptions& options)
{
    std::string name = PathToUtf8(source);
    std::error_code error;
    fs::file_status status = fs::status(source, error);
    if (error)
        throw PackerError("cannot pack " + name + ": " + error.message());
    bool folder = fs::is_directory(status);
    if (!folder && !fs::is_regular_file(status))
        throw PackerError("cannot pack " + name + ": neither a folder nor a ZIP file");
    std::unique_ptr<PackageSource> opened = folder ? OpenFolderSource(source, options) : OpenZipSource(source, options);
    if (opened->entries().empty() && opened->problems().empty()) {
        if (opened->excludedCount() > 0)
            Warn("the exclude patterns leave nothing of " + name + " (" + std::to_string(opened->excludedCount()) +
                 " left out); the package holds no files");
        else if (folder)
            Warn(name + " is an empty folder; the package holds no files");
        else
            Note(name + " is an empty ZIP file; the package holds no files");
    }
    return opened;
}

// Reading the output's folder while walking it would pack the package (or
// its temporary file) into itself. The folders are compared as the file
// system sees them, whatever names they are given by.
void RefuseOutputInsideSource(const fs::path& source, const fs::path& outputFile)
{
    if (KindBehind(source) != FileKind::kFolder)
        return;
    fs::path folder = outputFile.parent_path().empty() ? fs::path(".") : outputFile.parent_path();
    if (FolderWithin(folder, source))
        throw PackerError("the output " + ShownPath(outputFile) + " lies inside the folder being packed");
}

}  // namespace

void CheckPackageLimits(const std::vector<SourceEntry>& entries, std::uint64_t stubSize, std::uint64_t trailerSize)
{
    if (entries.size() > kMaxEntries)
        throw PackerError(std::to_string(entries.size()) + " entries; ZIP without ZIP64 holds at most 65,535");
    // What every package needs whatever the compression achieves: the stub,
    // the trailer and two headers per entry.
    std::uint64_t least = stubSize + trailerSize + packaging::kZipEndRecordSize;
    std::vector<std::string> problems;
    for (const SourceEntry& entry : entries) {
        least += packaging::kZipLocalHeaderSize + packaging::kZipCentralHeaderSize + 2 * entry.name.size();
        if (entry.size > kMaxOffset)
            problems.push_back(entry.shownName + ": " + std::to_string(entry.size) +
                               " bytes; an entry without ZIP64 holds less than 4 GiB");
    }
    if (!problems.empty())
        ThrowProblems("files too large for a package:", problems);
    if (least > kMaxOffset)
        throw PackerError("the stub, the trailer and the archive's headers alone reach 4 GiB");
}

namespace {

// Names stored in UTF-8 are written by the stub in the user's ANSI code page.
// Those of the Western European one (Windows-1252) are the common case; a
// character outside it needs a system whose code page holds it.
void WarnAboutUtf8Names(const std::vector<SourceEntry>& entries, std::vector<std::string>& warnings)
{
    for (const SourceEntry& entry : entries) {
        std::string ansi;
        char32_t bad = 0;
        if (entry.utf8Name && !Utf8ToAnsi(entry.name, ansi, &bad))
            warnings.push_back(entry.shownName + ": holds " + DescribeCharacter(bad) +
                               ", which Windows-1252 lacks; the stub can create it only where the user's "
                               "ANSI code page holds it");
    }
}

// A typical extraction folder of a user with a long name: the user's
// temporary folder and the unique sub-folder the stub makes there.
const std::string kTypicalExtractionFolder =
    "C:\\Users\\" + std::string(20, 'u') + "\\AppData\\Local\\Temp\\_X000000\\";
// The stub's paths hold 260 bytes with their zero, as most programs' do.
constexpr std::size_t kLongestWindowsPath = 259;

// Characters of a name as the stub writes it: each OEM byte is one, and so
// is each UTF-8 character, which becomes one byte of the ANSI code page.
std::size_t WrittenLength(const SourceEntry& entry)
{
    std::size_t length = 0;
    for (unsigned char c : entry.name) {
        if (!entry.utf8Name || (c & 0xC0) != 0x80)
            length++;
    }
    if (entry.directory && length > 0)
        length--;   // the trailing '/'
    return length;
}

// A path longer than Windows allows ends the run with "Could not create
// file"; what counts is the extraction folder in front of it, which the
// packer cannot know, so a long user folder stands in for it.
void WarnAboutLongPaths(const std::vector<SourceEntry>& entries, std::vector<std::string>& warnings)
{
    for (const SourceEntry& entry : entries) {
        std::size_t total = kTypicalExtractionFolder.size() + WrittenLength(entry);
        if (total > kLongestWindowsPath)
            warnings.push_back(entry.shownName + ": below a typical extraction folder (" + kTypicalExtractionFolder +
                               ", a user name of 20 characters) its path has " + std::to_string(total) +
                               " characters, more than the " + std::to_string(kLongestWindowsPath) +
                               " Windows allows; the stub would fail to create it");
    }
}

// Finds the delete lists the settings name among the entries, as Windows
// finds a file, without regard to case, and replaces their content where
// the stub needs it changed. A name that differs from the entry's in case
// only is stored as the entry spells it. What is wrong in a list's lines
// joins problems.
void PrepareDeleteLists(PackageSettings& settings, PackageSource& source, std::vector<SourceEntry>& entries,
                        std::vector<std::string>& problems)
{
    for (std::size_t l = 0; l < kLanguageCount; l++) {
        const std::optional<std::string>& text = settings.text(kDeleteListSetting, l);
        if (!text)
            continue;
        // As an entry name: '/' between folders, none in front.
        std::string listed = *text;
        for (char& c : listed)
            if (c == '\\')
                c = '/';
        if (!listed.empty() && listed[0] == '/')
            listed.erase(0, 1);
        std::string name;
        if (!Utf8ToOemName(listed, name))
            continue;   // refused already when the settings were read
        std::string where = SettingPlace(kDeleteListSetting, l) + " \"" + *text + "\"";
        const SourceEntry* found = FindEntryIgnoringCase(entries, listed);
        if (found == nullptr || found->directory) {
            Warn(where + " is not a file in the package; the stub will find no list to delete by");
            continue;
        }
        SourceEntry& entry = entries[static_cast<std::size_t>(found - entries.data())];
        if (entry.name != name) {
            Warn(where + " differs in case from " + entry.shownName +
                 " in the package; stored as the package spells it");
            settings.setText(kDeleteListSetting, l, entry.shownName, where);
        }
        if (entry.content)
            continue;   // named in another language already
        if (entry.size > kMaxDeleteListSize) {
            problems.push_back(entry.shownName + ": a delete list of " + std::to_string(entry.size) + " bytes?");
            continue;
        }
        Bytes content;
        std::unique_ptr<EntryData> data = source.open(entry);
        std::uint8_t buffer[kChunkSize];
        for (std::size_t n; (n = data->read(buffer, sizeof buffer)) > 0;)
            content.insert(content.end(), buffer, buffer + n);
        std::vector<std::string> notes;
        if (std::optional<Bytes> changed = PrepareDeleteList(entry.shownName, content, notes, problems)) {
            entry.size = changed->size();
            entry.content = std::make_shared<const Bytes>(std::move(*changed));
        }
        for (const std::string& note : notes)
            Note(note);
    }
}

// The stub hands the intro link to the shell's "open", which starts a
// program as readily as it opens a web page; anything but a web or mail
// address is worth a second look.
void NoteUnusualLinks(const PackageSettings& settings)
{
    for (std::size_t l = 0; l < kLanguageCount; l++) {
        const std::optional<std::string>& link = settings.text(kIntroLinkSetting, l);
        if (!link)
            continue;
        bool web = false;
        for (const char* scheme : {"http://", "https://", "mailto:"})
            web = web || link->rfind(scheme, 0) == 0;
        if (!web)
            Note(SettingPlace(kIntroLinkSetting, l) + " \"" + *link +
                 "\" is no web address; the stub hands it to the shell, which may start it as a program");
    }
}

// Every file the build reads, which the package must not replace.
std::vector<BuildInput> ListInputs(const BuildRequest& request, const std::vector<SourceEntry>& entries)
{
    std::vector<BuildInput> inputs = {{"the stub", request.stub}};
    if (!request.config.empty())
        inputs.push_back({"the config file", request.config});
    if (!request.password.file.empty())
        inputs.push_back({"the password file", PathFromUtf8(request.password.file)});
    if (const std::optional<fs::path>& icon = request.settings.file(kIconSetting))
        inputs.push_back({"the icon file", *icon});
    if (KindBehind(request.source) == FileKind::kFile)
        inputs.push_back({"the ZIP file being packed", request.source});
    for (const SourceEntry& entry : entries)
        if (!entry.directory && !entry.file.empty())
            inputs.push_back({"the file " + entry.shownName + " of the folder being packed", entry.file});
    return inputs;
}

// The package's icon, version information and execution level, set on the
// stub's copy; a package without them carries the stub as it is.
void SetProgramResources(Bytes& stub, const BuildRequest& request)
{
    packaging::ProgramChanges changes =
        PrepareProgramChanges(request.settings, PathToUtf8(request.output.filename()));
    if (!changes.any())
        return;
    if (request.latestTime)
        changes.latestTime = static_cast<std::uint32_t>(std::clamp<std::int64_t>(*request.latestTime, 0, 0xFFFFFFFF));
    try {
        packaging::changeProgramResources(stub, changes);
    } catch (const packaging::FormatError& error) {
        throw PackerError("the stub " + PathToUtf8(request.stub) + " cannot take the package's icon, version "
                          "information or execution level: " + error.what());
    }
}

// Reproducible builds: nothing in the package is later than latest.
void ClampEntryTimes(std::vector<SourceEntry>& entries, std::int64_t latest)
{
    DosTime last = LocalDosTime(latest);
    for (SourceEntry& entry : entries)
        if (DosTimeValue(entry.time) > DosTimeValue(last))
            entry.time = last;
}

}  // namespace

std::optional<std::int64_t> SourceDateEpoch()
{
    std::optional<std::string> text = EnvironmentVariable("SOURCE_DATE_EPOCH");
    if (!text || text->empty())
        return std::nullopt;
    // Up to 18 digits, so that the value fits whatever the year.
    if (text->size() > 18 || text->find_first_not_of("0123456789") != std::string::npos)
        throw PackerError("SOURCE_DATE_EPOCH=" + *text + ": not a number of seconds since 1970-01-01 00:00 UTC");
    return std::stoll(*text);
}

BuildSummary BuildPackage(const BuildRequest& request)
{
    const std::optional<std::string>& method = request.settings.choice(kCompressionSetting);
    Compression compression = CompressionNamed(method.value_or("deflate"));
    std::unique_ptr<EntryCompressor> compressor = MakeCompressor(compression, request.level);
    // A copy: the delete list's name may take the package's spelling. The
    // settings were checked as they were set.
    PackageSettings settings = request.settings;
    SourceOptions sourceOptions;
    sourceOptions.exclude = ExcludePatterns(settings.patterns(kExcludeSetting));
    sourceOptions.followLinks = request.followLinks;
    fs::path outputFile = ChooseOutputFile(request.output);
    Bytes stub = LoadStub(request.stub, request.stubKind);
    SetProgramResources(stub, request);
    RefuseOutputInsideSource(request.source, outputFile);
    std::unique_ptr<PackageSource> source = OpenSource(request.source, sourceOptions);
    std::vector<SourceEntry> entries = source->entries();
    RefuseOutputAmongInputs(outputFile, ListInputs(request, entries));
    std::vector<std::string> problems = source->problems();
    NoteUnusualLinks(settings);
    PrepareDeleteLists(settings, *source, entries, problems);
    if (!problems.empty())
        ThrowProblems("cannot pack " + PathToUtf8(request.source) + ":", problems);
    std::vector<std::string> warnings;
    WarnAboutUtf8Names(entries, warnings);
    WarnAboutLongPaths(entries, warnings);
    WarnAboutCommandPrograms(settings, entries, warnings);
    for (const std::string& warning : warnings)
        Warn(warning);
    packaging::TrailerBuilder settingRecords = settings.records();
    if (request.latestTime) {
        ClampEntryTimes(entries, *request.latestTime);
        ClampStubTime(stub, *request.latestTime);
    }

    BuildSummary summary;
    summary.encrypted = request.password.given();
    // The archive record, the cipher header and the footer join the setting
    // records.
    std::uint64_t trailerSize = settingRecords.records().size() + packaging::kArchiveRecordSize + packaging::kFooterSize +
                                (summary.encrypted ? packaging::kCipherHeaderSize : 0);
    CheckPackageLimits(entries, stub.size(), trailerSize);
    for (const SourceEntry& entry : entries) {
        if (entry.directory)
            summary.folders++;
        else
            summary.files++;
        summary.bytes += entry.size;
    }

    // Asked last, so that nobody types a password for a build that fails
    // on its settings or its files.
    std::unique_ptr<packaging::EntryEncryptor> encryptor;
    Bytes cipherHeader;
    if (summary.encrypted) {
        std::string password = ReadPassword(request.password, true);
        packaging::ArchiveSecrets secrets = packaging::drawArchiveSecrets();
        cipherHeader = packaging::makeCipherHeader(password, secrets);
        WipePassword(password);
        encryptor = std::make_unique<packaging::EntryEncryptor>(secrets);
    }

    std::unique_ptr<OutputFile> out = StartPackageFile(outputFile);
    out->write(stub.data(), stub.size());
    Progress progress(summary.bytes, "packing", request.progress);
    // As many threads compress as asked for; the writer mostly waits for
    // them, and compresses only the entries the pool leaves to it.
    std::unique_ptr<ParallelCompression> pool;
    if (compressor && request.threads > 1) {
        PackageSource& reader = *source;
        pool = std::make_unique<ParallelCompression>(
            entries,
            [&reader](const SourceEntry& entry) {
                return !entry.kept && (entry.content || reader.opensConcurrently());
            },
            [&reader](const SourceEntry& entry) { return OpenData(reader, entry); }, compression, request.level,
            request.threads);
    }
    ArchiveStream archive(*out, *source, encryptor.get(), std::move(compressor), pool.get(), progress);
    for (const SourceEntry& entry : entries)
        archive.add(entry);
    summary.archiveSize = archive.finish();
    progress.finish();

    packaging::TrailerBuilder trailer;
    trailer.archive(static_cast<std::uint32_t>(stub.size()), static_cast<std::uint32_t>(summary.archiveSize));
    trailer.raw(settingRecords.records());
    if (summary.encrypted)
        trailer.cipherHeader(cipherHeader);
    Bytes trailerBytes = trailer.build();
    if (out->position() + trailerBytes.size() > kMaxOffset)
        throw PackerError("the package would reach 4 GiB");
    out->write(trailerBytes.data(), trailerBytes.size());
    summary.packageSize = out->position();
    FinishPackageFile(std::move(out), outputFile);
    return summary;
}

}  // namespace packer
