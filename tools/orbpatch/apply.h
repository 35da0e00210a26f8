#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/result.h"

namespace OrbPatch {

// Checks that `diff` is an intact difference file made from `oldData` and stores its header in
// `*header`. Codes: ORBPATCH_DIFF_DAMAGED, ORBPATCH_OLD_MISMATCH.
Result CheckDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                 PatchHeader* header);

// Decodes the frame of a checked `diff` into `out`, which holds exactly header.newSize bytes,
// and verifies the result against the header. Codes: ORBPATCH_DIFF_DAMAGED, ORBPATCH_INTERNAL.
Result DecodeDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                  const PatchHeader& header, std::span<uint8_t> out);

// Rebuilds NEW from OLD and DIFF at `outPath`, which is replaced only by a complete and
// verified file carrying OLD's permission bits; on failure no file is left at `outPath` that
// was not there before. Codes: ORBPATCH_OLD_UNREADABLE, ORBPATCH_INPUT_UNREADABLE (DIFF),
// ORBPATCH_OUTPUT_UNWRITABLE, ORBPATCH_DIFF_DAMAGED, ORBPATCH_OLD_MISMATCH, ORBPATCH_INTERNAL.
Result ApplyDiff(const std::string& oldPath, const std::string& diffPath,
                 const std::string& outPath);

}  // namespace OrbPatch
