// The walk the extraction worker makes over an opened archive, without the
// disk: every central header read with its name, extra field and comment,
// the name through the checks and the mapping the worker applies, and every
// file entry opened, read to its end in pieces and closed, twice. Shared by
// the plain and the encrypted archive harnesses.
#pragma once

#include "archive/archive_reader.h"

// Aborts through FuzzCheck when a reader breaks a promise of its contract
// (an entry giving more bytes than its directory size says, or something
// else the second time it is read).
void WalkArchive(ArchiveReader* reader);
