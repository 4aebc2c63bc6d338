// Choosing and checking the file a package is written to.
#include "package_output.h"

#include "notes.h"
#include "packer_error.h"
#include "text_encoding.h"

namespace packer {

namespace {

// What the package's temporary file ends in: ".setup.exe.123456.tmp".
const char* const kTemporarySuffix = ".tmp";

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

// Said before the package is made rather than after: a running package
// keeps Windows from replacing its file.
void RefuseOutputInUse(const fs::path& outputFile)
{
    if (FileInUse(outputFile))
        throw PackerError("cannot replace " + ShownPath(outputFile) + ": it is in use (is the package running?)");
}

}  // namespace

fs::path ChooseOutputFile(const fs::path& output)
{
    FileKind kind = KindOf(output);
    if (kind == FileKind::kMissing || kind == FileKind::kFile) {
        CheckOutputFolder(output);
        RefuseOutputInUse(output);
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
    fs::path target = FollowLinks(output);
    RefuseOutputInUse(target);
    return target;
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

std::unique_ptr<OutputFile> StartPackageFile(const fs::path& outputFile)
{
    for (const std::string& name : RemoveStaleHidden(outputFile, kTemporarySuffix))
        Note("removed " + ShownPath(outputFile.parent_path() / PathFromUtf8(name)) +
             ", left by a build of this output that was stopped");
    return OutputFile::CreateHiddenBeside(outputFile, kTemporarySuffix);
}

void FinishPackageFile(std::unique_ptr<OutputFile> package, const fs::path& outputFile)
{
    // On the disk before the rename, so that a crash cannot leave a partial
    // package under the name of a complete one.
    package->sync();
    CheckOutputReplaceable(outputFile);
    package->closeAs(outputFile);
}

}  // namespace packer
