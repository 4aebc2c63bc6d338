// The packer's exit codes and what each means, for main() and for the help
// and the man page, which list them from here.
#pragma once

#include <iterator>

namespace packer {

enum ExitCode {
    kExitSuccess = 0,
    kExitFailure = 1,
    kExitUsage = 2,
};

struct ExitCodeMeaning {
    ExitCode code;
    const char* meaning;
};

inline constexpr ExitCodeMeaning kExitCodes[] = {
    {kExitSuccess, "success: the package was written, listed, found sound or extracted"},
    {kExitFailure,
     "failure: the command could not do its work (a file it could not read or write, a damaged package, a "
     "wrong password, an interrupt), or test found an entry that fails; what the run had begun to write is "
     "removed"},
    {kExitUsage, "the command line was not understood: an unknown command or option, a missing or wrong "
                 "argument; nothing was done"},
};

}  // namespace packer
