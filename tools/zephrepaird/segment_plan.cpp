#include "tools/zephrepaird/segment_plan.h"

#include <map>
#include <set>

#include "repair/segment_name.h"

namespace ZephRepairServer {

using ZephPatch::SegmentBase;
using ZephPatch::SegmentIndex;
using ZephPatch::SegmentName;

std::vector<PlannedSegment> PlanSegments(const ReferenceState& reference,
                                         const ZephPatch::SummaryMap& client) {
    std::map<std::string, int64_t> referenceCounts;  // segments per file
    for (const auto& [key, entry] : reference.segments)
        ++referenceCounts[SegmentBase(key)];
    const std::set<std::string> emptyFiles(reference.emptyFiles.begin(),
                                           reference.emptyFiles.end());

    std::vector<PlannedSegment> plan;
    std::set<std::string> handled;  // files whose removal or emptying is planned
    std::vector<PlannedSegment> emptied;
    for (const auto& [key, entry] : client) {
        if (reference.segments.count(key) != 0)
            continue;
        const std::string base = SegmentBase(key);
        if (handled.count(base) != 0)
            continue;
        if (emptyFiles.count(base) != 0) {
            handled.insert(base);
            emptied.push_back({SegmentName(base, 0), false});
            continue;
        }
        const auto counted = referenceCounts.find(base);
        const int64_t keep = counted == referenceCounts.end() ? 0 : counted->second;
        if (SegmentIndex(key) < keep)
            continue;  // a row the reference holds under another spelling of its index
        handled.insert(base);
        plan.push_back({SegmentName(base, keep), true});
    }
    for (const auto& [key, entry] : reference.segments) {
        const auto held = client.find(key);
        if (held == client.end() || held->second.checksum != entry.checksum)
            plan.push_back({key, false});
    }
    // An empty file has no rows, so the client's summary cannot tell whether it has one.
    for (const std::string& base : reference.emptyFiles)
        if (handled.count(base) == 0)
            emptied.push_back({SegmentName(base, 0), false});
    plan.insert(plan.end(), emptied.begin(), emptied.end());
    return plan;
}

}  // namespace ZephRepairServer
