// Reading a program's header and swapping its resource section.
#include "pe_image.h"

#include <algorithm>

#include "src/platform/byte_order.h"

namespace packaging {

namespace {

constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;          // after the 4-byte signature
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kMaxSections = 96;             // the loader's own limit
constexpr std::size_t kMaxDirectories = 16;
constexpr std::uint32_t kMaxFileAlignment = 0x10000;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;

// Fields of the optional header, from its start; the same place in 32- and
// 64-bit programs unless two are given.
constexpr std::size_t kInitializedDataField = 8;
constexpr std::size_t kSectionAlignmentField = 32;
constexpr std::size_t kFileAlignmentField = 36;
constexpr std::size_t kImageSizeField = 56;
constexpr std::size_t kChecksumField = 64;
constexpr std::size_t kDirectoryCountField32 = 92;
constexpr std::size_t kDirectoryCountField64 = 108;

constexpr std::uint32_t kInitializedDataSection = 0x00000040;
constexpr std::uint32_t kDiscardableSection = 0x02000000;

// Base relocation blocks: the page's address and the block's size, then
// 16-bit entries of a type (high four bits) and an offset in the page.
constexpr std::size_t kRelocationBlockHeader = 8;
constexpr unsigned kRelocationPadding = 0;

std::uint32_t AlignUp(std::uint64_t value, std::uint32_t alignment)
{
    std::uint64_t aligned = (value + alignment - 1) / alignment * alignment;
    if (aligned > 0xFFFFFFFFu)
        throw FormatError("the program would grow past 4 GiB");
    return static_cast<std::uint32_t>(aligned);
}

void WriteField(Bytes& program, std::size_t at, std::uint32_t value)
{
    WriteU32Le(program.data() + at, value);
}

bool Holds(const PeSection& section, std::uint32_t rva)
{
    return rva >= section.virtualAddress &&
           rva - section.virtualAddress < std::max(section.virtualSize, section.rawSize);
}

// The sections behind the resources must move when these grow or shrink.
// Only the base relocations can: nothing refers to them but their data
// directory entry, and the loader may drop them (they are discardable).
void CheckMovable(const PeImage& image, std::size_t first)
{
    const PeDirectory& relocations = image.directories.size() > kPeBaseRelocationDirectory
                                         ? image.directories[kPeBaseRelocationDirectory]
                                         : PeDirectory{};
    for (std::size_t i = first; i < image.sections.size(); i++) {
        const PeSection& section = image.sections[i];
        bool movable = (section.characteristics & kDiscardableSection) != 0 && relocations.size != 0 &&
                       Holds(section, relocations.rva);
        for (std::size_t d = 0; d < image.directories.size(); d++)
            if (d != kPeBaseRelocationDirectory && image.directories[d].size != 0 &&
                Holds(section, image.directories[d].rva))
                movable = false;
        if (!movable)
            throw FormatError("the section " + section.name +
                              " follows the resources and cannot be moved; link the stub with its resources last");
    }
}

// A relocation that pointed into the resources would patch the new ones
// when the program loads at another address.
void CheckNoRelocationInto(const Bytes& program, const PeImage& image, std::uint32_t from)
{
    if (image.directories.size() <= kPeBaseRelocationDirectory)
        return;
    const PeDirectory& directory = image.directories[kPeBaseRelocationDirectory];
    if (directory.size == 0)
        return;
    for (const PeSection& section : image.sections) {
        if (!Holds(section, directory.rva))
            continue;
        std::uint64_t at = std::uint64_t{section.rawOffset} + (directory.rva - section.virtualAddress);
        std::uint64_t end = at + directory.size;
        if (end > std::uint64_t{section.rawOffset} + section.rawSize || end > program.size())
            throw FormatError("the base relocations run past their section");
        while (at + kRelocationBlockHeader <= end) {
            std::uint32_t page = ReadU32Le(program.data() + at);
            std::uint32_t size = ReadU32Le(program.data() + at + 4);
            if (size < kRelocationBlockHeader || size > end - at)
                throw FormatError("a block of the base relocations is damaged");
            for (std::uint64_t e = at + kRelocationBlockHeader; e + 2 <= at + size; e += 2) {
                std::uint16_t entry = ReadU16Le(program.data() + e);
                if ((entry >> 12) != kRelocationPadding && std::uint64_t{page} + (entry & 0xFFF) >= from)
                    throw FormatError("a base relocation points into the resources");
            }
            at += size;
        }
        return;
    }
    throw FormatError("the base relocations lie in no section");
}

}  // namespace

PeImage readPeImage(const Bytes& program)
{
    if (program.size() < kDosHeaderSize || program[0] != 'M' || program[1] != 'Z')
        throw FormatError("not a Windows program");
    PeImage image;
    std::size_t pe = ReadU32Le(program.data() + kPeOffsetField);
    if (pe < kDosHeaderSize || pe > program.size() || program.size() - pe < 4 + kFileHeaderSize ||
        std::string(program.begin() + static_cast<std::ptrdiff_t>(pe),
                    program.begin() + static_cast<std::ptrdiff_t>(pe + 4)) != std::string("PE\0\0", 4))
        throw FormatError("not a Windows program");
    image.machine = ReadU16Le(program.data() + pe + 4);
    std::size_t sectionCount = ReadU16Le(program.data() + pe + 6);
    image.timeStampAt = pe + 8;
    std::size_t optionalSize = ReadU16Le(program.data() + pe + 20);
    image.optionalAt = pe + 4 + kFileHeaderSize;
    if (program.size() - image.optionalAt < optionalSize || optionalSize < kDirectoryCountField32 + 4)
        throw FormatError("the program header is cut short");
    std::uint16_t magic = ReadU16Le(program.data() + image.optionalAt);
    if (magic != kPe32Magic && magic != kPe32PlusMagic)
        throw FormatError("the program header is of an unknown kind");
    image.pe32Plus = magic == kPe32PlusMagic;
    std::size_t countField = image.pe32Plus ? kDirectoryCountField64 : kDirectoryCountField32;
    if (optionalSize < countField + 4)
        throw FormatError("the program header is cut short");
    const std::uint8_t* optional = program.data() + image.optionalAt;
    image.sectionAlignment = ReadU32Le(optional + kSectionAlignmentField);
    image.fileAlignment = ReadU32Le(optional + kFileAlignmentField);
    // Powers of two, the file's at most 64 KiB as the loader wants it: a
    // damaged value must not make a rewritten program gigabytes long.
    auto powerOfTwo = [](std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; };
    if (!powerOfTwo(image.sectionAlignment) || !powerOfTwo(image.fileAlignment) ||
        image.fileAlignment > kMaxFileAlignment)
        throw FormatError("the program header gives alignments no program has");
    image.checksumAt = image.optionalAt + kChecksumField;
    std::size_t directoryCount = std::min<std::size_t>(ReadU32Le(optional + countField), kMaxDirectories);
    image.directoriesAt = image.optionalAt + countField + 4;
    if (directoryCount * 8 > optionalSize - (countField + 4))
        throw FormatError("the program header is cut short");
    for (std::size_t d = 0; d < directoryCount; d++)
        image.directories.push_back({ReadU32Le(program.data() + image.directoriesAt + 8 * d),
                                     ReadU32Le(program.data() + image.directoriesAt + 8 * d + 4)});

    std::size_t table = image.optionalAt + optionalSize;
    if (sectionCount > kMaxSections || (program.size() - table) / kSectionHeaderSize < sectionCount)
        throw FormatError("the section table is cut short");
    for (std::size_t i = 0; i < sectionCount; i++) {
        const std::uint8_t* header = program.data() + table + i * kSectionHeaderSize;
        PeSection section;
        const char* name = reinterpret_cast<const char*>(header);
        section.name.assign(name, std::find(name, name + 8, '\0'));
        section.virtualSize = ReadU32Le(header + 8);
        section.virtualAddress = ReadU32Le(header + 12);
        section.rawSize = ReadU32Le(header + 16);
        section.rawOffset = ReadU32Le(header + 20);
        section.characteristics = ReadU32Le(header + 36);
        section.headerAt = table + i * kSectionHeaderSize;
        image.sections.push_back(section);
    }
    return image;
}

const PeSection* findResourceSection(const PeImage& image)
{
    if (image.directories.size() <= kPeResourceDirectory || image.directories[kPeResourceDirectory].size == 0)
        return nullptr;
    for (const PeSection& section : image.sections)
        if (section.virtualAddress == image.directories[kPeResourceDirectory].rva)
            return &section;
    return nullptr;
}

Bytes sectionBytes(const Bytes& program, const PeSection& section)
{
    if (section.rawOffset > program.size() || program.size() - section.rawOffset < section.rawSize)
        throw FormatError("the section " + section.name + " runs past the end of the file");
    auto start = program.begin() + section.rawOffset;
    return Bytes(start, start + section.rawSize);
}

std::uint32_t peChecksum(const Bytes& program, std::size_t checksumAt)
{
    // 16-bit words summed with their carries folded back, then the length.
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < program.size(); i += 2) {
        if (i == checksumAt || i == checksumAt + 2)
            continue;
        std::uint32_t word = program[i];
        if (i + 1 < program.size())
            word |= static_cast<std::uint32_t>(program[i + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + program.size());
}

void replaceResourceSection(Bytes& program, const Bytes& resources)
{
    PeImage image = readPeImage(program);
    const PeSection* found = findResourceSection(image);
    if (found == nullptr)
        throw FormatError("the program has no resource section");
    if (image.directories.size() > kPeSecurityDirectory && image.directories[kPeSecurityDirectory].size != 0)
        throw FormatError("the program is signed, and a signature covers its resources; sign the package "
                          "after building it instead");
    std::size_t index = static_cast<std::size_t>(found - image.sections.data());
    for (std::size_t d = 0; d < image.directories.size(); d++)
        if (d != kPeResourceDirectory && image.directories[d].size != 0 && Holds(*found, image.directories[d].rva))
            throw FormatError("the resource section holds other data the program needs");

    // Where the file's bytes end by its sections; anything behind them (a
    // symbol table, debug data, an appended tail) would no longer be found.
    std::uint64_t end = 0;
    for (const PeSection& section : image.sections) {
        if (section.rawSize == 0)
            continue;
        if (std::uint64_t{section.rawOffset} + section.rawSize > program.size())
            throw FormatError("the section " + section.name + " runs past the end of the file");
        end = std::max(end, std::uint64_t{section.rawOffset} + section.rawSize);
    }
    if (program.size() > end)
        throw FormatError("the program holds " + std::to_string(program.size() - end) +
                          " bytes behind its last section, which would end up inside it");
    // The new resources take the old ones' place and whatever follows
    // them, in the file and in memory: everything before them must stay
    // before them.
    if (found->rawSize == 0 || found->rawOffset < image.directoriesAt)
        throw FormatError("the resource section has no data of its own in the file");
    for (std::size_t i = 0; i < index; i++) {
        const PeSection& section = image.sections[i];
        if ((section.rawSize != 0 && std::uint64_t{section.rawOffset} + section.rawSize > found->rawOffset) ||
            std::uint64_t{section.virtualAddress} + std::max(section.virtualSize, section.rawSize) >
                found->virtualAddress)
            throw FormatError("the section " + section.name + " lies behind the resources");
    }
    CheckMovable(image, index + 1);
    for (std::size_t i = index + 1; i < image.sections.size(); i++)
        if (image.sections[i].virtualAddress <= image.sections[i - 1].virtualAddress ||
            image.sections[i].rawOffset < image.sections[i - 1].rawOffset)
            throw FormatError("the sections behind the resources are out of order");
    CheckNoRelocationInto(program, image, found->virtualAddress);

    Bytes rewritten(program.begin(), program.begin() + found->rawOffset);
    rewritten.insert(rewritten.end(), resources.begin(), resources.end());
    std::uint32_t rawSize = AlignUp(resources.size(), image.fileAlignment);
    rewritten.resize(std::uint64_t{found->rawOffset} + rawSize, 0);
    std::int64_t initializedChange = static_cast<std::int64_t>(rawSize) - found->rawSize;

    std::vector<PeSection> placed = image.sections;
    placed[index].virtualSize = static_cast<std::uint32_t>(resources.size());
    placed[index].rawSize = rawSize;
    for (std::size_t i = index + 1; i < placed.size(); i++) {
        const PeSection& before = placed[i - 1];
        PeSection& section = placed[i];
        section.virtualAddress =
            AlignUp(std::uint64_t{before.virtualAddress} + std::max(before.virtualSize, before.rawSize),
                    image.sectionAlignment);
        Bytes raw = sectionBytes(program, image.sections[i]);
        section.rawOffset = section.rawSize == 0 ? 0 : static_cast<std::uint32_t>(rewritten.size());
        rewritten.insert(rewritten.end(), raw.begin(), raw.end());
    }
    for (std::size_t i = index; i < placed.size(); i++) {
        const PeSection& section = placed[i];
        WriteField(rewritten, section.headerAt + 8, section.virtualSize);
        WriteField(rewritten, section.headerAt + 12, section.virtualAddress);
        WriteField(rewritten, section.headerAt + 16, section.rawSize);
        WriteField(rewritten, section.headerAt + 20, section.rawOffset);
    }
    // Directories that pointed into a moved section move with it.
    for (std::size_t d = 0; d < image.directories.size(); d++) {
        const PeDirectory& directory = image.directories[d];
        for (std::size_t i = index + 1; i < placed.size(); i++)
            if (directory.size != 0 && Holds(image.sections[i], directory.rva))
                WriteField(rewritten, image.directoriesAt + 8 * d,
                           directory.rva - image.sections[i].virtualAddress + placed[i].virtualAddress);
    }
    WriteField(rewritten, image.directoriesAt + 8 * kPeResourceDirectory + 4,
               static_cast<std::uint32_t>(resources.size()));
    const PeSection& last = placed.back();
    WriteField(rewritten, image.optionalAt + kImageSizeField,
               AlignUp(std::uint64_t{last.virtualAddress} + std::max(last.virtualSize, last.rawSize),
                       image.sectionAlignment));
    if (found->characteristics & kInitializedDataSection) {
        std::int64_t size = ReadU32Le(rewritten.data() + image.optionalAt + kInitializedDataField) + initializedChange;
        WriteField(rewritten, image.optionalAt + kInitializedDataField,
                   static_cast<std::uint32_t>(std::max<std::int64_t>(size, 0)));
    }
    if (ReadU32Le(rewritten.data() + image.checksumAt) != 0)
        WriteField(rewritten, image.checksumAt, peChecksum(rewritten, image.checksumAt));
    program = std::move(rewritten);
}

}  // namespace packaging
