// Finding the name a mistyped word was meant to be.
#include "word_suggestion.h"

#include <algorithm>

namespace packer {

namespace {

// A name this near an unknown word (in single-character edits) is offered
// as what was probably meant.
constexpr std::size_t kNearestDistance = 2;

std::size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); j++)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); i++) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); j++) {
            std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string NearestName(const std::string& word, const std::vector<std::string>& candidates)
{
    std::vector<std::string> extending;
    for (const std::string& candidate : candidates)
        if (word.size() >= 3 && candidate.compare(0, word.size(), word) == 0)
            extending.push_back(candidate);
    if (extending.size() == 1)
        return extending.front();
    std::string nearest;
    std::size_t best = kNearestDistance + 1;
    for (const std::string& candidate : candidates) {
        std::size_t distance = EditDistance(word, candidate);
        if (distance < best && distance * 2 < word.size()) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates)
{
    std::string nearest = NearestName(word, candidates);
    return nearest.empty() ? "" : "; did you mean " + nearest + "?";
}

}  // namespace packer
