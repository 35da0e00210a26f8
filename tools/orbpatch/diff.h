#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tools/orbpatch/block_plan.h"
#include "tools/orbpatch/byte_source.h"
#include "tools/orbpatch/result.h"

namespace OrbPatch {

inline constexpr uint64_t DEFAULT_WHOLE_OLD_LIMIT = 8 << 20;

struct DiffOptions {
    // zstd level, 1 to ZSTD_maxCLevel(); 0 for 19, or 9 where more than 512 MiB of NEW must be
    // coded. LZMA2 frames are tried from 19 up.
    int level = 0;
    // An OLD up to this size (at most MAX_REFERENCE_BYTES) is the reference of every block;
    // of a larger one each block refers to the parts near its coded bytes.
    uint64_t wholeOldLimit = DEFAULT_WHOLE_OLD_LIMIT;
    BlockLimits blocks;
    unsigned threads = 0;  // 0: one per processor
};

// Hands the difference file that turns `oldData` into `newData` to `write`, in order. Fails
// with ORBPATCH_INTERNAL (out of memory, or a compressor refused its parameters) or with what
// `write` returns.
Result EncodeDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> newData,
                  const DiffOptions& options, const ByteSink& write);

// Writes the difference file from OLD to NEW to `diffPath`, replacing it only when complete.
// Codes: ORBPATCH_OLD_UNREADABLE, ORBPATCH_INPUT_UNREADABLE (NEW), ORBPATCH_OUTPUT_UNWRITABLE,
// ORBPATCH_INTERNAL.
Result MakeDiff(const std::string& oldPath, const std::string& newPath, const std::string& diffPath,
                const DiffOptions& options);

}  // namespace OrbPatch
