// Writing and reading version resources.
#include "version_resource.h"

#include <algorithm>
#include <cstdio>

#include "src/platform/byte_order.h"

namespace packaging {

namespace {

// A node: its length (without padding behind it), the length of its value
// (in characters for texts, in bytes otherwise), whether the value is a
// text, the key with its terminating zero; then, each at the next multiple
// of four bytes, the value and the children.
constexpr std::size_t kNodeHeaderSize = 6;
constexpr std::uint16_t kBinaryValue = 0;
constexpr std::uint16_t kTextValue = 1;
constexpr std::size_t kMaxDepth = 4;

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructureVersion = 0x00010000;
constexpr std::size_t kFileVersionField = 8;
constexpr std::size_t kProductVersionField = 16;
constexpr std::size_t kFlagsMaskField = 24;
constexpr std::size_t kOsField = 32;
constexpr std::size_t kTypeField = 36;
constexpr std::uint32_t kAllFlags = 0x3F;
constexpr std::uint32_t kWindowsNt32 = 0x00040004;
constexpr std::uint32_t kApplication = 1;

const std::u16string kRootKey = u"VS_VERSION_INFO";
const std::u16string kStringsKey = u"StringFileInfo";
const std::u16string kVariablesKey = u"VarFileInfo";
const std::u16string kTranslationKey = u"Translation";

std::size_t Align4(std::size_t value)
{
    return (value + 3) & ~std::size_t{3};
}

void AppendText(Bytes& out, const std::u16string& text)
{
    for (char16_t c : text)
        appendU16(out, static_cast<std::uint16_t>(c));
    appendU16(out, 0);
}

Bytes Node(const std::u16string& key, const Bytes& value, std::uint16_t valueLength, std::uint16_t type,
           const std::vector<Bytes>& children)
{
    Bytes node;
    appendU16(node, 0);
    appendU16(node, valueLength);
    appendU16(node, type);
    AppendText(node, key);
    node.resize(Align4(node.size()), 0);
    node.insert(node.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        node.resize(Align4(node.size()), 0);
        node.insert(node.end(), child.begin(), child.end());
    }
    if (node.size() > 0xFFFF)
        throw FormatError("the version information would be larger than 64 KiB");
    node[0] = static_cast<std::uint8_t>(node.size());
    node[1] = static_cast<std::uint8_t>(node.size() >> 8);
    return node;
}

Bytes TextNode(const VersionString& string)
{
    Bytes value;
    AppendText(value, string.value);
    return Node(string.key, value, static_cast<std::uint16_t>(string.value.size() + 1), kTextValue, {});
}

void PutVersion(Bytes& fixed, std::size_t at, const VersionNumber& number)
{
    WriteU32Le(fixed.data() + at, std::uint32_t{number[0]} << 16 | number[1]);
    WriteU32Le(fixed.data() + at + 4, std::uint32_t{number[2]} << 16 | number[3]);
}

VersionNumber GetVersion(const Bytes& fixed, std::size_t at)
{
    std::uint32_t high = ReadU32Le(fixed.data() + at);
    std::uint32_t low = ReadU32Le(fixed.data() + at + 4);
    return {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
            static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

struct ParsedNode {
    std::u16string key;
    std::uint16_t valueLength = 0;
    std::uint16_t type = 0;
    std::size_t valueAt = 0;
    std::size_t end = 0;
    std::vector<ParsedNode> children;
};

[[noreturn]] void Damaged()
{
    throw FormatError("the version information is damaged");
}

ParsedNode ParseNode(const Bytes& data, std::size_t at, std::size_t limit, std::size_t depth)
{
    if (depth > kMaxDepth || limit - at < kNodeHeaderSize)
        Damaged();
    ParsedNode node;
    std::size_t length = ReadU16Le(data.data() + at);
    if (length < kNodeHeaderSize || length > limit - at)
        Damaged();
    node.end = at + length;
    node.valueLength = ReadU16Le(data.data() + at + 2);
    node.type = ReadU16Le(data.data() + at + 4);
    std::size_t p = at + kNodeHeaderSize;
    for (;; p += 2) {
        if (node.end - p < 2)
            Damaged();
        char16_t c = static_cast<char16_t>(ReadU16Le(data.data() + p));
        if (c == 0)
            break;
        node.key.push_back(c);
    }
    node.valueAt = std::min(Align4(p + 2), node.end);
    std::size_t valueSize = node.type == kTextValue ? 2 * std::size_t{node.valueLength} : node.valueLength;
    p = std::min(Align4(node.valueAt + valueSize), node.end);
    while (node.end - p >= kNodeHeaderSize) {
        node.children.push_back(ParseNode(data, p, node.end, depth + 1));
        p = std::min(Align4(node.children.back().end), node.end);
    }
    return node;
}

// A text value: the characters up to the first zero or the node's end.
std::u16string TextValue(const Bytes& data, const ParsedNode& node)
{
    std::u16string text;
    for (std::size_t p = node.valueAt; p + 2 <= node.end; p += 2) {
        char16_t c = static_cast<char16_t>(ReadU16Le(data.data() + p));
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

// "040704E4": the language, then the code page, in hexadecimal.
bool ParseTableKey(const std::u16string& key, std::uint16_t& language, std::uint16_t& codePage)
{
    if (key.size() != 8)
        return false;
    std::uint32_t value = 0;
    for (char16_t c : key) {
        int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                                                      : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    language = static_cast<std::uint16_t>(value >> 16);
    codePage = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

std::string versionText(const VersionNumber& number)
{
    return std::to_string(number[0]) + "." + std::to_string(number[1]) + "." + std::to_string(number[2]) + "." +
           std::to_string(number[3]);
}

Bytes writeVersionResource(const VersionResource& version)
{
    Bytes fixed = version.fixed;
    if (fixed.size() != kFixedVersionSize) {
        fixed.assign(kFixedVersionSize, 0);
        WriteU32Le(fixed.data(), kFixedSignature);
        WriteU32Le(fixed.data() + 4, kFixedStructureVersion);
        WriteU32Le(fixed.data() + kFlagsMaskField, kAllFlags);
        WriteU32Le(fixed.data() + kOsField, kWindowsNt32);
        WriteU32Le(fixed.data() + kTypeField, kApplication);
    }
    PutVersion(fixed, kFileVersionField, version.fileVersion);
    PutVersion(fixed, kProductVersionField, version.productVersion);

    std::vector<Bytes> children;
    if (!version.strings.empty()) {
        std::vector<Bytes> strings;
        for (const VersionString& string : version.strings)
            strings.push_back(TextNode(string));
        char key[9];
        std::snprintf(key, sizeof key, "%04X%04X", version.language, version.codePage);
        std::u16string tableKey(key, key + 8);
        children.push_back(Node(kStringsKey, {}, 0, kTextValue, {Node(tableKey, {}, 0, kTextValue, strings)}));
        // Where Explorer looks for the table's language and code page.
        Bytes translation;
        appendU16(translation, version.language);
        appendU16(translation, version.codePage);
        children.push_back(Node(kVariablesKey, {}, 0, kTextValue,
                                {Node(kTranslationKey, translation, static_cast<std::uint16_t>(translation.size()),
                                      kBinaryValue, {})}));
    }
    return Node(kRootKey, fixed, static_cast<std::uint16_t>(fixed.size()), kBinaryValue, children);
}

VersionResource readVersionResource(const Bytes& data)
{
    ParsedNode root = ParseNode(data, 0, data.size(), 0);
    if (root.key != kRootKey)
        throw FormatError("the version resource holds no version information");
    VersionResource version;
    if (root.valueLength == kFixedVersionSize && root.end - root.valueAt >= kFixedVersionSize &&
        ReadU32Le(data.data() + root.valueAt) == kFixedSignature) {
        version.fixed.assign(data.begin() + static_cast<std::ptrdiff_t>(root.valueAt),
                             data.begin() + static_cast<std::ptrdiff_t>(root.valueAt + kFixedVersionSize));
        version.fileVersion = GetVersion(version.fixed, kFileVersionField);
        version.productVersion = GetVersion(version.fixed, kProductVersionField);
    }
    for (const ParsedNode& child : root.children) {
        if (child.key == kStringsKey && !version.hasStrings) {
            for (const ParsedNode& table : child.children) {
                if (!ParseTableKey(table.key, version.language, version.codePage))
                    continue;
                version.hasStrings = true;
                for (const ParsedNode& string : table.children)
                    version.strings.push_back({string.key, TextValue(data, string)});
                break;
            }
        } else if (child.key == kVariablesKey) {
            for (const ParsedNode& variable : child.children)
                if (variable.key == kTranslationKey)
                    for (std::size_t p = variable.valueAt; p + 4 <= variable.end; p += 4)
                        version.translations.push_back(ReadU32Le(data.data() + p));
        }
    }
    return version;
}

}  // namespace packaging
