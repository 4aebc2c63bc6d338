// Finding and setting the execution level in a manifest. The manifest is
// the program's own, written by its build; a text search for the one
// attribute keeps every other byte of it, where an XML library would write
// the whole document anew.
#include "execution_level.h"


#include "packaging/trailer_writer.h"

namespace packaging {

namespace {

const std::string kElement = "requestedExecutionLevel";
const std::string kAttribute = "level";

struct Span {
    std::size_t at = std::string::npos;
    std::size_t size = 0;
};

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the value of the element's level attribute lies, without its quotes.
Span FindLevel(const std::string& manifest)
{
    for (std::size_t at = manifest.find(kElement); at != std::string::npos; at = manifest.find(kElement, at + 1)) {
        // The element's name, perhaps with a namespace prefix: "<" or ":" before it.
        if (at == 0 || (manifest[at - 1] != '<' && manifest[at - 1] != ':'))
            continue;
        std::size_t end = manifest.find('>', at);
        if (end == std::string::npos)
            return {};
        for (std::size_t p = at + kElement.size(); p < end; p++) {
            if (!IsSpace(manifest[p - 1]) || manifest.compare(p, kAttribute.size(), kAttribute) != 0)
                continue;
            std::size_t q = p + kAttribute.size();
            while (q < end && IsSpace(manifest[q]))
                q++;
            if (q >= end || manifest[q] != '=')
                continue;
            q++;
            while (q < end && IsSpace(manifest[q]))
                q++;
            if (q >= end || (manifest[q] != '"' && manifest[q] != '\''))
                continue;
            std::size_t close = manifest.find(manifest[q], q + 1);
            if (close == std::string::npos || close > end)
                return {};
            return {q + 1, close - q - 1};
        }
        return {};
    }
    return {};
}

}  // namespace

std::string setExecutionLevel(const std::string& manifest, const std::string& level)
{
    Span span = FindLevel(manifest);
    if (span.at == std::string::npos)
        throw FormatError("the program's manifest requests no execution level that could be changed");
    return manifest.substr(0, span.at) + level + manifest.substr(span.at + span.size);
}

std::optional<std::string> executionLevel(const std::string& manifest)
{
    Span span = FindLevel(manifest);
    if (span.at == std::string::npos)
        return std::nullopt;
    return manifest.substr(span.at, span.size);
}

}  // namespace packaging
