// Reading one segment of a local file ("full/path/file.bin#003") and its checksum.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ZephPatch {

struct SegmentBytes {
    std::unique_ptr<uint8_t[]> data;
    uint32_t length = 0;
};

// Reads the bytes of the segment named by `segmentPath` (a local path with a segment suffix).
// A segment that starts exactly at the end of the file reads as zero bytes. False, with
// `out` empty and a diagnostic line, when the file cannot be opened, sought or read, or the
// segment starts past its end.
[[nodiscard]] bool ReadFileSegment(const std::string& segmentPath, SegmentBytes* out);

// The finished checksum of the segment's bytes; 0 (unknown) when it cannot be read.
// Reads in pieces, so it holds far less than a segment in memory.
[[nodiscard]] uint32_t ChecksumSegment(const std::string& segmentPath);

}  // namespace ZephPatch
