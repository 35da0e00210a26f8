// The checksum of segment data: a CRC over the polynomial 0x04C11DB7, most significant bit
// first, register starting at 0, no final XOR and no length appended ("123456789" gives
// 0x89A1897F). It must stay bit-identical to what the repair server computes.
// Implemented in segment_checksum.cpp and segment_checksum_clmul.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZephPatch {

// Continues `crc` (0 for a fresh start) over `length` bytes. Uses carry-less multiplication
// where the processor has it. Safe for concurrent use.
[[nodiscard]] uint32_t UpdateSegmentChecksum(uint32_t crc, const void* data, size_t length);
// The table-driven form (slicing by 8), the reference the fast form is tested against.
[[nodiscard]] uint32_t UpdateSegmentChecksumPortable(uint32_t crc, const void* data, size_t length);

// A stored checksum is never 0: 0 means "unknown" in the summary and "removed" on the wire.
[[nodiscard]] inline uint32_t FinishSegmentChecksum(uint32_t crc) {
    return crc == 0 ? 1 : crc;
}

}  // namespace ZephPatch
