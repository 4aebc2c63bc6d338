// What held folders do the same way on every system.
#include "folder_handle.h"

#include "file_system_shared.h"

namespace packer {

std::string FolderHandle::hiddenNameFor(const std::string& name, const std::string& suffix) const
{
    std::string candidate;
    for (int attempt = 0; attempt < kHiddenNameAttempts; attempt++) {
        candidate = HiddenNameCandidate(name, suffix);
        if (kindOf(candidate) == FileKind::kMissing)
            break;
    }
    return candidate;
}

}  // namespace packer
