#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tools/orbpatch/result.h"

namespace OrbPatch {

// Difference files of format version 1, as publishers shipped them before version 2: this fixed
// header followed by exactly one zstd frame that decodes to NEW when all of OLD is given to the
// decoder as its prefix. They keep applying, with the memory they always needed (all of OLD and
// all of NEW at once). All header numbers are little-endian:
//
//   offset  size  field
//        0     8  magic "ORBPATCH"
//        8     4  format version (1)
//       12     4  zstd window log the frame was made with
//       16     8  size of OLD in bytes
//       24     8  size of NEW in bytes
//       32     8  XXH64 of OLD (seed 0)
//       40     8  XXH64 of NEW (seed 0)
//       48     4  CRC-32 (zlib) of bytes 0 to 47
inline constexpr uint32_t LEGACY_FORMAT_VERSION = 1;
inline constexpr size_t LEGACY_HEADER_SIZE = 52;

struct LegacyHeader {
    uint32_t windowLog = 0;
    uint64_t oldSize = 0;
    uint64_t newSize = 0;
    uint64_t oldHash = 0;
    uint64_t newHash = 0;
};

// Checks that `diff` is an intact version 1 difference file made from `oldData` and stores its
// header in `*header`. Codes: ORBPATCH_DIFF_DAMAGED, ORBPATCH_OLD_MISMATCH.
Result CheckLegacyDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                       LegacyHeader* header);

// Decodes the frame of a checked `diff` into `out`, which holds exactly header.newSize bytes,
// and verifies the result against the header. Codes: ORBPATCH_DIFF_DAMAGED, ORBPATCH_INTERNAL.
Result DecodeLegacyDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                        const LegacyHeader& header, std::span<uint8_t> out);

}  // namespace OrbPatch
