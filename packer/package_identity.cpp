// The icon, version information and execution level of a package: their
// keys, their checks, and the changes they make to the stub's copy.
#include "package_identity.h"

#include "packaging/execution_level.h"
#include "packer_error.h"
#include "text_encoding.h"

namespace packer {

const std::array<VersionField, kVersionFieldCount> kVersionFields = {{
    {"file_version", u"FileVersion", "file version, 1 to 4 numbers of 0 to 65535 (\"1.2.3.4\"; none: product_version)"},
    {"product_version", u"ProductVersion", "product version, as file_version (none: file_version)"},
    {"product_name", u"ProductName", "product name"},
    {"company_name", u"CompanyName", "company name"},
    {"file_description", u"FileDescription", "what the file is, shown as its description"},
    {"legal_copyright", u"LegalCopyright", "copyright notice"},
    {"original_filename", u"OriginalFilename", "the file's original name (default: the package's file name)"},
    {"comments", u"Comments", "comments"},
}};

const std::array<ExecutionLevelName, kExecutionLevelCount> kExecutionLevels = {{
    {"as_invoker", packaging::kAsInvoker},
    {"highest_available", packaging::kHighestAvailable},
    {"require_administrator", packaging::kRequireAdministrator},
}};

namespace {

constexpr unsigned kMaxVersionPart = 0xFFFF;
constexpr std::size_t kMaxVersionParts = 4;

bool IsNumberField(std::size_t field)
{
    return field == kFileVersionField || field == kProductVersionField;
}

std::u16string ToUtf16(const std::string& utf8)
{
    std::u32string decoded;
    DecodeUtf8(utf8, decoded);
    std::u16string text;
    for (char32_t c : decoded) {
        if (c > 0xFFFF) {
            text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
    }
    return text;
}

// The icon file whole, refused unread when it is larger than any icon.
packaging::Bytes ReadIconBytes(const fs::path& path)
{
    std::error_code error;
    std::uintmax_t size = fs::file_size(path, error);
    if (!error && size > packaging::kMaxIconFileSize)
        throw PackerError("icon " + PathToUtf8(path) + ": " + std::to_string(size) + " bytes, more than the " +
                          std::to_string(packaging::kMaxIconFileSize >> 20) + " MiB an icon file may have");
    InputFile file(path);
    packaging::Bytes bytes;
    std::uint8_t buffer[65536];
    for (std::size_t n; (n = file.read(buffer, sizeof buffer)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > packaging::kMaxIconFileSize)
            break;   // grew while read; readIconFile says so
    }
    return bytes;
}

// The numbers and texts of the version information, file_version and
// product_version standing in for each other.
packaging::VersionChange MakeVersionChange(const PackageIdentity& identity, const std::string& outputName)
{
    std::array<std::optional<std::string>, kVersionFieldCount> values = identity.version;
    if (!values[kFileVersionField])
        values[kFileVersionField] = values[kProductVersionField];
    if (!values[kProductVersionField])
        values[kProductVersionField] = values[kFileVersionField];
    if (!values[kOriginalFilenameField]) {
        std::string ansi;
        char32_t bad = 0;
        if (!Utf8ToAnsi(outputName, ansi, &bad))
            throw PackerError("[version] original_filename is the package's name, " + outputName + ", by default, which holds " +
                              DescribeCharacter(bad) + "; Windows-1252 (the code page of the stub's version "
                              "information) cannot hold it, so set original_filename");
        values[kOriginalFilenameField] = outputName;
    }
    packaging::VersionChange change;
    if (values[kFileVersionField]) {
        change.fileVersion = ParseVersionNumber(*values[kFileVersionField]);
        change.productVersion = ParseVersionNumber(*values[kProductVersionField]);
    }
    for (std::size_t f = 0; f < kVersionFieldCount; f++)
        if (values[f])
            change.strings.push_back({kVersionFields[f].resourceName, ToUtf16(*values[f])});
    return change;
}

}  // namespace

bool PackageIdentity::hasVersion() const
{
    for (const std::optional<std::string>& value : version)
        if (value)
            return true;
    return false;
}

void PackageIdentity::overrideWith(const PackageIdentity& other)
{
    if (other.icon)
        icon = other.icon;
    for (std::size_t f = 0; f < kVersionFieldCount; f++)
        if (other.version[f])
            version[f] = other.version[f];
    if (other.executionLevel)
        executionLevel = other.executionLevel;
}

int FindVersionField(const std::string& key)
{
    for (std::size_t i = 0; i < kVersionFieldCount; i++)
        if (key == kVersionFields[i].key)
            return static_cast<int>(i);
    return -1;
}

void CheckVersionValue(std::size_t field, const std::string& value, const std::string& where)
{
    std::string key = kVersionFields[field].key;
    if (IsNumberField(field)) {
        std::size_t parts = 0;
        std::size_t at = 0;
        for (;;) {
            std::size_t dot = value.find('.', at);
            std::string part = value.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
            if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos || ++parts > kMaxVersionParts)
                throw PackerError(where + ": " + key + " \"" + value +
                                  "\" is no version number; write 1 to 4 numbers with dots between, \"1.2.3.4\"");
            if (part.size() > 5 || std::stoul(part) > kMaxVersionPart)
                throw PackerError(where + ": " + key + " \"" + value + "\": " + part +
                                  " is out of range; each part is 0 to 65535");
            if (dot == std::string::npos)
                return;
            at = dot + 1;
        }
    }
    std::string ansi;
    char32_t bad = 0;
    if (!Utf8ToAnsi(value, ansi, &bad))
        throw PackerError(where + ": " + key + " holds " + DescribeCharacter(bad) +
                          ", which Windows-1252 (the code page of the stub's version information) cannot hold");
    if (ansi.find('\0') != std::string::npos)
        throw PackerError(where + ": " + key + " holds a zero character");
    if (ansi.size() > kMaxVersionTextLength)
        throw PackerError(where + ": " + key + " is " + std::to_string(ansi.size()) + " characters long; at most " +
                          std::to_string(kMaxVersionTextLength));
}

void CheckExecutionLevel(const std::string& value, const std::string& where)
{
    for (const ExecutionLevelName& level : kExecutionLevels)
        if (value == level.key)
            return;
    throw PackerError(where + ": execution_level \"" + value +
                      "\" is unknown; it is as_invoker, highest_available or require_administrator");
}

void ApplyVersionOption(const std::string& option, PackageIdentity& identity)
{
    std::size_t equals = option.find('=');
    int field = FindVersionField(option.substr(0, equals));
    if (equals == std::string::npos || field < 0) {
        std::string keys;
        for (const VersionField& known : kVersionFields)
            keys += std::string(keys.empty() ? "" : ", ") + known.key;
        throw PackerError("--version-info " + option + ": write KEY=VALUE, for example product_version=1.2; the keys are " +
                          keys);
    }
    std::string value = option.substr(equals + 1);
    CheckVersionValue(static_cast<std::size_t>(field), value, "--version-info");
    identity.version[static_cast<std::size_t>(field)] = value;
}

packaging::VersionNumber ParseVersionNumber(const std::string& value)
{
    packaging::VersionNumber number{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < number.size() && at <= value.size(); i++) {
        std::size_t dot = value.find('.', at);
        number[i] = static_cast<std::uint16_t>(std::stoul(value.substr(at, dot - at)));
        if (dot == std::string::npos)
            break;
        at = dot + 1;
    }
    return number;
}

packaging::ProgramChanges PrepareProgramChanges(const PackageIdentity& identity, const std::string& outputName)
{
    packaging::ProgramChanges changes;
    if (identity.icon) {
        try {
            changes.icon = packaging::readIconFile(ReadIconBytes(*identity.icon));
        } catch (const packaging::FormatError& error) {
            throw PackerError("icon " + PathToUtf8(*identity.icon) + ": " + error.what());
        }
    }
    if (identity.hasVersion())
        changes.version = MakeVersionChange(identity, outputName);
    if (identity.executionLevel)
        for (const ExecutionLevelName& level : kExecutionLevels)
            if (*identity.executionLevel == level.key)
                changes.executionLevel = level.manifestValue;
    return changes;
}

std::string VersionKeyOf(const std::u16string& resourceName)
{
    for (const VersionField& field : kVersionFields)
        if (resourceName == field.resourceName)
            return field.key;
    std::string name;
    for (char16_t c : resourceName)
        name += EncodeUtf8(std::u32string(1, c));
    return name;
}

std::string ExecutionLevelKeyOf(const std::string& manifestValue)
{
    for (const ExecutionLevelName& level : kExecutionLevels)
        if (manifestValue == level.manifestValue)
            return level.key;
    return manifestValue;
}

}  // namespace packer
