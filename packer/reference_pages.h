// The reference beyond each command's options: the config file (every key
// with its type, default and meaning, the tables and languages), where
// build finds its stubs, the exit status, and the switches a package
// takes when it is started. Each is made from the
// definitions the program itself uses (kSettings, kStubPlaces, kExitCodes),
// once, as blocks that are rendered as plain text for the help and as roff
// for the man page.
#pragma once

#include <string>
#include <vector>

namespace packer {

struct ReferenceBlock {
    enum class Kind {
        kHeading,     // text: a heading inside the page
        kParagraph,   // text: filled into lines
        kTerm,        // term, and text explaining it
        kExample,     // text: lines shown as they stand
    };
    Kind kind;
    std::string term;
    std::string text;
};

struct ReferencePage {
    std::string title;        // for the help: "Stubs"
    std::string manSection;   // the man page's section: "FILES"
    std::vector<ReferenceBlock> blocks;
};

ReferencePage ConfigReference();
ReferencePage StubPlacesReference();
ReferencePage ExitStatusReference();
ReferencePage PackageSwitchesReference();

// The page for a person at a terminal: "Title:", then the blocks indented,
// filled to 79 columns.
std::string RenderText(const ReferencePage& page);

// The pages as a help2man include file: one [SECTION] each, in roff.
std::string RenderManSections(const std::vector<ReferencePage>& pages);

}  // namespace packer
