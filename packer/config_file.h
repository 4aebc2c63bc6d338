// The config file: TOML with the switches, the exclude patterns, the icon
// and the execution level at the top, the [version] table and a table per
// language for the texts, as the setting definitions lay it out; `sfxpack
// help config` shows the format.
#pragma once

#include <string>

#include "file_system.h"
#include "package_settings.h"

namespace packer {

// Reads and checks a config file. Throws PackerError whose message starts
// with "file:line:" for every fault in the file: syntax, an unknown table or
// key (with the one probably meant), a value of the wrong type, a character
// the stub cannot show. A relative file path (the icon's) is taken from the
// config file's folder.
PackageSettings ReadConfigFile(const fs::path& path);

// The same for config text already in memory; `name` stands for the file.
PackageSettings ParseConfigText(const std::string& text, const std::string& name);

}  // namespace packer
