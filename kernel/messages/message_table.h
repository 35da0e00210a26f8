// The string blocks generated from app/resources/messages.txt at build time (see
// kernel/generate/). Only the catalogue reads them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZephPatch {

struct StringBlock {
    uint16_t language;     // LANGUAGE_ENGLISH, LANGUAGE_GERMAN, ...
    uint16_t number;       // id / 16 + 1
    const char16_t* data;  // 16 entries, each a count followed by that many units
    uint32_t size;         // units in `data`
};

extern const StringBlock g_stringBlocks[];
extern const size_t g_stringBlockCount;

}  // namespace ZephPatch
