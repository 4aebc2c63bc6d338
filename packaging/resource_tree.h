// A program's resources as a tree of three levels (type, name, language),
// read from its resource section and written back into a new one. The
// writer lays the section out in one fixed order, so that the same tree
// always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packaging/trailer_writer.h"

namespace packaging {

// Resource types by their numbers.
constexpr std::uint16_t kResourceIcon = 3;
constexpr std::uint16_t kResourceIconGroup = 14;
constexpr std::uint16_t kResourceVersion = 16;
constexpr std::uint16_t kResourceManifest = 24;

// A type or a name: a number, or a text when `text` is not empty.
struct ResourceName {
    std::uint16_t id = 0;
    std::u16string text;

    bool operator==(const ResourceName& other) const { return id == other.id && text == other.text; }
};

// What a directory table says of itself besides its entries.
struct ResourceDirectoryInfo {
    std::uint32_t characteristics = 0;
    std::uint32_t timeStamp = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
};

struct ResourceItem {
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    Bytes data;
};

struct ResourceEntry {
    ResourceName name;
    ResourceDirectoryInfo info;
    std::vector<ResourceItem> items;      // one per language
};

struct ResourceType {
    ResourceName type;
    ResourceDirectoryInfo info;
    std::vector<ResourceEntry> entries;
};

struct ResourceTree {
    ResourceDirectoryInfo info;
    std::vector<ResourceType> types;
};

// Reads the tree from a resource section loaded at sectionRva, every
// table's entries in the order the loader searches them. Throws
// FormatError when a table, a name or a data entry lies outside the section
// or the tree is not of three levels.
ResourceTree readResourceTree(const Bytes& section, std::uint32_t sectionRva);

// Writes the tree as a resource section to be loaded at sectionRva: the
// directory tables, the data entries, the names, then the data, each table's
// entries sorted (names first, then numbers), as the loader's search needs.
Bytes writeResourceTree(const ResourceTree& tree, std::uint32_t sectionRva);

// The type with this number; null when the tree has none.
ResourceType* findResourceType(ResourceTree& tree, std::uint16_t type);
const ResourceType* findResourceType(const ResourceTree& tree, std::uint16_t type);

// The type with this number, added (empty) when the tree has none.
ResourceType& resourceType(ResourceTree& tree, std::uint16_t type);

// The entry of that number in a type; null when there is none.
ResourceEntry* findResourceEntry(ResourceType& type, std::uint16_t id);

// Every time stamp of the tree's tables later than latest becomes latest.
void clampResourceTimes(ResourceTree& tree, std::uint32_t latest);

}  // namespace packaging
