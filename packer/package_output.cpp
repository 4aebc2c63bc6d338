// Choosing and checking the file a package is written to.
#include "package_output.h"

#include "packer_error.h"
#include "text_encoding.h"

namespace packer {

namespace {

[[noreturn]] void RefuseKind(const fs::path& output, const std::string& what)
{
    throw PackerError("the output " + ShownPath(output) + " is " + what + "; the packer replaces regular files only");
}

void CheckOutputFolder(const fs::path& output)
{
    fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    FileKind kind = KindBehind(folder);
    if (kind == FileKind::kMissing)
        throw PackerError("the folder " + ShownPath(folder) + " for the output does not exist");
    if (kind != FileKind::kFolder)
        throw PackerError("the output's folder " + ShownPath(folder) + " is " + DescribeKind(kind));
}

}  // namespace

fs::path ChooseOutputFile(const fs::path& output)
{
    FileKind kind = KindOf(output);
    if (kind == FileKind::kMissing || kind == FileKind::kFile) {
        CheckOutputFolder(output);
        return output;
    }
    if (kind != FileKind::kLink)
        RefuseKind(output, DescribeKind(kind));
    // Written through, as the shell's > and cp write: the link was made to
    // reach that file. A link to nothing is refused rather than followed,
    // since it could name a file anywhere.
    FileKind behind = KindBehind(output);
    if (behind == FileKind::kMissing)
        throw PackerError("the output " + ShownPath(output) + " is a link that leads nowhere; the packer writes "
                          "through a link only to a file that exists");
    if (behind != FileKind::kFile)
        RefuseKind(output, std::string("a link to ") + DescribeKind(behind));
    return FollowLinks(output);
}

void RefuseOutputAmongInputs(const fs::path& outputFile, const std::vector<BuildInput>& inputs)
{
    FileIdentity output;
    if (!IdentifyFile(outputFile, output))
        return;   // nothing there yet, so no input either
    for (const BuildInput& input : inputs) {
        FileIdentity identity;
        if (IdentifyFile(input.path, identity) && identity == output)
            throw PackerError("the output " + ShownPath(outputFile) + " is " + input.role +
                              "; the package would replace it");
    }
}

void CheckOutputReplaceable(const fs::path& outputFile)
{
    FileKind kind = KindOf(outputFile);
    if (kind != FileKind::kMissing && kind != FileKind::kFile)
        RefuseKind(outputFile, std::string("now ") + DescribeKind(kind));
}

}  // namespace packer
