// The build command's options for a package's settings, made from the
// setting definitions: for each text of the language tables an option that
// sets it in the neutral language (--title TEXT), --text LANGUAGE.KEY=TEXT
// for any language, a pair of options for each switch (--hide-frame,
// --no-hide-frame), and an option that adds to each list (--exclude
// PATTERN), and an option that picks one of a choice's words
// (--compression lzma). What they give is kept as typed and checked when the command
// runs, so that a fault is reported like a fault in the config file.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "package_settings.h"

namespace packer {

class SettingOptions {
  public:
    // Adds the options to command; they write into this object, which must
    // outlive the parse.
    void define(CLI::App& command);

    // The settings the options gave. Throws PackerError naming the option
    // for a value the stub could not use.
    PackageSettings settings() const;

  private:
    struct GivenText {
        SettingId setting;
        std::string text;
    };
    std::vector<GivenText> texts_;                 // per-setting options; a text goes to the neutral language
    std::vector<std::string> languageTexts_;       // --text LANGUAGE.KEY=TEXT, in the order given
    std::array<std::optional<bool>, kSettingCount> switches_;
    std::array<std::vector<std::string>, kSettingCount> lists_;
    std::array<std::optional<std::string>, kSettingCount> choices_;
};

}  // namespace packer
