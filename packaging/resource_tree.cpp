// Reading and writing the resource directory of a program.
#include "resource_tree.h"

#include <algorithm>
#include <map>
#include <set>

#include "src/platform/byte_order.h"

namespace packaging {

namespace {

constexpr std::size_t kDirectorySize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
// In a directory entry: the name is a text, the data a further table.
constexpr std::uint32_t kNameIsText = 0x80000000u;
constexpr std::uint32_t kDataIsDirectory = 0x80000000u;
constexpr std::size_t kDataAlignment = 8;

struct RawEntry {
    ResourceName name;
    bool directory = false;
    std::uint32_t offset = 0;
};

// Reads the section with every offset checked. Each table and data entry
// may be reached once, and the data together may not outgrow the section:
// a damaged tree whose entries all point at one table cannot make the
// reader copy the same data a million times.
class SectionReader {
  public:
    SectionReader(const Bytes& section, std::uint32_t rva) : section_(section), rva_(rva) {}

    ResourceDirectoryInfo directory(std::uint32_t offset, std::vector<RawEntry>& entries)
    {
        need(offset, kDirectorySize);
        if (!seen_.insert(offset).second)
            damaged();
        const std::uint8_t* table = section_.data() + offset;
        ResourceDirectoryInfo info{ReadU32Le(table), ReadU32Le(table + 4), ReadU16Le(table + 8),
                                   ReadU16Le(table + 10)};
        std::size_t count = std::size_t{ReadU16Le(table + 12)} + ReadU16Le(table + 14);
        need(offset + kDirectorySize, count * kDirectoryEntrySize);
        for (std::size_t i = 0; i < count; i++) {
            const std::uint8_t* entry = table + kDirectorySize + i * kDirectoryEntrySize;
            std::uint32_t name = ReadU32Le(entry);
            std::uint32_t data = ReadU32Le(entry + 4);
            RawEntry raw;
            if (name & kNameIsText)
                raw.name.text = text(name & ~kNameIsText);
            else if (name > 0xFFFF)
                damaged();
            else
                raw.name.id = static_cast<std::uint16_t>(name);
            raw.directory = (data & kDataIsDirectory) != 0;
            raw.offset = data & ~kDataIsDirectory;
            entries.push_back(raw);
        }
        return info;
    }

    ResourceItem item(const RawEntry& entry)
    {
        if (entry.directory || !entry.name.text.empty())
            throw FormatError("the resource tree has more than three levels");
        need(entry.offset, kDataEntrySize);
        if (!seen_.insert(entry.offset).second)
            damaged();
        const std::uint8_t* data = section_.data() + entry.offset;
        std::uint32_t rva = ReadU32Le(data);
        std::uint32_t size = ReadU32Le(data + 4);
        if (rva < rva_)
            damaged();
        need(rva - rva_, size);
        dataTotal_ += size;
        if (dataTotal_ > section_.size())
            damaged();
        ResourceItem item;
        item.language = entry.name.id;
        item.codePage = ReadU32Le(data + 8);
        item.data.assign(section_.begin() + (rva - rva_), section_.begin() + (rva - rva_) + size);
        return item;
    }

  private:
    [[noreturn]] static void damaged() { throw FormatError("the resource section is damaged"); }

    void need(std::uint64_t at, std::uint64_t size) const
    {
        if (at > section_.size() || section_.size() - at < size)
            damaged();
    }

    std::u16string text(std::uint32_t offset)
    {
        need(offset, 2);
        std::size_t length = ReadU16Le(section_.data() + offset);
        need(offset + 2, 2 * length);
        std::u16string text;
        for (std::size_t i = 0; i < length; i++)
            text.push_back(static_cast<char16_t>(ReadU16Le(section_.data() + offset + 2 + 2 * i)));
        if (text.empty())
            damaged();
        return text;
    }

    const Bytes& section_;
    std::uint32_t rva_;
    std::set<std::uint32_t> seen_;
    std::uint64_t dataTotal_ = 0;
};

// Text names first, in the order of their UTF-16 units, then numbers.
bool NameBefore(const ResourceName& a, const ResourceName& b)
{
    if (a.text.empty() != b.text.empty())
        return !a.text.empty();
    return a.text.empty() ? a.id < b.id : a.text < b.text;
}

void Put16(Bytes& out, std::size_t at, std::uint16_t value)
{
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes& out, std::size_t at, std::uint32_t value)
{
    WriteU32Le(out.data() + at, value);
}

std::size_t Align(std::size_t value, std::size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

std::size_t TableSize(std::size_t entries)
{
    if (entries > 0xFFFF)
        throw FormatError("a resource table would hold more than 65535 entries");
    return kDirectorySize + kDirectoryEntrySize * entries;
}

template <typename Item, typename Name>
std::size_t TextNamed(const std::vector<Item>& items, Name name)
{
    return static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(), [&name](const Item& item) { return !name(item).text.empty(); }));
}

// Lays the section out and writes it: tables level by level, then the data
// entries, the texts of names, and the data.
class SectionWriter {
  public:
    SectionWriter(const ResourceTree& tree, std::uint32_t rva) : tree_(tree), rva_(rva) {}

