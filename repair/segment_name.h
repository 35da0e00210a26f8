// Fixed-size file segments and their names: "path#003" is the fourth 4 MiB segment of path.
// The same scheme names local segments (full path + suffix) and segment keys (path relative to
// the installation, backslash-separated, + suffix).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ZephPatch {

constexpr uint64_t kSegmentSize = 0x400000;  // 4 MiB
constexpr int kSegmentShift = 22;

// ceil(size / 4 MiB) in 64-bit arithmetic; an empty file has none.
[[nodiscard]] inline uint64_t SegmentCount(uint64_t fileSize) {
    return (fileSize + (kSegmentSize - 1)) >> kSegmentShift;
}

// "%s#%03lld": at least three digits, as many as the index needs.
[[nodiscard]] std::string SegmentName(std::string_view path, int64_t index);

// The name without its segment suffix: up to the last '#' of the last path component; the
// whole name when that component has none. (Cutting at the last '#' keeps names whose folders
// or files contain '#' themselves apart from their suffix.)
[[nodiscard]] std::string SegmentBase(std::string_view name);

// The index after the last '#' of the last path component, an optionally signed decimal; 0 when
// there is no '#', when anything but digits follows the sign, or when it overflows.
[[nodiscard]] int64_t SegmentIndex(std::string_view name);

// True when `key` is exactly what SegmentName makes of its base and a non-negative index whose
// segment starts below 2^63: the only form a key from the network may take.
[[nodiscard]] bool IsCanonicalSegmentName(std::string_view key);

}  // namespace ZephPatch
