#include "tools/orbpatch/reference_plan.h"

#include <algorithm>

namespace OrbPatch {
namespace {

bool ByBegin(const ReferenceCandidate& a, const ReferenceCandidate& b) {
    return a.begin < b.begin;
}

std::vector<ReferenceCandidate> Merge(std::vector<ReferenceCandidate> ranges, uint64_t oldSize,
                                      uint64_t margin, uint64_t gap) {
    for (ReferenceCandidate& range : ranges) {
        range.begin -= std::min(range.begin, margin);
        range.end = std::min(oldSize, range.end + margin);
    }
    std::sort(ranges.begin(), ranges.end(), ByBegin);
    std::vector<ReferenceCandidate> merged;
    for (const ReferenceCandidate& range : ranges) {
        if (range.begin >= range.end) {
            continue;
        }
        if (!merged.empty() && range.begin <= merged.back().end + gap) {
            merged.back().end = std::max(merged.back().end, range.end);
            merged.back().weight += range.weight;
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

uint64_t Total(const std::vector<ReferenceCandidate>& ranges) {
    uint64_t total = 0;
    for (const ReferenceCandidate& range : ranges) {
        total += range.end - range.begin;
    }
    return total;
}

// Keeps the heaviest ranges that fit the limits, in OLD's order.
void KeepHeaviest(std::vector<ReferenceCandidate>* ranges, uint64_t limit) {
    std::sort(ranges->begin(), ranges->end(),
              [](const ReferenceCandidate& a, const ReferenceCandidate& b) {
                  return a.weight > b.weight;
              });
    std::vector<ReferenceCandidate> kept;
    uint64_t total = 0;
    for (const ReferenceCandidate& range : *ranges) {
        if (kept.size() < MAX_REFERENCE_RANGES && total + (range.end - range.begin) <= limit) {
            kept.push_back(range);
            total += range.end - range.begin;
        }
    }
    std::sort(kept.begin(), kept.end(), ByBegin);
    *ranges = std::move(kept);
}

}  // namespace

std::vector<OldRange> PlanReference(const std::vector<ReferenceCandidate>& candidates,
                                    uint64_t oldSize, uint64_t codedBytes,
                                    const ReferenceShape& shape) {
    uint64_t limit = std::min(
        {shape.limit, MAX_REFERENCE_BYTES, std::max(shape.floor, shape.perCodedByte * codedBytes)});
    std::vector<ReferenceCandidate> ranges;
    auto fits = [&] { return Total(ranges) <= limit && ranges.size() <= MAX_REFERENCE_RANGES; };
    for (uint64_t margin = shape.margin;; margin /= 4) {
        ranges = Merge(candidates, oldSize, margin, 4 * margin);
        if (fits() || margin == 0) {
            break;
        }
    }
    if (!fits()) {
        KeepHeaviest(&ranges, limit);
    }
    std::vector<OldRange> plan;
    for (const ReferenceCandidate& range : ranges) {
        plan.push_back({range.begin, static_cast<uint32_t>(range.end - range.begin)});
    }
    return plan;
}

}  // namespace OrbPatch
