// What a program shows of itself before it runs: the icon Explorer and the
// taskbar draw, the version information of its Properties, and the
// execution level its manifest requests. The packer sets them on its copy
// of the stub by writing the stub's resource section anew; inspect reads
// them back. Host and Windows packers share this code, so both write the
// same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "packaging/icon_file.h"
#include "packaging/trailer_writer.h"
#include "packaging/version_resource.h"

namespace packaging {

struct VersionChange {
    VersionNumber fileVersion{};
    VersionNumber productVersion{};
    std::vector<VersionString> strings;   // in the order they are written
};

struct ProgramChanges {
    std::vector<IconImage> icon;                 // empty: the program's icon stays
    std::optional<VersionChange> version;
    std::optional<std::string> executionLevel;   // the manifest's word, asInvoker ...
    // No resource table's time stamp is later than this (seconds since
    // 1970): reproducible builds.
    std::optional<std::uint32_t> latestTime;

    bool any() const { return !icon.empty() || version || executionLevel; }
};

// Replaces the program's main icon group (the first, which Explorer shows)
// and the images only it used with the given icon; its version resource
// with the numbers and texts given, in the resource's own language and code
// page; the level in its manifest. Throws FormatError, leaving the program
// as it was, when its resources cannot be read or written back (see
// replaceResourceSection), or its version resource is in a code page other
// than Windows-1252 or Unicode, which the texts were checked against.
void changeProgramResources(Bytes& program, const ProgramChanges& changes);

struct IconView {
    IconGroupEntry entry;
    bool png = false;
};

struct ProgramResources {
    std::vector<IconView> icon;                  // the main icon group's images
    std::optional<VersionResource> version;
    std::optional<std::string> executionLevel;
};

// Reads them from a program (its first bytes, up to the end of its
// sections, are enough). Throws FormatError when the program or its
// resources are damaged.
ProgramResources readProgramResources(const Bytes& program);

}  // namespace packaging