    Bytes write()
    {
        std::size_t end = layOut();
        out_.assign(Align(end, 4), 0);
        writeTable(0, tree_.info, TextNamed(tree_.types, [](const ResourceType& t) -> const ResourceName& {
                       return t.type;
                   }),
                   tree_.types.size());
        std::size_t entryIndex = 0;
        std::size_t itemIndex = 0;
        for (std::size_t t = 0; t < tree_.types.size(); t++) {
            const ResourceType& type = tree_.types[t];
            std::size_t typeTable = typeTables_[t];
            writeEntry(0, t, type.type, kDataIsDirectory | static_cast<std::uint32_t>(typeTable));
            writeTable(typeTable, type.info, TextNamed(type.entries, [](const ResourceEntry& e) -> const ResourceName& {
                           return e.name;
                       }),
                       type.entries.size());
            for (std::size_t e = 0; e < type.entries.size(); e++, entryIndex++) {
                const ResourceEntry& entry = type.entries[e];
                std::size_t table = entryTables_[entryIndex];
                writeEntry(typeTable, e, entry.name, kDataIsDirectory | static_cast<std::uint32_t>(table));
                writeTable(table, entry.info, 0, entry.items.size());
                for (std::size_t i = 0; i < entry.items.size(); i++, itemIndex++)
                    writeItem(table, i, entry.items[i], itemIndex);
            }
        }
        for (const auto& [name, offset] : texts_) {
            Put16(out_, offset, static_cast<std::uint16_t>(name->text.size()));
            for (std::size_t i = 0; i < name->text.size(); i++)
                Put16(out_, offset + 2 + 2 * i, static_cast<std::uint16_t>(name->text[i]));
        }
        return std::move(out_);
    }

  private:
    // Places every table, data entry, name and datum; returns the end.
    std::size_t layOut()
    {
        std::size_t at = TableSize(tree_.types.size());
        for (const ResourceType& type : tree_.types) {
            typeTables_.push_back(at);
            at += TableSize(type.entries.size());
        }
        for (const ResourceType& type : tree_.types)
            for (const ResourceEntry& entry : type.entries) {
                entryTables_.push_back(at);
                at += TableSize(entry.items.size());
            }
        dataEntries_ = at;
        for (const ResourceType& type : tree_.types)
            for (const ResourceEntry& entry : type.entries)
                at += kDataEntrySize * entry.items.size();
        for (const ResourceType& type : tree_.types) {
            at = placeText(type.type, at);
            for (const ResourceEntry& entry : type.entries)
                at = placeText(entry.name, at);
        }
        for (const ResourceType& type : tree_.types)
            for (const ResourceEntry& entry : type.entries)
                for (const ResourceItem& item : entry.items) {
                    at = Align(at, kDataAlignment);
                    data_.push_back(at);
                    at += item.data.size();
                }
        if (at > 0x7FFFFFFF)
            throw FormatError("the resources would reach 2 GiB");
        return at;
    }

    std::size_t placeText(const ResourceName& name, std::size_t at)
    {
        if (name.text.empty())
            return at;
        if (name.text.size() > 0xFFFF)
            throw FormatError("a resource name is too long");
        texts_[&name] = at;
        return at + 2 + 2 * name.text.size();
    }

    void writeTable(std::size_t at, const ResourceDirectoryInfo& info, std::size_t named, std::size_t count)
    {
        Put32(out_, at, info.characteristics);
        Put32(out_, at + 4, info.timeStamp);
        Put16(out_, at + 8, info.majorVersion);
        Put16(out_, at + 10, info.minorVersion);
        Put16(out_, at + 12, static_cast<std::uint16_t>(named));
        Put16(out_, at + 14, static_cast<std::uint16_t>(count - named));
    }

    void writeEntry(std::size_t table, std::size_t index, const ResourceName& name, std::uint32_t data)
    {
        std::size_t at = table + kDirectorySize + index * kDirectoryEntrySize;
        std::uint32_t field = name.text.empty() ? name.id : kNameIsText | static_cast<std::uint32_t>(texts_.at(&name));
        Put32(out_, at, field);
        Put32(out_, at + 4, data);
    }

