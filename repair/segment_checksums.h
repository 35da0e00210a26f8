// Checksums of many segments at once, for a scan that finds new or changed files.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ZephPatch {

struct SegmentToChecksum {
    std::string localSegmentPath;  // full path with the segment suffix
    uint32_t* checksum;            // where ChecksumSegment's result goes
};

// Stores ChecksumSegment of every segment, spread over the processor's cores: reading and
// checksumming a fresh installation is most of a first repair's scan. Once `cancel` is set no
// further segment is read (those left keep their checksum).
void ChecksumSegments(const std::vector<SegmentToChecksum>& segments,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace ZephPatch
