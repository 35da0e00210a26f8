#include "repair/pattern_match.h"

#include "repair/segment_name.h"

namespace ZephPatch {
namespace {

// Greedy with backtracking to the latest '*': enough for patterns whose only wildcard is '*',
// since a later star can always absorb what an earlier one would have taken.
bool Matches(std::string_view text, std::string_view pattern) {
    size_t t = 0;
    size_t p = 0;
    size_t starPattern = std::string_view::npos;
    size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starText = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchesAnyPattern(std::string_view path, const std::vector<std::string>& patterns) {
    const std::string base = SegmentBase(path);
    for (const std::string& pattern : patterns)
        if (Matches(base, pattern))
            return true;
    return false;
}

}  // namespace ZephPatch