    void writeItem(std::size_t table, std::size_t index, const ResourceItem& item, std::size_t itemIndex)
    {
        std::size_t dataEntry = dataEntries_ + kDataEntrySize * itemIndex;
        writeEntry(table, index, ResourceName{item.language, {}}, static_cast<std::uint32_t>(dataEntry));
        Put32(out_, dataEntry, rva_ + static_cast<std::uint32_t>(data_[itemIndex]));
        Put32(out_, dataEntry + 4, static_cast<std::uint32_t>(item.data.size()));
        Put32(out_, dataEntry + 8, item.codePage);
        std::copy(item.data.begin(), item.data.end(), out_.begin() + static_cast<std::ptrdiff_t>(data_[itemIndex]));
    }

    const ResourceTree& tree_;
    std::uint32_t rva_;
    std::vector<std::size_t> typeTables_;    // where each type's table lies
    std::vector<std::size_t> entryTables_;   // each entry's, in tree order
    std::size_t dataEntries_ = 0;            // the first data entry
    std::vector<std::size_t> data_;          // each item's data, in tree order
    std::map<const ResourceName*, std::size_t> texts_;
    Bytes out_;
};

void Clamp(ResourceDirectoryInfo& info, std::uint32_t latest)
{
    info.timeStamp = std::min(info.timeStamp, latest);
}

// Every table's entries in the order the loader searches them: the first
// entry is then the one Explorer and the loader take.
void SortTree(ResourceTree& tree)
{
    std::stable_sort(tree.types.begin(), tree.types.end(),
                     [](const ResourceType& a, const ResourceType& b) { return NameBefore(a.type, b.type); });
    for (ResourceType& type : tree.types) {
        std::stable_sort(type.entries.begin(), type.entries.end(),
                         [](const ResourceEntry& a, const ResourceEntry& b) { return NameBefore(a.name, b.name); });
        for (ResourceEntry& entry : type.entries)
            std::stable_sort(entry.items.begin(), entry.items.end(),
                             [](const ResourceItem& a, const ResourceItem& b) { return a.language < b.language; });
    }
}

}  // namespace

ResourceTree readResourceTree(const Bytes& section, std::uint32_t sectionRva)
{
    SectionReader reader(section, sectionRva);
    ResourceTree tree;
    std::vector<RawEntry> types;
    tree.info = reader.directory(0, types);
    for (const RawEntry& rawType : types) {
        if (!rawType.directory)
            throw FormatError("the resource tree has fewer than three levels");
        ResourceType type;
        type.type = rawType.name;
        std::vector<RawEntry> names;
        type.info = reader.directory(rawType.offset, names);
        for (const RawEntry& rawName : names) {
            if (!rawName.directory)
                throw FormatError("the resource tree has fewer than three levels");
            ResourceEntry entry;
            entry.name = rawName.name;
            std::vector<RawEntry> languages;
            entry.info = reader.directory(rawName.offset, languages);
            for (const RawEntry& language : languages)
                entry.items.push_back(reader.item(language));
            type.entries.push_back(std::move(entry));
        }
        tree.types.push_back(std::move(type));
    }
    SortTree(tree);
    return tree;
}

Bytes writeResourceTree(const ResourceTree& tree, std::uint32_t sectionRva)
{
    ResourceTree sorted = tree;
    SortTree(sorted);
    return SectionWriter(sorted, sectionRva).write();
}

ResourceType* findResourceType(ResourceTree& tree, std::uint16_t type)
{
    for (ResourceType& candidate : tree.types)
        if (candidate.type.text.empty() && candidate.type.id == type)
            return &candidate;
    return nullptr;
}

const ResourceType* findResourceType(const ResourceTree& tree, std::uint16_t type)
{
    return findResourceType(const_cast<ResourceTree&>(tree), type);
}

ResourceType& resourceType(ResourceTree& tree, std::uint16_t type)
{
    if (ResourceType* found = findResourceType(tree, type))
        return *found;
    ResourceType added;
    added.type.id = type;
    added.info = tree.info;
    tree.types.push_back(added);
    return tree.types.back();
}

ResourceEntry* findResourceEntry(ResourceType& type, std::uint16_t id)
{
    for (ResourceEntry& entry : type.entries)
        if (entry.name.text.empty() && entry.name.id == id)
            return &entry;
    return nullptr;
}

void clampResourceTimes(ResourceTree& tree, std::uint32_t latest)
{
    Clamp(tree.info, latest);
    for (ResourceType& type : tree.types) {
        Clamp(type.info, latest);
        for (ResourceEntry& entry : type.entries)
            Clamp(entry.info, latest);
    }
}

}  // namespace packaging
