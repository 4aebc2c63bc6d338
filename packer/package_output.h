// Where a package may be written: over nothing or over a regular file, and
// never over a file the same build reads. The package is written beside
// the output under a temporary name and renamed over it, so a rename would
// replace a device node, a FIFO or an input as readily as an old package.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "file_system.h"

namespace packer {

// The file a build writes: output itself, or the file a link there leads
// to, so that the link stays and its file receives the package. Throws
// PackerError when output is a folder, a device, a FIFO or a socket, a link
// to one of these or to nothing, when its folder does not exist, or when it
// is in use (a running package on Windows) and could not be replaced.
fs::path ChooseOutputFile(const fs::path& output);

// A file the build reads, and what it is for ("the stub").
struct BuildInput {
    std::string role;
    fs::path path;
};

// Throws PackerError when the output file is one of the inputs. Files are
// compared by identity, so that no other spelling, link or hard link hides
// an input.
void RefuseOutputAmongInputs(const fs::path& outputFile, const std::vector<BuildInput>& inputs);

// Throws PackerError unless outputFile is still nothing or a regular file:
// checked again right before the package takes its name.
void CheckOutputReplaceable(const fs::path& outputFile);

// The file the package is written to: hidden beside outputFile, held by
// this build. The temporary files that builds of the same output left when
// they were killed go first, each with a note.
std::unique_ptr<OutputFile> StartPackageFile(const fs::path& outputFile);

// Puts the written package on the disk, then gives it outputFile's name.
// Throws PackerError; the package file then goes, and outputFile stays as
// it was.
void FinishPackageFile(std::unique_ptr<OutputFile> package, const fs::path& outputFile);

}  // namespace packer
