#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "tools/orbpatch/result.h"

namespace OrbPatch {

// Compression level for difference files. Measured on updates of Debian binaries (2 to 9 MB):
// 19 makes differences about 10% smaller than 17 and within 2% of 22, which takes up to 2.7
// times longer. Lower levels (--level) are much quicker on large files and still beat xdelta3.
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
