// Finding and checking the stub.
#include "stub_file.h"

#include "packaging/pe_image.h"
#include "packer_error.h"
#include "platform/byte_order.h"
#include "startup/trailer.h"

namespace packer {

namespace {

constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

// The COFF header's fields, from the PE signature on.
constexpr std::size_t kTimeStampField = 8;
constexpr std::size_t kOptionalHeaderSizeField = 20;
constexpr std::size_t kOptionalHeader = 24;
// In the optional header; the same place in 32- and 64-bit programs.
constexpr std::size_t kChecksumField = 64;

// Where the PE signature lies when the file holds `needed` bytes from there
// on; 0 otherwise (the DOS header starts the file, so no PE header can).
std::size_t PeHeaderWith(const packaging::Bytes& bytes, std::size_t needed)
{
    if (bytes.size() < kPeOffsetField + 4)
        return 0;
    std::size_t pe = ReadU32Le(bytes.data() + kPeOffsetField);
    return pe != 0 && pe <= bytes.size() && needed <= bytes.size() - pe ? pe : 0;
}

// Where the checksum lies in the file; 0 when the optional header is too
// short to hold it.
std::size_t ChecksumPlace(const packaging::Bytes& bytes)
{
    std::size_t pe = PeHeaderWith(bytes, kOptionalHeader + kChecksumField + 4);
    if (pe == 0)
        return 0;
    std::size_t optionalSize = ReadU16Le(bytes.data() + pe + kOptionalHeaderSizeField);
    return optionalSize >= kChecksumField + 4 ? pe + kOptionalHeader + kChecksumField : 0;
}

// The machine field of the PE header, or 0 when there is none.
std::uint16_t PeMachine(const packaging::Bytes& bytes)
{
    if (bytes.size() < 2 || bytes[0] != 'M' || bytes[1] != 'Z')
        return 0;
    std::size_t pe = PeHeaderWith(bytes, 6);
    if (pe == 0 || bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 || bytes[pe + 3] != 0)
        return 0;
    return ReadU16Le(bytes.data() + pe + 4);
}

// The version resource is three 16-bit words, its key in UTF-16 and, at the
// next multiple of four bytes from its start, the fixed part with its
// signature. Looking for the two saves walking the resource tree, and no
// other data of a program holds both.
constexpr std::size_t kVersionHeaderSize = 6;
constexpr char kVersionKey[] = "VS_VERSION_INFO";
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoVersionAt = 8;   // after the signature and the structure version
constexpr std::size_t kFixedInfoVersionSize = 8;

std::size_t FindWideText(const packaging::Bytes& bytes, const char* text)
{
    std::size_t length = std::char_traits<char>::length(text) + 1;   // with the terminating zero
    for (std::size_t at = 0; at + length * 2 <= bytes.size(); at += 2) {
        std::size_t i = 0;
        while (i < length && bytes[at + 2 * i] == static_cast<std::uint8_t>(text[i]) && bytes[at + 2 * i + 1] == 0)
            i++;
        if (i == length)
            return at;
    }
    return std::string::npos;
}

}  // namespace

std::string StubPlaceFile(const StubPlace& place, bool want64)
{
    std::string folder = want64 ? place.folder64 : place.folder32;
    std::string file = want64 ? place.file64 : place.file32;
    return folder == "." ? file : folder + "/" + file;
}

fs::path LocateStub(const std::optional<fs::path>& given, bool want64)
{
    if (given)
        return *given;
    fs::path self = ExecutableFolder();
    std::string looked;
    if (!self.empty()) {
        std::error_code error;
        // A build tree holds its configuration beside its bin folder.
        bool inBuildTree = fs::is_regular_file(self.parent_path() / "CMakeCache.txt", error);
        for (const StubPlace& place : kStubPlaces) {
            if (place.inBuildTreeOnly && !inBuildTree)
                continue;
            fs::path candidate = FullPath(self / PathFromUtf8(StubPlaceFile(place, want64)));
            if (fs::is_regular_file(candidate, error))
                return candidate;
            looked += "\n  " + PathToUtf8(candidate);
        }
    }
    throw PackerError(std::string("no ") + (want64 ? "64" : "32") + "-bit stub found; give one with --stub "
                      "('sfxpack help' says where stubs are looked for). Looked at:" + looked);
}

packaging::Bytes LoadStub(const fs::path& path, StubKind kind)
{
    std::string name = PathToUtf8(path);
    packaging::Bytes bytes;
    {
        InputFile file(path);
        std::uint8_t buffer[65536];
        for (std::size_t n; (n = file.read(buffer, sizeof buffer)) > 0;)
            bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::uint16_t machine = PeMachine(bytes);
    if (machine == 0)
        throw PackerError("the stub " + name + " is not a Windows program");
    if (kind == StubKind::k32 && machine != kMachineI386)
        throw PackerError("the stub " + name + " is not a 32-bit Windows program");
    if (kind == StubKind::k64 && machine != kMachineAmd64)
        throw PackerError("the stub " + name + " is not a 64-bit Windows program");
    // A package given as the stub would end up with two trailers, and the
    // stub reads only the last one.
    SysFileHolder file(OpenSysFile(path));
    std::uint8_t footer[TRAILER_FOOTER_SIZE];
    if (file.valid() && FindTrailerFooter(file.get(), footer) >= 0)
        throw PackerError(name + " already carries a trailer: it is a package, not a stub");
    // A signed program's trailer must end where its certificate table
    // starts; one signed before the archive and trailer were added could
    // never start as a package.
    std::uint32_t tableOffset = 0;
    std::uint32_t tableSize = 0;
    if (file.valid() && FindCertificateTable(file.get(), static_cast<int64_t>(bytes.size()), &tableOffset,
                                             &tableSize) == 0)
        throw PackerError("the stub " + name + " is signed; a package made from it would not start. "
                          "Build from the unsigned stub and sign the package");
    return bytes;
}

std::uint32_t PeChecksum(const packaging::Bytes& program)
{
    std::size_t place = ChecksumPlace(program);
    return place == 0 ? 0 : packaging::peChecksum(program, place);
}

void ClampStubTime(packaging::Bytes& stub, std::int64_t latest)
{
    std::size_t pe = PeHeaderWith(stub, kTimeStampField + 4);
    if (pe == 0 || latest >= 0xFFFFFFFFll)
        return;
    std::uint32_t last = latest < 0 ? 0 : static_cast<std::uint32_t>(latest);
    if (ReadU32Le(stub.data() + pe + kTimeStampField) <= last)
        return;
    WriteU32Le(stub.data() + pe + kTimeStampField, last);
    std::size_t place = ChecksumPlace(stub);
    if (place != 0 && ReadU32Le(stub.data() + place) != 0)
        WriteU32Le(stub.data() + place, PeChecksum(stub));
}

std::optional<std::string> StubVersion(const packaging::Bytes& stub)
{
    std::size_t key = FindWideText(stub, kVersionKey);
    if (key == std::string::npos || key < kVersionHeaderSize)
        return std::nullopt;
    std::size_t fixed = key - kVersionHeaderSize + ((kVersionHeaderSize + 2 * sizeof kVersionKey + 3) & ~std::size_t{3});
    if (fixed + kFixedInfoVersionAt + kFixedInfoVersionSize > stub.size() ||
        ReadU32Le(stub.data() + fixed) != kFixedInfoSignature)
        return std::nullopt;
    std::uint32_t high = ReadU32Le(stub.data() + fixed + kFixedInfoVersionAt);
    std::uint32_t low = ReadU32Le(stub.data() + fixed + kFixedInfoVersionAt + 4);
    std::string version = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                          std::to_string(low >> 16);
    if ((low & 0xFFFF) != 0)
        version += "." + std::to_string(low & 0xFFFF);
    return version;
}

}  // namespace packer
