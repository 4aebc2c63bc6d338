// How a package presents itself to Windows before it runs: its icon, its
// version information (the Details of its Properties) and the execution
// level its manifest requests. The settings are defined with all others
// (setting_definitions.h); here are the checks of their values and the
// changes they make to the stub's copy, which the packaging library writes.
// A package that sets none of them carries the stub unchanged.
#pragma once

#include <cstddef>
#include <string>

#include "package_settings.h"
#include "packaging/program_resources.h"

namespace packer {

// A text longer than this would not show anywhere in full.
constexpr std::size_t kMaxVersionTextLength = 1024;

// A version number: 1 to 4 parts of 0 to 65535. Throws PackerError
// starting with `where` and naming the key.
void CheckVersionNumber(const char* key, const std::string& value, const std::string& where);

// A text of the version information: in Windows-1252 (the code page of the
// stub's version information), without zero characters, at most
// kMaxVersionTextLength characters. Throws PackerError as above.
void CheckVersionText(const char* key, const std::string& value, const std::string& where);

// "1.2" as the numbers 1.2.0.0. The value must have passed CheckVersionNumber.
packaging::VersionNumber ParseVersionNumber(const std::string& value);

// Reads the icon file and turns the settings of the package's identity
// into the changes the stub's copy takes; outputName is the package's file
// name, original_filename's default. Throws PackerError naming the file or
// the key at fault, before anything is written.
packaging::ProgramChanges PrepareProgramChanges(const PackageSettings& settings, const std::string& outputName);

// The config key a string of the version information stands for
// (ProductName: product_name); the string's own name for others.
std::string VersionKeyOf(const std::u16string& resourceName);

// The execution_level value for a manifest's word (asInvoker: as_invoker);
// the word itself when it is none of them.
std::string ExecutionLevelKeyOf(const std::string& manifestValue);

}  // namespace packer
