#pragma once

#include <cstdint>
#include <vector>

#include "tools/orbpatch/old_index.h"
#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/reference_plan.h"

namespace OrbPatch {

// One block of NEW as the encoder lays it out.
struct PlannedBlock {
    uint64_t newOffset = 0;
    std::vector<Segment> segments;
    std::vector<OldRange> reference;

    [[nodiscard]] uint64_t NewBytes() const;
    [[nodiscard]] uint64_t CodedBytes() const;
};

struct BlockLimits {
    // Coded bytes per block, at most MAX_CODED_BYTES; fewer where that shares them out
    // among the threads.
    uint32_t codedBytes = 4 << 20;
    unsigned threads = 1;
    // All of OLD as every block's reference, for an OLD small enough.
    bool wholeOld = false;
    uint32_t copyMin = 4096;         // shorter runs stay coded, their OLD in the reference
    uint32_t maxSegments = 1 << 15;  // keeps the record within MAX_RECORD_BODY_BYTES
    ReferenceShape reference;
};

// Blocks of coded bytes, each with all of OLD (of `oldSize` bytes) as its reference.
std::vector<PlannedBlock> PlanWithWholeOld(uint64_t oldSize, uint64_t newSize, uint32_t codedBytes);

// Copies for the runs of `matches` (in NEW's order) that are at least copyMin long; the bytes
// between them coded, with all of OLD as reference when `wholeOld`, else the parts of OLD near
// them: around where the copies on either side end and start, and the shorter runs.
std::vector<PlannedBlock> PlanFromMatches(const std::vector<Match>& matches, uint64_t oldSize,
                                          uint64_t newSize, const BlockLimits& limits);

}  // namespace OrbPatch
