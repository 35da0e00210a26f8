#include "repair/segment_checksums.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "repair/segment_io.h"

namespace ZephPatch {

void ChecksumSegments(const std::vector<SegmentToChecksum>& segments,
                      const std::atomic<bool>* cancel) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; !(cancel && *cancel) && (i = next++) < segments.size();)
            *segments[i].checksum = ChecksumSegment(segments[i].localSegmentPath);
    };
    const size_t cores = std::max(std::thread::hardware_concurrency(), 1u);
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < std::min(cores, segments.size()); ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
}

}  // namespace ZephPatch
