// Fuzz target: the readers of what a package's program shows of itself, and
// the rewriting of its resources. The input is taken whole as a program
// (what inspect reads from every package, what build reads from a stub
// given with --stub) and as an icon file (what --icon reads). Damage must
// end in a FormatError; any other exception that escapes is a finding, and
// libFuzzer reports it as the abort that follows. A program whose
// resources could be rewritten must read back with the new ones.
#include <stddef.h>
#include <stdint.h>

#include "packaging/execution_level.h"
#include "packaging/icon_file.h"
#include "packaging/program_resources.h"
#include "support/fuzz_input.h"

namespace {

// One small image: the rewriting is what is fuzzed, not the icon.
const packaging::Bytes kIcon = {
    0, 0, 1, 0, 1, 0,                                      // an icon file of one image
    1, 1, 0, 0, 1, 0, 32, 0, 48, 0, 0, 0, 22, 0, 0, 0,     // 1x1, 32 bits, 48 bytes at 22
    40, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 32, 0,      // the bitmap header: 1 by 2, 32 bits
    0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
    0x11, 0x22, 0x33, 0xFF, 0, 0, 0, 0,                    // the pixel, then its mask row
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const packaging::Bytes input(data, data + size);
    try {
        packaging::readProgramResources(input);
    } catch (const packaging::FormatError&) {
    }
    try {
        std::vector<packaging::IconImage> images = packaging::readIconFile(input);
        FuzzCheck(!images.empty(), "an icon file without images was taken");
    } catch (const packaging::FormatError&) {
    }

    packaging::ProgramChanges changes;
    changes.icon = packaging::readIconFile(kIcon);
    changes.version = packaging::VersionChange{{1, 2, 3, 4}, {1, 2, 0, 0}, {{u"ProductName", u"Fuzz"}}};
    changes.executionLevel = packaging::kHighestAvailable;
    changes.latestTime = 1700000000;
    packaging::Bytes program = input;
    try {
        packaging::changeProgramResources(program, changes);
    } catch (const packaging::FormatError&) {
        FuzzCheck(program == input, "a refused program was changed");
        return 0;
    }
    packaging::ProgramResources read = packaging::readProgramResources(program);
    FuzzCheck(read.icon.size() == 1 && read.icon[0].entry.width == 1, "the new icon did not read back");
    FuzzCheck(read.version && read.version->fileVersion == changes.version->fileVersion,
              "the new version did not read back");
    FuzzCheck(read.executionLevel == std::optional<std::string>(packaging::kHighestAvailable),
              "the new level did not read back");
    return 0;
}
