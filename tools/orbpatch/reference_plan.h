#pragma once

#include <cstdint>
#include <vector>

#include "tools/orbpatch/patch_format.h"

namespace OrbPatch {

// How much of OLD around what a block may match goes into the block's reference.
struct ReferenceShape {
    // Taken on each side, for the edits beside a match; ranges closer than four margins
    // become one, with the OLD between.
    uint32_t margin = 4 << 10;
    // A reference larger than this many times the coded bytes (or than `floor`, if more) costs
    // the compressor more time than it saves bytes; margins shrink to stay within it.
    uint32_t perCodedByte = 8;
    uint64_t floor = 1 << 20;
    uint64_t limit = 32 << 20;  // in any case, at most MAX_REFERENCE_BYTES
};

// A part of OLD that a block's coded bytes may match, and how many of those bytes may use it.
struct ReferenceCandidate {
    uint64_t begin = 0;
    uint64_t end = 0;
    uint64_t weight = 0;
};

// The ranges of OLD (of `oldSize` bytes) the frame of `codedBytes` may refer to, in OLD's
// order: the candidates with their surroundings, with less of them where that would exceed
// the limits, or the heaviest candidates alone where even they would.
[[nodiscard]] std::vector<OldRange> PlanReference(const std::vector<ReferenceCandidate>& candidates,
                                                  uint64_t oldSize, uint64_t codedBytes,
                                                  const ReferenceShape& shape);

}  // namespace OrbPatch
