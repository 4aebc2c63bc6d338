// Setting and reading a program's icon, version information and execution
// level in its resource tree.
#include "program_resources.h"

#include <algorithm>
#include <set>

#include "packaging/execution_level.h"
#include "packaging/pe_image.h"
#include "packaging/resource_tree.h"

namespace packaging {

namespace {

// The id given to a group or a version resource the program lacks.
constexpr std::uint16_t kFirstResourceId = 1;

ResourceEntry& FirstEntry(ResourceType& type, const ResourceTree& tree)
{
    if (type.entries.empty()) {
        ResourceEntry added;
        added.name.id = kFirstResourceId;
        added.info = tree.info;
        type.entries.push_back(added);
    }
    return type.entries.front();
}

std::set<std::uint16_t> ImagesOf(const ResourceEntry& group)
{
    std::set<std::uint16_t> ids;
    for (const ResourceItem& item : group.items)
        for (const IconGroupEntry& entry : readIconGroup(item.data))
            ids.insert(entry.id);
    return ids;
}

// The main group (the first: the one Explorer shows and the stub's window
// loads) takes the new images; the old ones go unless another group lists
// them; the new ones take the lowest free ids.
void ReplaceIcon(ResourceTree& tree, const std::vector<IconImage>& images)
{
    // Both types made first: adding one moves the others in memory.
    resourceType(tree, kResourceIconGroup);
    resourceType(tree, kResourceIcon);
    ResourceType& groups = *findResourceType(tree, kResourceIconGroup);
    ResourceType& icons = *findResourceType(tree, kResourceIcon);
    bool existed = !groups.entries.empty();
    ResourceEntry& group = FirstEntry(groups, tree);
    ResourceItem item;
    std::set<std::uint16_t> old;
    if (existed && !group.items.empty()) {
        item.language = group.items.front().language;
        item.codePage = group.items.front().codePage;
        old = ImagesOf(group);
    }
    for (std::size_t g = 1; g < groups.entries.size(); g++)
        for (std::uint16_t id : ImagesOf(groups.entries[g]))
            old.erase(id);

    icons.entries.erase(std::remove_if(icons.entries.begin(), icons.entries.end(),
                                       [&old](const ResourceEntry& icon) {
                                           return icon.name.text.empty() && old.count(icon.name.id) != 0;
                                       }),
                        icons.entries.end());
    std::set<std::uint16_t> used;
    for (const ResourceEntry& icon : icons.entries)
        if (icon.name.text.empty())
            used.insert(icon.name.id);
    std::vector<std::uint16_t> ids;
    for (std::uint32_t id = kFirstResourceId; ids.size() < images.size(); id++) {
        if (id > 0xFFFF)
            throw FormatError("the program has no room for more icon images");
        if (used.count(static_cast<std::uint16_t>(id)) == 0)
            ids.push_back(static_cast<std::uint16_t>(id));
    }
    for (std::size_t i = 0; i < images.size(); i++) {
        ResourceEntry icon;
        icon.name.id = ids[i];
        icon.info = icons.info;
        icon.items.push_back({item.language, 0, images[i].data});
        icons.entries.push_back(std::move(icon));
    }
    item.data = makeIconGroup(images, ids);
    group.items = {item};
}

// The numbers and texts given, in the language and code page of the
// program's own version resource, and its fixed part's other fields.
void ReplaceVersion(ResourceTree& tree, const VersionChange& change)
{
    ResourceEntry& entry = FirstEntry(resourceType(tree, kResourceVersion), tree);
    VersionResource version;
    ResourceItem item;
    version.codePage = kDefaultVersionCodePage;
    if (!entry.items.empty()) {
        item.language = entry.items.front().language;
        item.codePage = entry.items.front().codePage;
        VersionResource old = readVersionResource(entry.items.front().data);
        version.fixed = old.fixed;
        version.language = item.language;
        if (old.hasStrings) {
            version.language = old.language;
            version.codePage = old.codePage;
        } else if (!old.translations.empty()) {
            version.language = static_cast<std::uint16_t>(old.translations.front());
            version.codePage = static_cast<std::uint16_t>(old.translations.front() >> 16);
        }
    }
    if (version.codePage != kDefaultVersionCodePage && version.codePage != kUnicodeCodePage)
        throw FormatError("the program's version information is in code page " + std::to_string(version.codePage) +
                          "; texts are written in Windows-1252 (1252) or Unicode (1200) only");
    version.fileVersion = change.fileVersion;
    version.productVersion = change.productVersion;
    version.strings = change.strings;
    version.hasStrings = !version.strings.empty();
    item.data = writeVersionResource(version);
    entry.items = {item};
}

void SetManifestLevel(ResourceTree& tree, const std::string& level)
{
    ResourceType* manifests = findResourceType(tree, kResourceManifest);
    if (manifests == nullptr || manifests->entries.empty() || manifests->entries.front().items.empty())
        throw FormatError("the program has no manifest to set the execution level in");
    ResourceItem& item = manifests->entries.front().items.front();
    std::string text = setExecutionLevel(std::string(item.data.begin(), item.data.end()), level);
    item.data.assign(text.begin(), text.end());
}

}  // namespace

void changeProgramResources(Bytes& program, const ProgramChanges& changes)
{
    PeImage image = readPeImage(program);
    const PeSection* section = findResourceSection(image);
    if (section == nullptr)
        throw FormatError("the program has no resources");
    ResourceTree tree = readResourceTree(sectionBytes(program, *section), section->virtualAddress);
    if (!changes.icon.empty())
        ReplaceIcon(tree, changes.icon);
    if (changes.version)
        ReplaceVersion(tree, *changes.version);
    if (changes.executionLevel)
        SetManifestLevel(tree, *changes.executionLevel);
    if (changes.latestTime)
        clampResourceTimes(tree, *changes.latestTime);
    replaceResourceSection(program, writeResourceTree(tree, section->virtualAddress));
}

ProgramResources readProgramResources(const Bytes& program)
{
    PeImage image = readPeImage(program);
    const PeSection* section = findResourceSection(image);
    ProgramResources resources;
    if (section == nullptr)
        return resources;
    ResourceTree tree = readResourceTree(sectionBytes(program, *section), section->virtualAddress);
    const ResourceType* groups = findResourceType(tree, kResourceIconGroup);
    const ResourceType* icons = findResourceType(tree, kResourceIcon);
    if (groups != nullptr && !groups->entries.empty() && !groups->entries.front().items.empty()) {
        for (const IconGroupEntry& entry : readIconGroup(groups->entries.front().items.front().data)) {
            IconView view{entry, false};
            if (icons != nullptr)
                for (const ResourceEntry& icon : icons->entries)
                    if (icon.name.text.empty() && icon.name.id == entry.id && !icon.items.empty())
                        view.png = isPngImage(icon.items.front().data);
            resources.icon.push_back(view);
        }
    }
    const ResourceType* versions = findResourceType(tree, kResourceVersion);
    if (versions != nullptr && !versions->entries.empty() && !versions->entries.front().items.empty())
        resources.version = readVersionResource(versions->entries.front().items.front().data);
    const ResourceType* manifests = findResourceType(tree, kResourceManifest);
    if (manifests != nullptr && !manifests->entries.empty() && !manifests->entries.front().items.empty()) {
        const Bytes& text = manifests->entries.front().items.front().data;
        resources.executionLevel = executionLevel(std::string(text.begin(), text.end()));
    }
    return resources;
}

}  // namespace packaging
