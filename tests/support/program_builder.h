// A small Windows program for tests of the resource rewriting: a code
// section, the resources given, the base relocations, and on request what
// the packer must refuse (a signature, bytes behind the sections, a section
// that cannot move, a relocation into the resources). Never run; only read.
#pragma once

#include <cstdint>

#include "packaging/resource_tree.h"
#include "packaging/trailer_writer.h"

namespace packaging {

struct TestProgram {
    ResourceTree resources;
    bool signature = false;                 // a security directory entry
    std::size_t tail = 0;                   // bytes behind the last section
    bool dataBehindResources = false;       // a writable data section after .reloc
    bool relocationIntoResources = false;
    bool checksum = true;                   // the header carries one
};

// The program, 32-bit, its resources where its header says.
Bytes makeTestProgram(const TestProgram& program);

// Resources as the stub has them: a picture, an icon group of two images,
// a version resource with its fixed part only, a manifest, all German;
// and a type named by a text, as other programs have.
ResourceTree testResources();

}  // namespace packaging
