#include "tools/orbpatch/apply.h"

#include <zstd_errors.h>

#include "tools/orbpatch/mapped_file.h"
#include "tools/orbpatch/pending_file.h"
#include "tools/orbpatch/xxhash64.h"
#include "tools/orbpatch/zstd_context.h"

namespace OrbPatch {
namespace {

Result Damaged(const std::string& why) {
    return Result::Failure(ORBPATCH_DIFF_DAMAGED, "damaged difference file: " + why);
}

// The frame must be exactly one zstd frame announcing NEW's size, made with a window the
// header allows.
Result CheckFrame(std::span<const uint8_t> frame, const PatchHeader& header) {
    ZSTD_bounds bounds = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
    if (header.windowLog < static_cast<uint32_t>(bounds.lowerBound) ||
        header.windowLog > static_cast<uint32_t>(bounds.upperBound)) {
        return Damaged("window log " + std::to_string(header.windowLog) + " out of range");
    }
    unsigned long long contentSize = ZSTD_getFrameContentSize(frame.data(), frame.size());
    if (contentSize == ZSTD_CONTENTSIZE_ERROR || contentSize == ZSTD_CONTENTSIZE_UNKNOWN) {
        return Damaged("no valid frame after the header");
    }
    if (contentSize != header.newSize) {
        return Damaged("frame size does not match the header");
    }
    size_t frameSize = ZSTD_findFrameCompressedSize(frame.data(), frame.size());
    if (ZSTD_isError(frameSize)) {
        return Damaged("truncated frame (" + ZstdError(frameSize) + ")");
    }
    if (frameSize != frame.size()) {
        return Damaged("unexpected data after the frame");
    }
    return Result::Success();
}

}  // namespace

Result CheckDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                 PatchHeader* header) {
    std::string why;
    if (!DecodeHeader(diff, header, &why)) {
        return Damaged(why);
    }
    if (oldData.size() != header->oldSize || Xxh64(oldData) != header->oldHash) {
        return Result::Failure(ORBPATCH_OLD_MISMATCH,
                               "the old file is not the one the difference was made from");
    }
    return CheckFrame(diff.subspan(PATCH_HEADER_SIZE), *header);
}

Result DecodeDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                  const PatchHeader& header, std::span<uint8_t> out) {
    DecompressContext ctx(ZSTD_createDCtx());
    if (!ctx) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory for the decompressor");
    }
    // Frames with windows above zstd's default limit are refused unless allowed explicitly.
    size_t rc =
        ZSTD_DCtx_setParameter(ctx.get(), ZSTD_d_windowLogMax, static_cast<int>(header.windowLog));
    if (!ZSTD_isError(rc)) {
        rc = ZSTD_DCtx_refPrefix(ctx.get(), oldData.data(), oldData.size());
    }
    if (ZSTD_isError(rc)) {
        return Result::Failure(ORBPATCH_INTERNAL, "decompressor setup: " + ZstdError(rc));
    }
    std::span<const uint8_t> frame = diff.subspan(PATCH_HEADER_SIZE);
    size_t written =
        ZSTD_decompressDCtx(ctx.get(), out.data(), out.size(), frame.data(), frame.size());
    if (ZSTD_isError(written)) {
        if (ZSTD_getErrorCode(written) == ZSTD_error_memory_allocation) {
            return Result::Failure(ORBPATCH_INTERNAL, "out of memory while decoding");
        }
        return Damaged(ZstdError(written));
    }
    if (written != out.size() || Xxh64(out) != header.newHash) {
        return Damaged("rebuilt file does not match its checksum");
    }
    return Result::Success();
}

Result ApplyDiff(const std::string& oldPath, const std::string& diffPath,
                 const std::string& outPath) {
    std::string why;
    MappedFile oldFile;
    if (!oldFile.Open(oldPath, &why)) {
        return Result::Failure(ORBPATCH_OLD_UNREADABLE, "cannot read " + oldPath + ": " + why);
    }
    MappedFile diffFile;
    if (!diffFile.Open(diffPath, &why)) {
        return Result::Failure(ORBPATCH_INPUT_UNREADABLE, "cannot read " + diffPath + ": " + why);
    }
    PatchHeader header;
    Result checked = CheckDiff(oldFile.bytes(), diffFile.bytes(), &header);
    if (!checked.ok()) {
        return checked;
    }
    PendingFile outFile;
    uint8_t* out = nullptr;
    size_t newSize = static_cast<size_t>(header.newSize);
    if (!outFile.Create(outPath, &why) || !outFile.Map(newSize, &out, &why)) {
        return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE, "cannot write " + outPath + ": " + why);
    }
    Result decoded = DecodeDiff(oldFile.bytes(), diffFile.bytes(), header, {out, newSize});
    if (!decoded.ok()) {
        return decoded;
    }
    if (!outFile.Commit(oldFile.mode() & 0777, &why)) {
        return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE, "cannot write " + outPath + ": " + why);
    }
    return Result::Success();
}

}  // namespace OrbPatch
