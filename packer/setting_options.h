// The build command's options for a package's settings, made from the
// setting definitions: for each text of the language tables an option that
// sets it in the neutral language (--title TEXT), --text LANGUAGE.KEY=TEXT
// for any language, --version-info KEY=VALUE for the [version] table, a
// pair of options for each switch (--hide-frame, --no-hide-frame), an
// option that adds to each list (--exclude PATTERN), one that picks one of
// a choice's words (--compression lzma, --execution-level WORD), and one
// for each other setting at the top (--icon FILE). What they give is kept
// as typed and checked when the command runs, so that a fault is reported
// like a fault in the config file.
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
    // --text LANGUAGE.KEY=TEXT and the like, each in the order given; one
    // list for each of kTableOptions.
    std::array<std::vector<std::string>, std::size(kTableOptions)> tableTexts_;
    std::array<std::optional<bool>, kSettingCount> switches_;
    std::array<std::vector<std::string>, kSettingCount> lists_;
    std::array<std::optional<std::string>, kSettingCount> choices_;
};

}  // namespace packer
