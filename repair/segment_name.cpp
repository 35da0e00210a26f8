#include "repair/segment_name.h"

#include <cinttypes>
#include <cstdio>

namespace ZephPatch {
namespace {

// Position of the suffix's '#', or npos when the last component has none.
size_t SuffixPosition(std::string_view name) {
    const size_t separator = name.find_last_of("/\\");
    const size_t hash = name.rfind('#');
    if (hash == std::string_view::npos)
        return hash;
    if (separator != std::string_view::npos && hash < separator)
        return std::string_view::npos;
    return hash;
}

}  // namespace

std::string SegmentName(std::string_view path, int64_t index) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, "#%03" PRId64, index);
    std::string name;
    name.reserve(path.size() + 8);
    name.append(path).append(suffix);
    return name;
}

std::string SegmentBase(std::string_view name) {
    const size_t hash = SuffixPosition(name);
    return std::string(hash == std::string_view::npos ? name : name.substr(0, hash));
}

int64_t SegmentIndex(std::string_view name) {
    const size_t hash = SuffixPosition(name);
    if (hash == std::string_view::npos)
        return 0;
    std::string_view digits = name.substr(hash + 1);
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    // 18 digits always fit in 63 bits.
    if (digits.size() > 18)
        return 0;
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

bool IsCanonicalSegmentName(std::string_view key) {
    const int64_t index = SegmentIndex(key);
    if (index < 0 || static_cast<uint64_t>(index) >= (uint64_t{1} << (63 - kSegmentShift)))
        return false;
    const size_t hash = SuffixPosition(key);
    return hash != std::string_view::npos && SegmentName(key.substr(0, hash), index) == key;
}

}  // namespace ZephPatch
