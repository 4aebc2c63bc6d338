// Writing the small test program.
#include "support/program_builder.h"

#include <string>

#include "packaging/pe_image.h"
#include "packaging/version_resource.h"
#include "support/icon_builder.h"

namespace packaging {

namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::size_t kPeAt = 0x40;
constexpr std::size_t kOptionalAt = kPeAt + 24;
constexpr std::size_t kOptionalSize = 96 + 16 * 8;
constexpr std::size_t kSectionTableAt = kOptionalAt + kOptionalSize;
constexpr std::uint32_t kCode = 0x60000020;
constexpr std::uint32_t kReadOnlyData = 0x40000040;
constexpr std::uint32_t kRelocations = 0x42000040;
constexpr std::uint32_t kWritableData = 0xC0000040;
constexpr std::uint16_t kGerman = 0x0407;

struct Section {
    const char* name;
    Bytes data;
    std::uint32_t characteristics;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawOffset = 0;
};

std::uint32_t Align(std::size_t value, std::uint32_t alignment)
{
    return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

void Put16(Bytes& out, std::size_t at, std::uint16_t value)
{
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; i++)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes RelocationBlock(std::uint32_t page, std::uint16_t offset)
{
    Bytes block;
    appendU32(block, page);
    appendU32(block, 12);
    appendU16(block, static_cast<std::uint16_t>(3 << 12 | offset));   // a 32-bit address
    appendU16(block, 0);                                               // padding
    return block;
}

ResourceEntry Entry(std::uint16_t id, const Bytes& data)
{
    ResourceEntry entry;
    entry.name.id = id;
    entry.items.push_back({kGerman, 0, data});
    return entry;
}

}  // namespace

ResourceTree testResources()
{
    ResourceTree tree;
    ResourceType bitmap;
    bitmap.type.id = 2;
    bitmap.entries.push_back(Entry(120, Bytes(300, 0x5A)));
    ResourceType icons;
    icons.type.id = kResourceIcon;
    ResourceType groups;
    groups.type.id = kResourceIconGroup;
    std::vector<TestIconImage> images = {{32, 0x0000FF, false, 4}, {16, 0x0000FF, false, 4}};
    Bytes group;
    appendU16(group, 0);
    appendU16(group, 1);
    appendU16(group, 2);
    for (std::size_t i = 0; i < images.size(); i++) {
        Bytes image = makeIconImage(images[i]);
        icons.entries.push_back(Entry(static_cast<std::uint16_t>(i + 1), image));
        group.insert(group.end(), {static_cast<std::uint8_t>(images[i].side), static_cast<std::uint8_t>(images[i].side),
                                   16, 0});
        appendU16(group, 1);
        appendU16(group, 4);
        appendU32(group, static_cast<std::uint32_t>(image.size()));
        appendU16(group, static_cast<std::uint16_t>(i + 1));
    }
    groups.entries.push_back(Entry(121, group));
    ResourceType versions;
    versions.type.id = kResourceVersion;
    VersionResource version;
    version.fileVersion = version.productVersion = {1, 0, 0, 0};
    Bytes written = writeVersionResource(version);
    versions.entries.push_back(Entry(1, written));
    ResourceType manifests;
    manifests.type.id = kResourceManifest;
    std::string manifest = "<assembly><trustInfo><security><requestedPrivileges>"
                           "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"
                           "</requestedPrivileges></security></trustInfo></assembly>";
    manifests.entries.push_back(Entry(1, Bytes(manifest.begin(), manifest.end())));
    ResourceType named;
    named.type.text = u"CUSTOM";
    const std::string custom = "custom data";
    ResourceEntry data = Entry(0, Bytes(custom.begin(), custom.end()));
    data.name.text = u"SETTINGS";
    named.entries.push_back(data);
    tree.types = {named, bitmap, icons, groups, versions, manifests};
    return tree;
}

Bytes makeTestProgram(const TestProgram& program)
{
    std::vector<Section> sections = {{".text", Bytes(0x40, 0xC3), kCode},
                                     {".rsrc", {}, kReadOnlyData},
                                     {".reloc", RelocationBlock(0x1000, 0x10), kRelocations}};
    if (program.relocationIntoResources) {
        Bytes more = RelocationBlock(0x2000, 0x8);
        sections[2].data.insert(sections[2].data.end(), more.begin(), more.end());
    }
    if (program.dataBehindResources)
        sections.push_back({".data", Bytes(0x20, 0x11), kWritableData});
    // The resources' addresses depend on where their section lies: the
    // second page, after the code's.
    sections[1].data = writeResourceTree(program.resources, 2 * kSectionAlignment);

    Bytes file(kFileAlignment, 0);
    std::uint32_t address = kSectionAlignment;
    for (Section& section : sections) {
        section.virtualAddress = address;
        section.rawOffset = static_cast<std::uint32_t>(file.size());
        file.insert(file.end(), section.data.begin(), section.data.end());
        file.resize(Align(file.size(), kFileAlignment), 0);
        address += Align(section.data.size(), kSectionAlignment);
    }
    std::uint32_t initialized = 0;
    for (const Section& section : sections)
        if (section.characteristics != kCode)
            initialized += Align(section.data.size(), kFileAlignment);

    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, kPeAt);
    file[kPeAt] = 'P';
    file[kPeAt + 1] = 'E';
    Put16(file, kPeAt + 4, 0x014C);
    Put16(file, kPeAt + 6, static_cast<std::uint16_t>(sections.size()));
    Put32(file, kPeAt + 8, 0x5F000000);   // link time
    Put16(file, kPeAt + 20, kOptionalSize);
    Put16(file, kPeAt + 22, 0x0102);      // executable, 32-bit
    Put16(file, kOptionalAt, 0x10B);
    Put32(file, kOptionalAt + 4, kFileAlignment);
    Put32(file, kOptionalAt + 8, initialized);
    Put32(file, kOptionalAt + 16, kSectionAlignment);
    Put32(file, kOptionalAt + 20, kSectionAlignment);
    Put32(file, kOptionalAt + 28, 0x400000);
    Put32(file, kOptionalAt + 32, kSectionAlignment);
    Put32(file, kOptionalAt + 36, kFileAlignment);
    Put16(file, kOptionalAt + 40, 4);
    Put16(file, kOptionalAt + 48, 4);
    Put32(file, kOptionalAt + 56, address);
    Put32(file, kOptionalAt + 60, kFileAlignment);
    Put16(file, kOptionalAt + 68, 2);       // a GUI program
    Put16(file, kOptionalAt + 70, 0x0140);  // moves, and its data do not run
    Put32(file, kOptionalAt + 72, 0x100000);
    Put32(file, kOptionalAt + 76, 0x1000);
    Put32(file, kOptionalAt + 80, 0x100000);
    Put32(file, kOptionalAt + 84, 0x1000);
    Put32(file, kOptionalAt + 92, 16);
    std::size_t directories = kOptionalAt + 96;
    Put32(file, directories + 8 * kPeResourceDirectory, sections[1].virtualAddress);
    Put32(file, directories + 8 * kPeResourceDirectory + 4, static_cast<std::uint32_t>(sections[1].data.size()));
    Put32(file, directories + 8 * kPeBaseRelocationDirectory, sections[2].virtualAddress);
    Put32(file, directories + 8 * kPeBaseRelocationDirectory + 4, static_cast<std::uint32_t>(sections[2].data.size()));
    for (std::size_t i = 0; i < sections.size(); i++) {
        std::size_t at = kSectionTableAt + 40 * i;
        std::string name = sections[i].name;
        std::copy(name.begin(), name.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        Put32(file, at + 8, static_cast<std::uint32_t>(sections[i].data.size()));
        Put32(file, at + 12, sections[i].virtualAddress);
        Put32(file, at + 16, Align(sections[i].data.size(), kFileAlignment));
        Put32(file, at + 20, sections[i].rawOffset);
        Put32(file, at + 36, sections[i].characteristics);
    }
    if (program.signature) {
        // Where a signing tool puts its table: behind everything.
        Put32(file, directories + 8 * kPeSecurityDirectory, static_cast<std::uint32_t>(file.size()));
        Put32(file, directories + 8 * kPeSecurityDirectory + 4, 16);
        file.resize(file.size() + 16, 0);
    }
    file.resize(file.size() + program.tail, 0xEE);
    if (program.checksum)
        Put32(file, kOptionalAt + 64, peChecksum(file, kOptionalAt + 64));
    return file;
}

}  // namespace packaging
