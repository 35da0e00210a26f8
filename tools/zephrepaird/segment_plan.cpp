#include "tools/zephrepaird/segment_plan.h"

#include <set>

#include "repair/segment_name.h"

namespace ZephRepairServer {

using ZephPatch::SegmentBase;
using ZephPatch::SegmentIndex;
using ZephPatch::SegmentName;

namespace {

// Segments the reference holds of the file `base`: #000, #001, ... up to the first missing one.
int64_t ReferenceSegmentCount(const ZephPatch::SummaryMap& reference, const std::string& base) {
    int64_t count = 0;
    while (reference.count(SegmentName(base, count)) != 0)
        ++count;
    return count;
}

}  // namespace

// Both summaries are in the same key order, so one walk through each pairs their rows: a
// summary of tens of thousands of files costs no lookups.
std::vector<PlannedSegment> PlanSegments(const ReferenceState& reference,
                                         const ZephPatch::SummaryMap& client) {
    const std::set<std::string> emptyFiles(reference.emptyFiles.begin(),
                                           reference.emptyFiles.end());
    const ZephPatch::Utf16KeyOrder before;
    std::vector<PlannedSegment> plan;
    std::vector<PlannedSegment> sends;
    std::set<std::string> handled;  // files whose removal or emptying is planned
    std::vector<PlannedSegment> emptied;
    auto held = client.begin();
    auto ours = reference.segments.begin();
    while (held != client.end() || ours != reference.segments.end()) {
        if (held == client.end() ||
            (ours != reference.segments.end() && before(ours->first, held->first))) {
            sends.push_back({ours->first, false});  // the client lacks it
            ++ours;
            continue;
        }
        if (ours != reference.segments.end() && !before(held->first, ours->first)) {
            if (held->second.checksum != ours->second.checksum)
                sends.push_back({ours->first, false});
            ++held;
            ++ours;
            continue;
        }
        // A row the reference lacks.
        const std::string base = SegmentBase(held->first);
        const int64_t index = SegmentIndex(held->first);
        ++held;
        if (handled.count(base) != 0)
            continue;
        if (emptyFiles.count(base) != 0) {
            handled.insert(base);
            emptied.push_back({SegmentName(base, 0), false});
            continue;
        }
        const int64_t keep = ReferenceSegmentCount(reference.segments, base);
        if (index < keep)
            continue;  // a row the reference holds under another spelling of its index
        handled.insert(base);
        plan.push_back({SegmentName(base, keep), true});
    }
    plan.insert(plan.end(), sends.begin(), sends.end());
    // An empty file has no rows, so the client's summary cannot tell whether it has one.
    for (const std::string& base : reference.emptyFiles)
        if (handled.count(base) == 0)
            emptied.push_back({SegmentName(base, 0), false});
    plan.insert(plan.end(), emptied.begin(), emptied.end());
    return plan;
}

}  // namespace ZephRepairServer
