// Listing what a package holds, for people and (as JSON) for scripts.
#include <cinttypes>
#include <iostream>
#include <sstream>

#include <toml++/toml.h>

#include "commands.h"
#include "output_text.h"
#include "package_identity.h"
#include "package_reader.h"
#include "packaging/program_resources.h"
#include "packer_error.h"
#include "startup/trailer.h"
#include "text_encoding.h"

namespace packer {

namespace {

const char* MethodName(std::uint32_t method)
{
    switch (method) {
    case 0: return "stored";
    case 8: return "deflated";
    case 14: return "LZMA";
    default: return "unknown";
    }
}

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*" PRIX32, digits, value);
    return text;
}

// A trailer text on one line, read in the stub's code page. Control
// characters are escaped; backslashes stay as they are, since paths and
// folder templates are full of them (the JSON form is exact).
std::string QuotedText(const std::string& ansi)
{
    return "\"" + EscapeControls(AnsiToUtf8(ansi)) + "\"";
}

std::string FlagNames(std::uint32_t flags)
{
    std::string names;
    if (flags & FLAG_HIDE_FRAME)
        names += "hide_frame";
    if (flags & FLAG_FINISH_NO_WAIT)
        names += std::string(names.empty() ? "" : ", ") + "finish_no_wait";
    if (flags & FLAG_SKIP_FOLDER_PAGE)
        names += std::string(names.empty() ? "" : ", ") + "skip_folder_page";
    if (flags & FLAG_NO_SWITCHES)
        names += std::string(names.empty() ? "" : ", ") + "allow_switches = false";
    return names.empty() ? "none" : names;
}

std::string RecordValue(const RecordView& record)
{
    if (record.isText)
        return QuotedText(record.text);
    switch (record.type) {
    case RECORD_ARCHIVE:
        return "offset " + std::to_string(record.first) + ", size " + std::to_string(record.second);
    case RECORD_FLAGS:
        return "mask 0x" + Hex(record.first, 1) + ", values 0x" + Hex(record.second, 1);
    case RECORD_CIPHER_HEADER:
        return "52 bytes: salt, check block";
    default:
        return std::to_string(record.size) + " bytes, ignored by the stub";
    }
}

// What the program in front of the archive shows of itself: its icon,
// version information and execution level. A package whose program cannot
// be read has them listed as unreadable; the archive is what decides
// whether the package is sound.
struct ProgramFace {
    packaging::ProgramResources resources;
    std::string problem;
};

ProgramFace ReadProgramFace(OpenedPackage& package)
{
    ProgramFace face;
    try {
        face.resources = packaging::readProgramResources(package.readProgram());
    } catch (const packaging::FormatError& error) {
        face.problem = error.what();
    } catch (const PackerError& error) {
        face.problem = error.what();
    }
    return face;
}

std::string IconImageText(const packaging::IconView& image)
{
    std::string text = std::to_string(image.entry.width) + "x" + std::to_string(image.entry.height);
    if (image.png)
        text += " PNG";
    if (image.entry.bitCount != 0)
        text += " " + std::to_string(image.entry.bitCount) + "-bit";
    return text;
}

void PrintProgramFace(const ProgramFace& face, std::FILE* out)
{
    if (!face.problem.empty()) {
        PrintTo(out, "program:   its resources cannot be read: %s\n", EscapeControls(face.problem).c_str());
        return;
    }
    std::string icon;
    for (const packaging::IconView& image : face.resources.icon)
        icon += (icon.empty() ? "" : ", ") + IconImageText(image);
    PrintTo(out, "icon:      %s\n", icon.empty() ? "none" : icon.c_str());
    if (!face.resources.version) {
        PrintTo(out, "version:   none\n");
    } else {
        const packaging::VersionResource& version = *face.resources.version;
        std::string numbers = version.fixed.empty() ? "no numbers"
                                                    : "file " + packaging::versionText(version.fileVersion) +
                                                          ", product " + packaging::versionText(version.productVersion);
        if (version.hasStrings)
            PrintTo(out, "version:   %s; texts in language 0x%04X, code page %u\n", numbers.c_str(),
                         version.language, version.codePage);
        else
            PrintTo(out, "version:   %s; no texts\n", numbers.c_str());
        for (const packaging::VersionString& string : version.strings)
            PrintTo(out, "           %-18s \"%s\"\n", EscapeControls(VersionKeyOf(string.key)).c_str(),
                         EscapeControls(Utf16ToUtf8(string.value)).c_str());
    }
    const std::optional<std::string>& level = face.resources.executionLevel;
    PrintTo(out, "execution: %s\n",
                 level ? EscapeControls(ExecutionLevelKeyOf(*level)).c_str() : "no level requested");
}

toml::table ProgramFaceJson(const ProgramFace& face)
{
    toml::table program;
    if (!face.problem.empty()) {
        program.insert("error", face.problem);
        return program;
    }
    toml::array icon;
    for (const packaging::IconView& image : face.resources.icon)
        icon.push_back(toml::table{{"width", static_cast<std::int64_t>(image.entry.width)},
                                   {"height", static_cast<std::int64_t>(image.entry.height)},
                                   {"bit_count", static_cast<std::int64_t>(image.entry.bitCount)},
                                   {"png", image.png},
                                   {"size", static_cast<std::int64_t>(image.entry.size)}});
    program.insert("icon", std::move(icon));
    if (face.resources.version) {
        const packaging::VersionResource& version = *face.resources.version;
        toml::table item;
        if (!version.fixed.empty()) {
            item.insert("file_version", packaging::versionText(version.fileVersion));
            item.insert("product_version", packaging::versionText(version.productVersion));
        }
        if (version.hasStrings) {
            item.insert("language_id", static_cast<std::int64_t>(version.language));
            item.insert("code_page", static_cast<std::int64_t>(version.codePage));
        }
        toml::table strings;
        for (const packaging::VersionString& string : version.strings)
            strings.insert(VersionKeyOf(string.key), Utf16ToUtf8(string.value));
        item.insert("strings", std::move(strings));
        program.insert("version", std::move(item));
    }
    if (face.resources.executionLevel)
        program.insert("execution_level", ExecutionLevelKeyOf(*face.resources.executionLevel));
    return program;
}

void PrintText(const OpenedPackage& package, const ProgramFace& face, const std::string& archiveProblem,
               std::FILE* out)
{
    const SfxSettingsRecord& settings = package.settings();
    PrintTo(out, "package:   %s, %" PRIu64 " bytes\n", package.name().c_str(), package.fileSize());
    PrintTo(out, "trailer:   %" PRIu32 " bytes at offset %" PRIu64 ", ending at %" PRIu64 ", %zu records",
            package.trailerLength(), package.trailerStart(), package.trailerEnd(), package.records().size());
    if (package.signatureSize() > 0 && package.signatureOffset() > package.trailerEnd())
        PrintTo(out, ", followed by %" PRIu64 " bytes of fill and the signature",
                package.signatureOffset() - package.trailerEnd());
    else if (package.signatureSize() == 0 && package.tailSize() > 0)
        PrintTo(out, ", followed by %" PRIu64 " bytes the stub ignores", package.tailSize());
    PrintTo(out, "\n");
    if (package.signatureSize() > 0)
        PrintTo(out, "signed:    yes, a certificate table of %" PRIu32 " bytes at offset %" PRIu32 "\n",
                package.signatureSize(), package.signatureOffset());
    else
        PrintTo(out, "signed:    no\n");
    // Bytes hidden there leave the signature valid; the stub never reads
    // them, but whoever checks the file should know they are there.
    if (package.bytesAfterSignature() > 0)
        PrintTo(out, "ignored:   %" PRIu64 " bytes at offset %" PRIu64
                " after the signature, which it does not cover; the stub never reads them\n",
                package.bytesAfterSignature(), package.signatureEnd());
    if (package.archive())
        PrintTo(out, "archive:   offset %" PRIu32 ", %" PRIu32 " bytes, %zu entries\n", settings.archiveOffset,
                settings.archiveSize, package.entries().size());
    else
        PrintTo(out, "archive:   %s\n", EscapeControls(archiveProblem).c_str());
    PrintTo(out, "encrypted: %s\n", package.encrypted() ? "yes, a password is needed" : "no");
    PrintTo(out, "flags:     0x%" PRIX32 " (%s)\n", settings.flags, FlagNames(settings.flags).c_str());
    PrintProgramFace(face, out);

    PrintTo(out, "\nrecords:\n  %10s %6s  %-15s %-8s  %s\n", "offset", "size", "type", "language", "value");
    for (const RecordView& record : package.records())
        PrintTo(out, "  %10" PRIu64 " %6u  %-15s %-8s  %s\n", record.offset, record.size,
                RecordTypeName(record.type), record.isText ? LanguageName(record.language) : "-",
                RecordValue(record).c_str());

    if (!package.archive())
        return;
    PrintTo(out, "\nentries:\n  %10s %10s  %-8s  %-8s  %-19s  %s\n", "size", "compressed", "method", "crc",
            "time", "name");
    for (const PackageEntry& entry : package.entries()) {
        PrintTo(out, "  %10" PRIu32 " %10" PRIu32 "  %-8s  %-8s  %-19s  %s", entry.info.uncompressedSize,
                entry.info.compressedSize, MethodName(entry.info.method), Hex(entry.info.crc, 8).c_str(),
                FormatDosDateTime(entry.info.dosDateTime).c_str(), entry.shownName.c_str());
        if (!entry.problem.empty())
            PrintTo(out, "  (the stub refuses it: %s)", entry.problem.c_str());
        else if (!entry.clash.empty())
            PrintTo(out, "  (%s)", entry.clash.c_str());
        PrintTo(out, "\n");
    }
}

void PrintJson(const fs::path& path, const OpenedPackage& package, const ProgramFace& face,
               const std::string& archiveProblem, std::FILE* out)
{
    const SfxSettingsRecord& settings = package.settings();
    toml::table root;
    root.insert("package", PathToUtf8(path));
    root.insert("size", static_cast<std::int64_t>(package.fileSize()));
    root.insert("trailer", toml::table{{"offset", static_cast<std::int64_t>(package.trailerStart())},
                                       {"length", static_cast<std::int64_t>(package.trailerLength())},
                                       {"end", static_cast<std::int64_t>(package.trailerEnd())},
                                       {"tail", static_cast<std::int64_t>(package.tailSize())}});
    root.insert("signed", package.signatureSize() > 0);
    if (package.signatureSize() > 0)
        root.insert("signature",
                    toml::table{{"offset", static_cast<std::int64_t>(package.signatureOffset())},
                                {"size", static_cast<std::int64_t>(package.signatureSize())},
                                {"end", static_cast<std::int64_t>(package.signatureEnd())},
                                {"ignored_after", static_cast<std::int64_t>(package.bytesAfterSignature())}});
    toml::array records;
    for (const RecordView& record : package.records()) {
        toml::table item{{"offset", static_cast<std::int64_t>(record.offset)},
                         {"size", record.size},
                         {"type", record.type},
                         {"name", RecordTypeName(record.type)}};
        if (record.isText) {
            item.insert("language", LanguageName(record.language));
            item.insert("language_id", record.language);
            item.insert("text", AnsiToUtf8(record.text));
        } else if (record.type == RECORD_ARCHIVE) {
            item.insert("archive_offset", static_cast<std::int64_t>(record.first));
            item.insert("archive_size", static_cast<std::int64_t>(record.second));
        } else if (record.type == RECORD_FLAGS) {
            item.insert("mask", static_cast<std::int64_t>(record.first));
            item.insert("values", static_cast<std::int64_t>(record.second));
        }
        records.push_back(std::move(item));
    }
    root.insert("records", std::move(records));
    root.insert("flags", toml::table{{"value", static_cast<std::int64_t>(settings.flags)},
                                     {"hide_frame", (settings.flags & FLAG_HIDE_FRAME) != 0},
                                     {"finish_no_wait", (settings.flags & FLAG_FINISH_NO_WAIT) != 0},
                                     {"skip_folder_page", (settings.flags & FLAG_SKIP_FOLDER_PAGE) != 0},
                                     {"allow_switches", (settings.flags & FLAG_NO_SWITCHES) == 0}});
    root.insert("encrypted", package.encrypted());
    root.insert("program", ProgramFaceJson(face));
    if (package.archive()) {
        root.insert("archive", toml::table{{"offset", static_cast<std::int64_t>(settings.archiveOffset)},
                                           {"size", static_cast<std::int64_t>(settings.archiveSize)}});
        toml::array entries;
        for (const PackageEntry& entry : package.entries()) {
            toml::table item{{"name", entry.utf8Name},
                             {"directory", entry.directory},
                             {"size", static_cast<std::int64_t>(entry.info.uncompressedSize)},
                             {"compressed_size", static_cast<std::int64_t>(entry.info.compressedSize)},
                             {"method", MethodName(entry.info.method)},
                             {"crc", Hex(entry.info.crc, 8)},
                             {"time", FormatDosDateTime(entry.info.dosDateTime)}};
            if (!entry.problem.empty())
                item.insert("problem", entry.problem);
            if (!entry.clash.empty())
                item.insert("clash", entry.clash);
            entries.push_back(std::move(item));
        }
        root.insert("entries", std::move(entries));
    } else {
        root.insert("archive_error", archiveProblem);
    }
    std::ostringstream text;
    text << toml::json_formatter{root} << "\n";
    // The formatter escapes C0 controls only; a name with U+202E would
    // still turn around in a terminal or a viewer.
    WriteText(out, EscapeJsonControls(text.str()));
}

}  // namespace

std::string FormatDosDateTime(std::uint32_t dosDateTime)
{
    unsigned date = dosDateTime >> 16;
    unsigned time = dosDateTime & 0xFFFF;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", (date >> 9) + 1980, (date >> 5) & 0x0F,
                  date & 0x1F, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
    return text;
}

int InspectPackage(const fs::path& path, bool json, std::FILE* out)
{
    OpenedPackage package(path);
    std::string archiveProblem;
    try {
        package.openArchive();
    } catch (const PackerError& error) {
        archiveProblem = error.what();
    }
    ProgramFace face = ReadProgramFace(package);
    if (json)
        PrintJson(path, package, face, archiveProblem, out);
    else
        PrintText(package, face, archiveProblem, out);
    if (!archiveProblem.empty()) {
        PrintTo(stderr, "sfxpack: error: %s\n", EscapeControls(archiveProblem, true).c_str());
        return 1;
    }
    return 0;
}

}  // namespace packer
