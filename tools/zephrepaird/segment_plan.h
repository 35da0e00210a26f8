// Which segment messages a client needs, from the two summaries.
#pragma once

#include <string>
#include <vector>

#include "repair/file_tree_summary.h"
#include "tools/zephrepaird/reference_tree.h"

namespace ZephRepairServer {

struct PlannedSegment {
    std::string key;
    bool remove = false;  // a checksum-0 message: the file, or its part from here on, is gone
};

// Removals first (a file the reference lacks: its #000; a file the reference has shorter: the
// first segment past its new end; one message per file), then every reference segment that the
// client lacks or holds with another checksum, and an empty #000 for each empty reference file
// the client does not hold empty already, all in key order.
[[nodiscard]] std::vector<PlannedSegment> PlanSegments(const ReferenceState& reference,
                                                       const ZephPatch::SummaryMap& client);

}  // namespace ZephRepairServer
