#pragma once

#include <string>

#include "tools/orbpatch/byte_source.h"
#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/result.h"

namespace OrbPatch {

// Reads the header of the version 2 difference file `diff` into `*header` and checks it against
// `oldFile`. Codes: ORBPATCH_INPUT_UNREADABLE, ORBPATCH_DIFF_DAMAGED, ORBPATCH_OLD_MISMATCH.
Result CheckDiffHeader(ByteSource& oldFile, ByteSource& diff, FileHeader* header);

// Rebuilds NEW block by block after a checked header, handing its bytes to `write` in order. A
// second thread decodes the next block's frame while one block is written: at most one block's
// reference and frame and three blocks' coded bytes are in memory; copies are streamed. Everything
// handed on has been verified; on failure what was handed on is to be dropped. Codes:
// ORBPATCH_OLD_UNREADABLE, ORBPATCH_INPUT_UNREADABLE, ORBPATCH_DIFF_DAMAGED, ORBPATCH_OLD_MISMATCH,
// ORBPATCH_INTERNAL, and whatever `write` returns.
Result DecodeBlocks(ByteSource& oldFile, ByteSource& diff, const FileHeader& header,
                    const ByteSink& write);

// Rebuilds NEW from OLD and DIFF at `outPath`, which is replaced only by a complete and
// verified file carrying OLD's permission bits; on failure no file is left at `outPath` that
// was not there before. Version 1 difference files are applied too. Codes:
// ORBPATCH_OLD_UNREADABLE, ORBPATCH_INPUT_UNREADABLE (DIFF), ORBPATCH_OUTPUT_UNWRITABLE,
// ORBPATCH_DIFF_DAMAGED, ORBPATCH_OLD_MISMATCH, ORBPATCH_INTERNAL.
Result ApplyDiff(const std::string& oldPath, const std::string& diffPath,
                 const std::string& outPath);

}  // namespace OrbPatch
