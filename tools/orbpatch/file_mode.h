#pragma once

#include <cstdint>

namespace OrbPatch {

// Permission bits of a file as POSIX writes them (0751...). On Windows only the write bits
// mean something: a file without any is read-only.
using FileMode = uint32_t;

// The mode a file gets on Windows from its read-only attribute.
constexpr FileMode ModeFromReadOnly(bool readOnly) {
    return readOnly ? 0444 : 0666;
}

}  // namespace OrbPatch
