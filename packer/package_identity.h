// How a package presents itself to Windows before it runs: its icon, its
// version information (the Details of its Properties) and the execution
// level its manifest requests. The keys and options are defined and
// checked here; the packaging library writes them into the copy of the
// stub. A package that sets none of them carries the stub unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "file_system.h"
#include "packaging/program_resources.h"

namespace packer {

// The keys of the [version] table (and of --version-info KEY=VALUE).
struct VersionField {
    const char* key;
    const char16_t* resourceName;   // the string table's key; empty for the numbers
    const char* meaning;            // for the help text
};

constexpr std::size_t kVersionFieldCount = 8;
extern const std::array<VersionField, kVersionFieldCount> kVersionFields;
constexpr std::size_t kFileVersionField = 0;
constexpr std::size_t kProductVersionField = 1;
constexpr std::size_t kOriginalFilenameField = 6;
// A text longer than this would not show anywhere in full.
constexpr std::size_t kMaxVersionTextLength = 1024;

// The values of execution_level, and what the manifest says for each.
struct ExecutionLevelName {
    const char* key;
    const char* manifestValue;
};
constexpr std::size_t kExecutionLevelCount = 3;
extern const std::array<ExecutionLevelName, kExecutionLevelCount> kExecutionLevels;

constexpr const char* kIconKey = "icon";
constexpr const char* kExecutionLevelKey = "execution_level";
constexpr const char* kVersionTable = "version";

struct PackageIdentity {
    std::optional<fs::path> icon;
    // UTF-8 as given; checked. The table counts as given when any is.
    std::array<std::optional<std::string>, kVersionFieldCount> version;
    std::optional<std::string> executionLevel;   // a key of kExecutionLevels

    bool hasVersion() const;
    // Takes every value that other gives, keeping ours where it is silent.
    void overrideWith(const PackageIdentity& other);
};

// The index of a [version] key; -1 when unknown.
int FindVersionField(const std::string& key);

// Checks a [version] value: numbers as 1 to 4 parts of 0 to 65535, texts
// in Windows-1252 (the code page of the stub's version information),
// without zero characters, at most kMaxVersionTextLength characters.
// Throws PackerError starting with `where`.
void CheckVersionValue(std::size_t field, const std::string& value, const std::string& where);

// Checks an execution level; throws PackerError naming the three.
void CheckExecutionLevel(const std::string& value, const std::string& where);

// --version-info KEY=VALUE: sets one [version] value after checking it.
// Throws PackerError.
void ApplyVersionOption(const std::string& option, PackageIdentity& identity);

// "1.2" as the numbers 1.2.0.0. The value must have passed CheckVersionValue.
packaging::VersionNumber ParseVersionNumber(const std::string& value);

// Reads the icon file and turns the identity into the changes the stub's
// copy takes; outputName is the package's file name, original_filename's
// default. Throws PackerError naming the file or the key at fault, before
// anything is written.
packaging::ProgramChanges PrepareProgramChanges(const PackageIdentity& identity, const std::string& outputName);

// The config key a string of the version information stands for
// (ProductName: product_name); the string's own name for others.
std::string VersionKeyOf(const std::u16string& resourceName);

// The execution_level value for a manifest's word (asInvoker: as_invoker);
// the word itself when it is none of the three.
std::string ExecutionLevelKeyOf(const std::string& manifestValue);

}  // namespace packer
