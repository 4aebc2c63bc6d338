// The icon, version information and execution level of a package: the
// checks of their values, and the changes they make to the stub's copy.
#include "package_identity.h"

#include <array>
#include <iterator>

#include "packaging/execution_level.h"
#include "packer_error.h"
#include "text_encoding.h"

namespace packer {

namespace {

// The manifest's word for each of execution_level's choices, in their order.
constexpr const char* kManifestLevels[] = {packaging::kAsInvoker, packaging::kHighestAvailable,
                                           packaging::kRequireAdministrator};
// kExecutionLevelChoices ends in a nullptr.
static_assert(std::size(kManifestLevels) + 1 == std::size(kExecutionLevelChoices), "a manifest word for every level");

constexpr unsigned kMaxVersionPart = 0xFFFF;
constexpr std::size_t kMaxVersionParts = 4;

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

std::u16string Utf16FromAscii(const char* text)
{
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

bool HasVersion(const PackageSettings& settings)
{
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == SettingTable::kVersion && settings.text(setting.id, 0))
            return true;
    return false;
}

// The numbers and texts of the version information, file_version and
// product_version standing in for each other.
packaging::VersionChange MakeVersionChange(const PackageSettings& settings, const std::string& outputName)
{
    std::array<std::optional<std::string>, kSettingCount> values;
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == SettingTable::kVersion)
            values[setting.id] = settings.text(setting.id, 0);
    if (!values[kFileVersionSetting])
        values[kFileVersionSetting] = values[kProductVersionSetting];
    if (!values[kProductVersionSetting])
        values[kProductVersionSetting] = values[kFileVersionSetting];
    if (!values[kOriginalFilenameSetting]) {
        std::string ansi;
        char32_t bad = 0;
        if (!Utf8ToAnsi(outputName, ansi, &bad))
            throw PackerError("[version] original_filename is the package's name, " + outputName + ", by default, which holds " +
                              DescribeCharacter(bad) + "; Windows-1252 (the code page of the stub's version "
                              "information) cannot hold it, so set original_filename");
        values[kOriginalFilenameSetting] = outputName;
    }
    packaging::VersionChange change;
    if (values[kFileVersionSetting]) {
        change.fileVersion = ParseVersionNumber(*values[kFileVersionSetting]);
        change.productVersion = ParseVersionNumber(*values[kProductVersionSetting]);
    }
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == SettingTable::kVersion && values[setting.id])
            change.strings.push_back({Utf16FromAscii(setting.versionString), Utf8ToUtf16(*values[setting.id])});
    return change;
}

}  // namespace

void CheckVersionNumber(const char* key, const std::string& value, const std::string& where)
{
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

void CheckVersionText(const char* key, const std::string& value, const std::string& where)
{
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

packaging::ProgramChanges PrepareProgramChanges(const PackageSettings& settings, const std::string& outputName)
{
    packaging::ProgramChanges changes;
    if (const std::optional<fs::path>& icon = settings.file(kIconSetting)) {
        try {
            changes.icon = packaging::readIconFile(ReadIconBytes(*icon));
        } catch (const packaging::FormatError& error) {
            throw PackerError("icon " + PathToUtf8(*icon) + ": " + error.what());
        }
    }
    if (HasVersion(settings))
        changes.version = MakeVersionChange(settings, outputName);
    if (const std::optional<std::string>& word = settings.choice(kExecutionLevelSetting))
        for (std::size_t i = 0; i < std::size(kManifestLevels); i++)
            if (*word == kExecutionLevelChoices[i])
                changes.executionLevel = kManifestLevels[i];
    return changes;
}

std::string VersionKeyOf(const std::u16string& resourceName)
{
    for (const SettingDefinition& setting : kSettings)
        if (setting.table == SettingTable::kVersion && resourceName == Utf16FromAscii(setting.versionString))
            return setting.key;
    std::string name;
    for (char16_t c : resourceName)
        name += EncodeUtf8(std::u32string(1, c));
    return name;
}

std::string ExecutionLevelKeyOf(const std::string& manifestValue)
{
    for (std::size_t i = 0; i < std::size(kManifestLevels); i++)
        if (manifestValue == kManifestLevels[i])
            return kExecutionLevelChoices[i];
    return manifestValue;
}

}  // namespace packer
