#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "tools/orbpatch/result.h"

namespace OrbPatch {

// Compression level for difference files: the best size for the time among those measured on
// real package updates (see bench/orbpatch).
inline constexpr int DEFAULT_DIFF_LEVEL = 19;

struct DiffOptions {
    int level = DEFAULT_DIFF_LEVEL;  // zstd level, 1 to ZSTD_maxCLevel()
};

// A difference file in memory: header and frame.
struct DiffBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;

    std::span<const uint8_t> bytes() const { return {data.get(), size}; }
};

// Builds the difference file that turns `oldData` into `newData`. Fails only with
// ORBPATCH_INTERNAL (out of memory, or the compressor refused its parameters).
Result EncodeDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> newData,
                  const DiffOptions& options, DiffBytes* out);

// Writes the difference file from OLD to NEW to `diffPath`, replacing it only when complete.
// Codes: ORBPATCH_OLD_UNREADABLE, ORBPATCH_INPUT_UNREADABLE (NEW), ORBPATCH_OUTPUT_UNWRITABLE,
// ORBPATCH_INTERNAL.
Result MakeDiff(const std::string& oldPath, const std::string& newPath, const std::string& diffPath,
                const DiffOptions& options);

}  // namespace OrbPatch
