// The version resource: a fixed part with the file's and the product's
// version numbers, and texts (product name, company, ...) in one language
// and code page, which Explorer shows as the file's details. Written and
// read as a tree of nodes, each a length, a key in UTF-16 and a value.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "packaging/trailer_writer.h"

namespace packaging {

// Four numbers of 0 to 65535: 1.2.3.4.
using VersionNumber = std::array<std::uint16_t, 4>;

struct VersionString {
    std::u16string key;      // ProductName, CompanyName ...
    std::u16string value;
};

constexpr std::size_t kFixedVersionSize = 52;
// The code page texts are written in when a version resource names none:
// Windows-1252, the stub's own.
constexpr std::uint16_t kDefaultVersionCodePage = 1252;
constexpr std::uint16_t kUnicodeCodePage = 1200;

struct VersionResource {
    // The fixed part whole: besides the numbers it says what kind of file
    // this is, for which system, and its flags. Empty when it has none.
    Bytes fixed;
    VersionNumber fileVersion{};
    VersionNumber productVersion{};
    // The string table's language and code page, from its key ("040704E4").
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
    bool hasStrings = false;
    std::vector<VersionString> strings;
    // The languages and code pages the resource says it has texts in, each
    // language in the low word.
    std::vector<std::uint32_t> translations;
};

// Reads a version resource. Throws FormatError when a node runs past its
// parent or the root is no version information.
VersionResource readVersionResource(const Bytes& data);

// Writes one: the fixed part (a fresh one when version.fixed is empty) with
// the two numbers and, when there are strings, a string table in
// version.language and version.codePage and the translation that names
// the same.
Bytes writeVersionResource(const VersionResource& version);

// "1.2.3.4".
std::string versionText(const VersionNumber& number);

}  // namespace packaging
