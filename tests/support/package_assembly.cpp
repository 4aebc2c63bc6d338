// Packages put together in memory.
#include "support/package_assembly.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace packaging {

Bytes assemblePackage(const Bytes& stub, const Bytes& archive, const TrailerBuilder& trailer,
                      const Bytes& tail)
{
    std::uint64_t archiveEnd = static_cast<std::uint64_t>(stub.size()) + archive.size();
    if (archiveEnd > 0xFFFFFFFFu)
        throw FormatError("stub and archive together exceed 4 GiB, the limit of the archive record");
    TrailerBuilder full;
    full.archive(static_cast<std::uint32_t>(stub.size()), static_cast<std::uint32_t>(archive.size()));
    full.raw(trailer.records());
    Bytes out = stub;
    out.insert(out.end(), archive.begin(), archive.end());
    Bytes records = full.build();
    out.insert(out.end(), records.begin(), records.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

Bytes readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

}  // namespace packaging
