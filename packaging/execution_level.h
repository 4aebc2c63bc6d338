// The execution level a program's manifest requests: whether Windows starts
// it as the user who starts it, with the highest rights that user has, or
// only as an administrator (after the elevation prompt).
#pragma once

#include <optional>
#include <string>

namespace packaging {

// The manifest's words for the levels.
constexpr const char* kAsInvoker = "asInvoker";
constexpr const char* kHighestAvailable = "highestAvailable";
constexpr const char* kRequireAdministrator = "requireAdministrator";

// The manifest with the level attribute of its requestedExecutionLevel
// element set to level; everything else stays as it was. Throws
// FormatError when the manifest has no such element.
std::string setExecutionLevel(const std::string& manifest, const std::string& level);

// The level the manifest requests; nothing when it names none.
std::optional<std::string> executionLevel(const std::string& manifest);

}  // namespace packaging
