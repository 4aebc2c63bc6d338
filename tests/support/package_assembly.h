// Whole packages in memory for tests, benchmarks and fuzz seeds: a stub, an
// archive and trailer records put together as the packer lays them out, and
// files read and written whole. The packer streams its packages instead.
#pragma once

#include <string>

#include "packaging/trailer_writer.h"

namespace packaging {

// stub, archive, an archive record telling where the archive lies, the other
// records, the footer, then tail. Throws FormatError past the format's limits.
Bytes assemblePackage(const Bytes& stub, const Bytes& archive, const TrailerBuilder& trailer,
                      const Bytes& tail = {});

Bytes readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const Bytes& bytes);

}  // namespace packaging
